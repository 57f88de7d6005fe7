#!/usr/bin/env bash
# Builds what a shop installs: dist/Tandrel-<version>-win64.zip (the program folder) and
# dist/Tandrel-<version>-win64-setup.exe (a per-user installer), both byte for byte the same
# from the same commit and the same Qt prefix.
#
#   scripts/package_windows.sh [--build DIR] [--out DIR]
#
# DIR defaults to build/windows (configured with the windows preset, by scripts/test_windows.sh
# or here); the version comes from project(Tandrel VERSION ...) in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/packages.sh
install_packages cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-translations-l10n \
    python3 nsis wine wine64 xz-utils

build=$root/build/windows
out=$root/dist
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        --out) out=$(realpath -m "$2"); shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done

version=$(sed -n 's/^project(Tandrel VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project(Tandrel VERSION ...) in CMakeLists.txt" >&2; exit 1; }
name=Tandrel-$version-win64
export TANDREL_QT_WINDOWS=${TANDREL_QT_WINDOWS:-$(bash scripts/qt_windows.sh)}
qt=$TANDREL_QT_WINDOWS
export TANDREL_WINDOWS_LIBS=${TANDREL_WINDOWS_LIBS:-$(bash scripts/windows_libs.sh)}
export TANDREL_WINDOWS_COIN=${TANDREL_WINDOWS_COIN:-$(bash scripts/windows_coin.sh)}
# The commit's time stands for every time stamp: the links (Debian's MinGW linker takes the PE
# time stamp from it) and the files in both archives.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
export TZ=UTC LC_ALL=C.UTF-8

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset windows -B "$build" -DTANDREL_BUILD_TESTS=OFF >/dev/null
fi
# Linked again, so that the time stamp is this commit's whatever the last build had.
rm -f "$build/src/program/Tandrel.exe" "$build/tools/plan/tandrel-plan.exe"
cmake --build "$build" --target Tandrel tandrel-plan -j2

stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
x86_64-w64-mingw32-strip -o "$stage/Tandrel.exe" "$build/src/program/Tandrel.exe"
x86_64-w64-mingw32-strip -o "$stage/tandrel-plan.exe" "$build/tools/plan/tandrel-plan.exe"
# The platform plugin and the style Qt picks on Windows; no image format plugin, since the
# program reads no image files.
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Every DLL that a shipped file imports comes along, unless Windows has it (the DLLs of
# Wine's own Windows side stand for Windows' here; api-ms-win-* names are API sets, which
# Windows' loader resolves). Whatever is neither stops the package.
wine_dlls=$(dirname "$(find /usr/lib/x86_64-linux-gnu/wine /usr/lib/wine -name kernel32.dll -path '*x86_64-windows*' 2>/dev/null | head -1)")
runtime_dirs=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
    "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")
queue=("$stage/Tandrel.exe" "$stage/tandrel-plan.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [ -f "$stage/$dll" ] && continue
        found=""
        for dir in "${runtime_dirs[@]}"; do
            [ -f "$dir/$dll" ] && found=$dir/$dll && break
        done
        if [ -n "$found" ]; then
            x86_64-w64-mingw32-strip --strip-unneeded -o "$stage/$dll" "$found"
            queue+=("$stage/$dll")
        elif [[ ${dll,,} == api-ms-win-* ]] || { [ -n "$wine_dlls" ] && [ -f "$wine_dlls/${dll,,}" ]; }; then
            continue
        else
            echo "$(basename "$file") needs $dll, which is neither shipped nor part of Windows" >&2
            exit 1
        fi
    done
done

cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
# The read-me in the operators' code page, with Windows line ends.
iconv -f UTF-8 -t CP1251 packaging/windows/README-ru.txt | sed 's/$/\r/' >"$stage/README.txt"
# The project's sample lists, as they are (Windows-1251).
cp examples/*.txt "$stage/"
# The plant board, when its target has built it (it needs node and npm, the program does not).
if [ -f "$build/board/board.html" ]; then cp "$build/board/board.html" "$stage/"; fi

find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"

# The zip: sorted names, no directory entries, the commit's time on every entry, no owners or
# Unix times, non-ASCII names marked as UTF-8 (Explorer reads unmarked ones as OEM code page).
rm -f "$out/$name.zip"
python3 - "$build/package" "$name" "$out/$name.zip" "$SOURCE_DATE_EPOCH" <<'PY'
import os, sys, time, zipfile
base, top, target, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip time starts in 1980
names = sorted(os.path.relpath(os.path.join(d, f), base)
               for d, _, files in os.walk(os.path.join(base, top)) for f in files)
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for name in names:
        entry = zipfile.ZipInfo(name, stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.create_system = 0
        entry.external_attr = 0x20  # archive bit, as Windows sets it
        with open(os.path.join(base, name), "rb") as f:
            archive.writestr(entry, f.read(), compresslevel=9)
PY

# The installer's file lists, in a fixed order: what it installs is exactly what it removes.
files=$build/package/files.nsh
{
    echo '!macro TandrelInstallFiles'
    (cd "$stage" && find . -type d ! -name . | sort) | while read -r dir; do
        dir=${dir#./}
        echo "    SetOutPath \"\$INSTDIR\\${dir//\//\\}\""
        (cd "$stage" && find "$dir" -maxdepth 1 -type f | sort) | while read -r f; do
            echo "    File \"$stage/$f\""
        done
    done
    echo '    SetOutPath "$INSTDIR"'
    (cd "$stage" && find . -maxdepth 1 -type f | sort) | while read -r f; do
        echo "    File \"$stage/${f#./}\""
    done
    echo '!macroend'
    echo '!macro TandrelRemoveFiles'
    (cd "$stage" && find . -type f | sort) | while read -r f; do
        f=${f#./}
        echo "    Delete \"\$INSTDIR\\${f//\//\\}\""
    done
    (cd "$stage" && find . -type d ! -name . | sort -r) | while read -r dir; do
        dir=${dir#./}
        echo "    RMDir \"\$INSTDIR\\${dir//\//\\}\""
    done
    echo '!macroend'
} >"$files"
rm -f "$out/$name-setup.exe"
makensis -INPUTCHARSET UTF8 -V2 -DVERSION="$version" -DFILES="$files" \
    -DOUTFILE="$out/$name-setup.exe" packaging/windows/Tandrel.nsi >/dev/null
touch -d "@$SOURCE_DATE_EPOCH" "$out/$name.zip" "$out/$name-setup.exe"

for f in "$out/$name.zip" "$out/$name-setup.exe"; do
    echo "$(basename "$f"): $(stat -c %s "$f") bytes, sha256 $(sha256sum "$f" | cut -c1-16)"
done
