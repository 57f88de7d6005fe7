#!/usr/bin/env bash
# What a fresh machine does first, tried here whatever an earlier run left: the Windows
# libraries' and the solver library's sources fetched and unpacked with apt seeing a copy of this machine's sources
# folder without any deb-src entry, empty apt lists, an empty cache folder (TANDREL_CACHE) and a
# new Wine prefix. /etc/apt is never changed: apt is pointed at the copies through APT_CONFIG.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/packages.sh
install_packages wine wine64
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/sources.list.d" "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/tandrel"

# The sources as a fresh machine has them: the deb entries alone.
parts=$(apt_path Dir::Etc::sourceparts d)
list=$(apt_path Dir::Etc::sourcelist f)
grep -vE '^[[:space:]]*deb-src[[:space:]]' "$list" >"$tmp/sources.list" 2>/dev/null || true
for f in "$parts"/*.list "$parts"/*.sources; do
    [ -f "$f" ] || continue
    case $(basename "$f") in tandrel-deb-src.*) continue ;; esac
    case $f in
    *.list) grep -vE '^[[:space:]]*deb-src[[:space:]]' "$f" >"$tmp/sources.list.d/$(basename "$f")" || true ;;
    *.sources)
        # A stanza for deb-src alone goes; "deb deb-src" keeps deb.
        awk -v RS= -v ORS='\n\n' '!/(^|\n)Types:[[:space:]]*deb-src[[:space:]]*(\n|$)/' "$f" |
            sed -E 's/^(Types:.*)[[:space:]]deb-src\b/\1/' >"$tmp/sources.list.d/$(basename "$f")"
        ;;
    esac
done
cat >"$tmp/apt.conf" <<CONF
Dir::Etc::sourcelist "$tmp/sources.list";
Dir::Etc::sourceparts "$tmp/sources.list.d";
Dir::State::lists "$tmp/lists";
Dir::Cache "$tmp/cache";
CONF
export APT_CONFIG=$tmp/apt.conf
if apt-cache showsrc expat 2>/dev/null | grep -q '^Version:'; then
    echo "first-run check: apt still knows sources in the copy" >&2
    exit 1
fi

start=$SECONDS
TANDREL_CACHE=$tmp/tandrel bash scripts/windows_libs.sh --fetch-only
echo "first-run check: the Windows libraries' sources in $((SECONDS - start)) s"
start=$SECONDS
TANDREL_CACHE=$tmp/tandrel bash scripts/windows_coin.sh --fetch-only
echo "first-run check: CoinUtils' and CLP's sources in $((SECONDS - start)) s"
[ -z "$(ls -A "$tmp/tandrel" 2>/dev/null | grep -v '^\.work')" ] ||
    { echo "first-run check: --fetch-only left a cache behind" >&2; exit 1; }

# A new Wine prefix starts without anything an earlier run made.
. scripts/wine_env.sh
start=$SECONDS
(
    wine_env "$tmp/wine"
    wine cmd /c exit </dev/null >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
)
[ -f "$tmp/wine/system.reg" ] || { echo "first-run check: Wine made no prefix" >&2; exit 1; }
echo "first-run check: a new Wine prefix in $((SECONDS - start)) s"
echo "first-run check: passed (root $root)"
