#!/usr/bin/env bash
# Builds Tandrel.exe, its window tests and the core tests for Windows (MinGW-w64 against the Qt
# of scripts/qt_windows.sh) and runs them under Wine: the core tests with COM1 mapped to a
# pseudo-terminal whose far end is tests/serial/wine_peer.cpp, the window tests on an X server,
# then the packaged program against the device simulator (also through a CUPS queue), the bar
# plan's tool against the Linux one, and the installer.
#
#   scripts/test_windows.sh [SESSIONS]    # SESSIONS: runs of the whole program, 20 by default
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils \
    xz-utils zip unzip nsis qt6-base-dev qt6-translations-l10n fonts-wine libgtest-dev cups libcups2-dev \
    mosquitto mosquitto-clients openssl xdotool x11-xkb-utils  # the plant's broker and its TLS; the operator's keys and layout
command -v npm >/dev/null || install_packages nodejs npm  # the board page in the package
sessions=${1:-20}

root=$PWD
build=$root/build/windows
mkdir -p "$build"
start=$SECONDS
stage() { echo "== $* ($((SECONDS - start)) s)"; }

qt=$(bash scripts/qt_windows.sh)
export TANDREL_QT_WINDOWS=$qt
stage "Qt for Windows: $qt"
TANDREL_WINDOWS_LIBS=$(bash scripts/windows_libs.sh)
export TANDREL_WINDOWS_LIBS
stage "minizip, expat and libmosquitto for Windows: $TANDREL_WINDOWS_LIBS"
# The bar plan's solver library: a build of its own (long on a first run, then cached).
coin_start=$SECONDS
TANDREL_WINDOWS_COIN=$(bash scripts/windows_coin.sh)
export TANDREL_WINDOWS_COIN
stage "CoinUtils and CLP for Windows in $((SECONDS - coin_start)) s: $TANDREL_WINDOWS_COIN"

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

. scripts/wine_env.sh
wine_env "$build/wineprefix"
# The test programs find Qt and the MinGW runtime through WINEPATH (the package carries them
# beside Tandrel.exe instead).
export WINEPATH="$(wine_path "$qt/bin");$(wine_path "$(mingw_runtime_dir libstdc++-6.dll)");$(wine_path "$(mingw_runtime_dir libwinpthread-1.dll)")"
export QT_PLUGIN_PATH=$(wine_path "$qt/plugins")
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

wine_start_server pids COM1 "$link"
stage "Wine ready"

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
cmake --preset windows -DGTest_DIR="$gtest/install/lib/cmake/GTest" >/dev/null
cmake --build --preset windows -j2
stage "built"

# Each test program in one process: the port tests share the one COM1. The window tests are
# QtTest programs: under Wine they print nothing on stdout, so their results go to a file, and
# their exit code is the number of failures.
status=0
window_tests=$(cat "$build/window_tests.txt")
for exe in $(find "$build/tests" -name "*.exe" | sort); do
    case " $window_tests " in *" $exe "*) continue ;; esac
    name=$(basename "$exe")
    echo "== $name"
    log=$build/tests/$name.log
    # Each test is named as it starts, so that a hang shows where.
    code=0
    LD_PRELOAD="$build/modem_preload.so $build/line_preload.so" timeout 120 wine "$exe" \
        </dev/null >"$log" 2>&1 || code=$?
    [ "$code" -ne 124 ] ||
        echo "  $name did not finish in 120 s under Wine, in: $(grep '^\[ RUN' "$log" | tail -1)"
    grep -E '^\[ +(FAILED|SKIPPED|PASSED) +\]|^\[==========\] .* ran' "$log" | sed 's/^/  /'
    if [ "$code" -ne 0 ]; then
        echo "  $name: exit code $code"
        grep -B2 -A10 'Failure' "$log" | head -60 | sed 's/^/  /'
        status=1
    fi
done
stage "core tests"

xvfb_start
pids+=("$XVFB_PID")
mkdir -p "$build/screens"
for exe in $window_tests; do
    name=$(basename "$exe" .exe)
    echo "== $name"
    result=$build/tests/$name.txt
    rm -f "$result"
    code=0
    (cd "$build/tests" && DISPLAY=$XVFB_DISPLAY QT_QPA_PLATFORM=offscreen \
        timeout 300 wine "$exe" -o "$name.txt,txt" </dev/null >/dev/null 2>&1) || code=$?
    { [ -f "$result" ] && grep -E '^(FAIL|SKIP|XPASS|Totals)' "$result" | sed 's/^/  /'; } || true
    if [ "$code" -ne 0 ]; then
        echo "  $name: exit code $code"
        status=1
    fi
done
stage "window tests"

# The plant board ships beside Tandrel.exe.
cmake --build "$build" --target board
bash scripts/package_windows.sh --build "$build"
# Built a second time from the same commit and Qt: the same bytes.
bash scripts/package_windows.sh --build "$build" --out "$build/dist-again" >/dev/null
for f in "$build"/dist-again/*; do
    cmp "$f" "dist/$(basename "$f")" || { echo "$(basename "$f") is not reproducible"; status=1; }
done
stage "packaged twice"
bash tests/tools/plan/wine_plan.sh "$build" || status=1
stage "bar plan under Wine"
bash tests/program/wine_session.sh "$build" "$sessions" || status=1
stage "program sessions"
bash tests/program/wine_installer.sh "$build" || status=1
stage "installer"
exit $status
