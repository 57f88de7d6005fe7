#!/usr/bin/env bash
# The libraries of the spreadsheet lists for 64-bit Windows (MinGW-w64), static: expat and
# minizip from Debian's source packages of libexpat1-dev and libminizip-dev, against Debian's
# zlib for MinGW (libz-mingw-w64-dev); and the plant feed's MQTT client, libmosquitto from the
# source package of libmosquitto-dev (static, without threads of its own), with TLS through
# OpenSSL from the source package of libssl-dev (static, its libraries alone). Kept in a cache
# folder outside the repo, keyed by those versions and this recipe; prints the prefix on stdout,
# progress on stderr.
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
    libexpat1-dev libminizip-dev libmosquitto-dev libssl-dev perl make

expat=$(dpkg-query -W -f='${source:Package}=${source:Version}' libexpat1-dev)
minizip=$(dpkg-query -W -f='${source:Package}=${source:Version}' libminizip-dev)
mosquitto=$(dpkg-query -W -f='${source:Package}=${source:Version}' libmosquitto-dev)
openssl=$(dpkg-query -W -f='${source:Package}=${source:Version}' libssl-dev)
recipe_id=$(cat scripts/windows_libs.sh cmake/minizip/CMakeLists.txt cmake/mingw-w64.cmake |
    { cat; echo "$expat $minizip $mosquitto $openssl"; } | sha256sum | cut -c1-12)
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
log "building $expat, $minizip, $openssl and $mosquitto"
# The installed version's source first, else the newest the pool has; which one was built is
# said and kept.
built=()
built+=("$(fetch_debian_source "$expat" "$work" windows_libs)")
built+=("$(fetch_debian_source "$minizip" "$work" windows_libs)")
built+=("$(fetch_debian_source "$openssl" "$work" windows_libs)")
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
# OpenSSL's two libraries alone (no programs, tests, documents or loadable modules), without
# what TLS to a plant's broker never uses, so that its first build stays short (its console UI
# stays: libmosquitto links it). Its settings folder is OpenSSL's own for Windows, which only an
# administrator may write: built here, it would be "/usr/local/ssl", a folder any user of the
# workstation can make at the root of the drive.
openssl_src=$work/openssl/src
step=$SECONDS
(
    cd "$openssl_src"
    perl Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
        --openssldir="C:/Program Files/Common Files/SSL" no-shared no-module \
        no-tests no-engine no-legacy no-dso no-capieng no-cms no-ts no-srp no-idea \
        no-mdc2 no-rc2 no-rc4 no-rc5 no-md4 no-seed no-camellia no-aria no-bf no-cast \
        no-whirlpool no-sm2 no-sm3 no-sm4 no-gost no-siphash no-cmp no-ct no-ssl3 no-dtls \
        no-sctp no-srtp no-comp no-ocb no-scrypt no-blake2 no-rmd160 no-dsa no-des >&2
    make -j"${TANDREL_JOBS:-2}" build_generated >&2
    make -j"${TANDREL_JOBS:-2}" libcrypto.a libssl.a >&2
)
mkdir -p "$out/include/openssl" "$out/lib"
cp "$openssl_src"/include/openssl/*.h "$out/include/openssl/"
cp "$openssl_src/libcrypto.a" "$openssl_src/libssl.a" "$out/lib/"
log "OpenSSL built in $((SECONDS - step)) s"
# The client library alone: the feed drives it from its own thread, so it needs none of its own
# (which under MinGW would want pthreads); TLS through the OpenSSL above (CMake's finder names
# MinGW's libraries LIB_EAY and SSL_EAY).
cmake -S "$work/mosquitto/src" -B "$work/mosquitto-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
    -DWITH_TLS=ON -DOPENSSL_INCLUDE_DIR="$out/include" \
    -DOPENSSL_CRYPTO_LIBRARY="$out/lib/libcrypto.a" -DOPENSSL_SSL_LIBRARY="$out/lib/libssl.a" \
    -DLIB_EAY="$out/lib/libcrypto.a" -DSSL_EAY="$out/lib/libssl.a" \
    -DWITH_TLS_PSK=OFF -DWITH_THREADING=OFF -DWITH_STATIC_LIBRARIES=ON \
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
