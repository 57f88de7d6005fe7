#!/usr/bin/env bash
# The bar plan's solver library for 64-bit Windows (MinGW-w64), static: CoinUtils and CLP from
# Debian's source packages of coinor-libcoinutils-dev and coinor-libclp-dev, built with their own
# configure scripts, without LAPACK, BLAS, bzip2, zlib, readline and the solver's driver. Kept
# in a cache folder outside the repo, keyed by those versions and this recipe; prints the prefix
# on stdout, progress and the stage's time on stderr.
#
#   scripts/windows_coin.sh               # the prefix: from the cache, else built
#   scripts/windows_coin.sh --fetch-only  # fetches and unpacks the sources, builds and keeps nothing
set -euo pipefail
fetch_only=0
[ "${1:-}" != --fetch-only ] || fetch_only=1
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages g++-mingw-w64-x86-64-posix dpkg-dev make pkg-config \
    coinor-libcoinutils-dev coinor-libclp-dev

coinutils=$(dpkg-query -W -f='${source:Package}=${source:Version}' coinor-libcoinutils-dev)
clp=$(dpkg-query -W -f='${source:Package}=${source:Version}' coinor-libclp-dev)
recipe_id=$(cat scripts/windows_coin.sh | { cat; echo "$coinutils $clp"; } | sha256sum | cut -c1-12)
cache=${TANDREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tandrel}
prefix=$cache/windows-coin-$recipe_id
log() { echo "windows_coin: $*" >&2; }

if [ "$fetch_only" = 0 ] && [ -f "$prefix/.tandrel-recipe" ]; then
    log "cached: $(cat "$prefix/.tandrel-recipe")"
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"
work=$(mktemp -d "$cache/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
start=$SECONDS
log "building $coinutils and $clp"
# The installed version's source first, else the newest the pool has; which one was built is
# said and kept.
built=()
built+=("$(fetch_debian_source "$coinutils" "$work" windows_coin)")
built+=("$(fetch_debian_source "$clp" "$work" windows_coin)")
log "sources fetched in $((SECONDS - start)) s: ${built[*]}"
[ "$fetch_only" = 0 ] || exit 0

out=$work/prefix
jobs=${TANDREL_JOBS:-2}
# No Fortran (F77=unavailable): without LAPACK and BLAS nothing needs it.
configure=(--host=x86_64-w64-mingw32 --prefix="$out" --disable-shared --enable-static
    --disable-dependency-tracking --without-lapack --without-blas --without-glpk --disable-zlib
    --disable-bzlib CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix
    F77=unavailable "CXXFLAGS=-O2" "CFLAGS=-O2")
step=$SECONDS
mkdir -p "$work/coinutils-build"
(cd "$work/coinutils-build" && "$work/coinutils/src/CoinUtils/configure" "${configure[@]}" >&2 &&
    make -j"$jobs" >&2 && make install >&2)
log "CoinUtils built in $((SECONDS - step)) s"
# CLP's library alone: the solver's driver (libClpSolver, the clp program) is not linked.
step=$SECONDS
mkdir -p "$work/clp-build"
(cd "$work/clp-build" &&
    PKG_CONFIG_PATH=$out/lib/pkgconfig PKG_CONFIG_LIBDIR=$out/lib/pkgconfig \
        "$work/clp/src/Clp/configure" "${configure[@]}" --without-amd --without-cholmod \
        --without-mumps --without-asl --disable-readline >&2 &&
    make -j"$jobs" -C src libClp.la >&2 && make -C src install-includecoinHEADERS >&2)
cp "$work/clp-build/src/config_clp.h" "$out/include/coin/ClpConfig.h"
cp "$work/clp-build/src/.libs/libClp.a" "$out/lib/"
log "CLP built in $((SECONDS - step)) s"
echo "${built[*]} $recipe_id" >"$out/.tandrel-recipe"
rm -rf "$prefix"
mv "$out" "$prefix"
log "built in $((SECONDS - start)) s: $prefix"
echo "$prefix"
