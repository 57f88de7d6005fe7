#!/usr/bin/env bash
# Qt 6 for 64-bit Windows (MinGW-w64), built from Debian's own qt6-base source, kept in a cache
# folder outside the repo. Prints the prefix on stdout; progress goes to stderr.
#
#   scripts/qt_windows.sh            # reuse the cache, else unpack the shared archive, else build
#   scripts/qt_windows.sh --source   # build from Debian's source even when the archive is there
#
# The prefix is reused only when its version and recipe match this script's. The archive in
# ../shared/toolchains/ (beside the repo; TANDREL_QT_ARCHIVE names another place) is exactly
# this recipe's result: a change of recipe needs a new archive and its SHA-256 here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/packages.sh

version=6.4.2
debian_version=6.4.2+dfsg
archive=${TANDREL_QT_ARCHIVE:-$root/../shared/toolchains/qt-$version-mingw64.tar.xz}
archive_sha256=9a31a7bdf52805db00723237cc652bb4986bcdd1b43ff9b908a83cf8650bc36e

# The recipe: Core, Gui, Widgets and Test; the windows, offscreen and minimal platform plugins,
# the Windows styles. The +dfsg source lacks the tablet headers, so tablet events are off; the
# bundled third-party libraries are used, since MinGW has none of its own.
recipe=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DINPUT_opengl=no -DFEATURE_tabletevent=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_testlib=ON
)
recipe_id=$(printf '%s\n' "$version" "${recipe[@]}" | sha256sum | cut -c1-12)

cache=${TANDREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tandrel}
name=qt-$version-mingw64
prefix=$cache/$name-$recipe_id
stamp=$prefix/.tandrel-recipe

log() { echo "qt_windows: $*" >&2; }

if [ "${1:-}" != "--source" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version $recipe_id" ]; then
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"
work=$(mktemp -d "$cache/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The toolchain that builds Qt: ours, but finding packages in the Qt build itself too, and
# with the MinGW runtime as DLLs (Qt's DLLs need it shared).
write_qt_toolchain() {
    cat >"$1" <<EOF
include("$root/cmake/mingw-w64.cmake")
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
EOF
}

build_from_source() {
    install_packages cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools \
        dpkg-dev xz-utils
    # Debian's source package of the qt6-base that qt6-base-dev comes from.
    local package
    package=qt6-base=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
    log "fetching Debian's qt6-base $debian_version source"
    debian_source "$package" "$work"
    tar -xf "$work"/qt6-base_"$debian_version".orig.tar.xz -C "$work"
    write_qt_toolchain "$work/toolchain.cmake"
    local start=$SECONDS
    cmake -S "$work/qtbase-everywhere-src-$version" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$work/$name" "${recipe[@]}" >&2
    cmake --build "$work/build" -j"${TANDREL_JOBS:-2}" >&2
    cmake --install "$work/build" >&2
    find "$work/$name" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    log "built from source in $((SECONDS - start)) s"
}

if [ "${1:-}" != "--source" ] && [ -f "$archive" ]; then
    log "unpacking $archive"
    echo "$archive_sha256  $archive" | sha256sum -c --quiet - >&2 ||
        { log "$archive is not the archive of this recipe (SHA-256 differs)"; exit 1; }
    tar -xJf "$archive" -C "$work"
    [ -d "$work/$name" ] || { log "$archive has no $name/ folder"; exit 1; }
else
    log "no archive at $archive: building from Debian's source (25 to 35 minutes)"
    build_from_source
fi
echo "$version $recipe_id" >"$work/$name/.tandrel-recipe"
rm -rf "$prefix"
mv "$work/$name" "$prefix"
log "Qt for Windows in $prefix ($(du -sh "$prefix" | cut -f1))"
echo "$prefix"
