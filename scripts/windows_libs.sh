#!/usr/bin/env bash
# The libraries of the spreadsheet lists for 64-bit Windows (MinGW-w64), static: expat and
# minizip from Debian's source packages of libexpat1-dev and libminizip-dev, against Debian's
# zlib for MinGW (libz-mingw-w64-dev); and the plant feed's MQTT client, libmosquitto from the
# source package of libmosquitto-dev (static, without TLS and without threads of its own). Kept in a cache folder outside the repo, keyed by those
# versions and this recipe; prints the prefix on stdout, progress on stderr.
#
#   scripts/windows_libs.sh               # the prefix: from the cache, else built
#   scripts/windows_libs.sh --fetch-only  # fetches and unpacks the sources, builds and keeps nothing
set -euo pipefail
fetch_only=0
[ "${1:-}" != --fetch-only ] || fetch_only=1
cd "$(dirname "$0")/.."
root=$PWD
. scripts/packages.sh
install_packages cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev \
    libexpat1-dev libminizip-dev libmosquitto-dev

expat=$(dpkg-query -W -f='${source:Package}=${source:Version}' libexpat1-dev)
minizip=$(dpkg-query -W -f='${source:Package}=${source:Version}' libminizip-dev)
mosquitto=$(dpkg-query -W -f='${source:Package}=${source:Version}' libmosquitto-dev)
recipe_id=$(cat scripts/windows_libs.sh cmake/minizip/CMakeLists.txt cmake/mingw-w64.cmake |
    { cat; echo "$expat $minizip $mosquitto"; } | sha256sum | cut -c1-12)
cache=${TANDREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tandrel}
prefix=$cache/windows-libs-$recipe_id
log() { echo "windows_libs: $*" >&2; }

if [ "$fetch_only" = 0 ] && [ -f "$prefix/.tandrel-recipe" ]; then
    log "cached: $(cat "$prefix/.tandrel-recipe")"
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"
work=$(mktemp -d "$cache/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
start=$SECONDS
log "building $expat, $minizip and $mosquitto"
# The installed version's source first, else the newest the pool has; which one was built is
# said and kept.
built=()
built+=("$(fetch_debian_source "$expat" "$work" windows_libs)")
built+=("$(fetch_debian_source "$minizip" "$work" windows_libs)")
built+=("$(fetch_debian_source "$mosquitto" "$work" windows_libs)")
log "sources fetched in $((SECONDS - start)) s: ${built[*]}"
# The test command's first-run check stops here: what a fresh machine cannot fetch fails it.
[ "$fetch_only" = 0 ] || exit 0
out=$work/prefix
toolchain=$root/cmake/mingw-w64.cmake
# Debian's expat source holds the library in expat/ beside its packaging.
# No DTD support: a workbook has no DTD, and one patch of this source tests the macro by value.
expat_src=$work/expat/src
[ -f "$expat_src/CMakeLists.txt" ] || expat_src=$expat_src/expat
cmake -S "$expat_src" -B "$work/expat-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" -DEXPAT_SHARED_LIBS=OFF \
    -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
    -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF \
    -DEXPAT_DTD=OFF -DEXPAT_MSVC_STATIC_CRT=OFF >&2
cmake --build "$work/expat-build" -j"${TANDREL_JOBS:-2}" >&2
cmake --install "$work/expat-build" >&2
# expat names its static MinGW library libexpat.a or libexpatMD.a by version: one name here.
[ -f "$out/lib/libexpat.a" ] || cp "$(ls "$out"/lib/libexpat*.a | head -1)" "$out/lib/libexpat.a"
cmake -S "$root/cmake/minizip" -B "$work/minizip-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$out" -DMINIZIP_SOURCE="$work/minizip/src" >&2
cmake --build "$work/minizip-build" -j"${TANDREL_JOBS:-2}" >&2
cmake --install "$work/minizip-build" >&2
# The client library alone: the feed drives it from its own thread, so it needs none of its own
# (which under MinGW would want pthreads), and the plant's broker speaks plain MQTT for now.
cmake -S "$work/mosquitto/src" -B "$work/mosquitto-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
    -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_THREADING=OFF -DWITH_STATIC_LIBRARIES=ON \
    -DWITH_SRV=OFF -DWITH_SOCKS=OFF -DWITH_CJSON=OFF -DWITH_CLIENTS=OFF -DWITH_BROKER=OFF \
    -DWITH_APPS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF -DDOCUMENTATION=OFF >&2
cmake --build "$work/mosquitto-build" -j"${TANDREL_JOBS:-2}" --target libmosquitto_static >&2
mkdir -p "$out/include" "$out/lib"
cp "$work/mosquitto/src/include/"*.h "$out/include/"
cp "$(find "$work/mosquitto-build" -name 'libmosquitto_static.a' | head -1)" "$out/lib/"
echo "${built[*]} $recipe_id" >"$out/.tandrel-recipe"
rm -rf "$prefix"
mv "$out" "$prefix"
log "built in $((SECONDS - start)) s: $prefix"
echo "$prefix"
