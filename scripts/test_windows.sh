#!/usr/bin/env bash
# Builds the core and its tests for Windows with MinGW-w64 and runs them under Wine, with COM1
# mapped to a pseudo-terminal whose far end is tests/serial/wine_peer.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ g++-mingw-w64-x86-64-posix wine wine64

root=$PWD
build=$root/build/mingw
mkdir -p "$build"

# GoogleTest for MinGW, built once from the Debian sources.
gtest=$build/googletest
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest/install" >/dev/null
    cmake --build "$gtest/build" -j2
    cmake --install "$gtest/build" >/dev/null
fi

# The far end of COM1, the modem-line library and the line library (Linux programs).
g++ -std=c++20 -O2 -Wall -Wextra -Werror tests/serial/wine_peer.cpp -o "$build/wine_peer"
gcc -O2 -Wall -Wextra -Werror -shared -fPIC tests/serial/modem_preload.c -o "$build/modem_preload.so" -ldl
gcc -O2 -Wall -Wextra -Werror -shared -fPIC tests/serial/line_preload.c -o "$build/line_preload.so" -ldl -lpthread

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

link=$build/com1
rm -f "$build/peer.port"
rm -f "$build/line.state" "$build/line.state.cut"
"$build/wine_peer" "$link" "$build/peer.port" "$build/modem.state" "$build/line.state" </dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$build/peer.port" ] && break; sleep 0.05; done
export TANDREL_PEER=$(cat "$build/peer.port") TANDREL_MODEM=$build/modem.state
export TANDREL_LINE=$build/line.state

# The wineserver in the foreground (of a background job), so that it takes no pseudo-terminal
# as its controlling terminal. COM1 is mapped before anything can open it (a fresh prefix maps
# it to the machine's real /dev/ttyS0), then the server restarts to take the mapping.
start_wineserver() {
    wineserver -f -p </dev/null >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.2
}
start_wineserver
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$link" /f >/dev/null 2>&1
wineserver -k || true
wait "${pids[-1]}" 2>/dev/null || true
start_wineserver
wine cmd /c exit >/dev/null 2>&1

cmake --preset mingw -DGTest_DIR="$gtest/install/lib/cmake/GTest" >/dev/null
cmake --build --preset mingw -j2

# Each test program in one process: the port tests share the one COM1.
status=0
for exe in $(find "$build/tests" -name "*.exe" | sort); do
    echo "== $(basename "$exe")"
    LD_PRELOAD="$build/modem_preload.so $build/line_preload.so" timeout 300 wine "$exe" \
        --gtest_brief=1 </dev/null || status=1
done
exit $status
