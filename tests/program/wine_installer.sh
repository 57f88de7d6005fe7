#!/usr/bin/env bash
# The installer under Wine as a shop runs it: a silent per-user install, the installed program
# started from its folder (it writes etik.eti and, at close, nastr.dat beside itself), then a
# silent uninstall that removes the program and keeps the operator's files.
#
#   tests/program/wine_installer.sh BUILD    # after scripts/package_windows.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "$1")
. scripts/wine_env.sh
[ -n "${WINEPREFIX:-}" ] || wine_env "$build/wineprefix"
setup=$(find dist -maxdepth 1 -name 'Tandrel-*-win64-setup.exe' | sort | tail -1)
[ -n "$setup" ] || { echo "no installer in dist/" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { xvfb_start; export DISPLAY=$XVFB_DISPLAY; trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT; }

appdata=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null </dev/null | tr -d '\r')
dir=$(winepath -u "$appdata\\Programs\\Tandrel" 2>/dev/null </dev/null)
menu=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null </dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\Tandrel" 2>/dev/null </dev/null)
rm -rf "$dir" "$menu"
status=0
check() { "$@" || { echo "  installer: failed: $*"; status=1; }; }

wine "$setup" /S </dev/null >/dev/null 2>&1
check test -f "$dir/Tandrel.exe"
check test -f "$dir/tandrel-plan.exe"
check test -f "$dir/platforms/qwindows.dll"
check test -f "$dir/translations/qtbase_ru.qm"
check test -f "$dir/board.html"
check test -f "$dir/Uninstall.exe"
check test -f "$menu/Tandrel.lnk"

# Started in its own folder, as the shortcut does; closed the normal way.
(cd "$dir" && exec wine ./Tandrel.exe </dev/null >/dev/null 2>&1) &
program=$!
for _ in $(seq 200); do [ -s "$dir/etik.eti" ] && break; sleep 0.05; done
sleep 1
wine taskkill /im Tandrel.exe >/dev/null 2>&1 </dev/null || true
for _ in $(seq 200); do kill -0 "$program" 2>/dev/null || break; sleep 0.05; done
code=0
wait "$program" || code=$?
check test "$code" -eq 0
check test -s "$dir/etik.eti"
check test -s "$dir/nastr.dat"

# The operator's files that the uninstaller must keep.
printf '123\r\n1\r\n' >"$dir/Заказ 15.crc"
printf 'x\r\n' >"$dir/journal-2026-12.csv"
# The uninstaller runs from a copy of itself and returns at once: wait until it is done.
wine "$dir/Uninstall.exe" /S </dev/null >/dev/null 2>&1
for _ in $(seq 400); do [ -f "$dir/Uninstall.exe" ] || [ -f "$dir/Tandrel.exe" ] || break; sleep 0.05; done
sleep 0.5
for gone in Tandrel.exe tandrel-plan.exe Qt6Core.dll platforms styles translations Uninstall.exe board.html; do
    check test ! -e "$dir/$gone"
done
for kept in nastr.dat etik.eti "Заказ 15.crc" journal-2026-12.csv; do
    check test -f "$dir/$kept"
done
check test ! -e "$menu/Tandrel.lnk"
[ $status -eq 0 ] && echo "installer: installed, started, uninstalled; the operator's files kept"
exit $status
