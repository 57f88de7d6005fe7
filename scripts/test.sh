#!/usr/bin/env bash
# Installs what is missing, builds (normal and sanitizer builds) and runs every test with CTest.
# Each stage's time is printed as it ends, and all of them again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
stages=()
stage_start=$SECONDS
# stage NAME: ends the stage that ran since the last call under that name.
stage() {
    stages+=("$(printf '%-34s %5d s' "$1" $((SECONDS - stage_start)))")
    echo "== $1: $((SECONDS - stage_start)) s (total $((SECONDS / 60)) min $((SECONDS % 60)) s)"
    stage_start=$SECONDS
}
summary() {
    local code=$?
    [ -z "${early_windows:-}" ] || kill -- "-$early_windows" 2>/dev/null || true
    echo "== the test command's stages:"
    printf '   %s\n' "${stages[@]}"
    echo "== total: $((SECONDS / 60)) min $((SECONDS % 60)) s, exit $code"
}
trap summary EXIT

install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core fonts-wine \
    qt6-translations-l10n locales "${program_libraries[@]}" cups \
    xvfb openbox x11-utils xdotool x11-xkb-utils \
    mosquitto mosquitto-clients openssl  # a broker for the plant feed's tests, and its TLS set-up
# The plant board in a browser against a broker; node and npm build its page (a machine may have
# them from elsewhere than Debian).
install_packages chromium chromium-driver
command -v npm >/dev/null || install_packages nodejs npm
stage "packages"
# What only a fresh machine would show, first: the Windows stage's sources as it fetches them.
bash scripts/first_run_check.sh
stage "first-run check"
# The Windows libraries take a quarter of an hour on a first run, most of it configure scripts that
# keep one core busy: they build beside the Linux builds, in a process group of their own, and the
# Windows stage waits for them (a warm run finds them cached at once).
mkdir -p build
setsid bash -c 'bash scripts/windows_libs.sh && bash scripts/windows_coin.sh' \
    >build/windows-libs-early.log 2>&1 </dev/null &
early_windows=$!
for preset in default asan; do
    cmake --preset "$preset" -DTANDREL_WITH_QT=ON >/dev/null
    cmake --build --preset "$preset" -j2
    stage "$preset: build"
    ctest --test-dir "build/$preset" --output-on-failure -j2 -LE board
    stage "$preset: tests"
done
# The plant board: its page built (npm ci, the bundler) and shown in headless chromium against
# a real mosquitto.
cmake --build --preset default --target board
ctest --test-dir build/default --output-on-failure -L board
stage "the board in the browser"

# The core's link, serial and recovery tests under ThreadSanitizer (without Qt, which Debian
# does not build for it).
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j2
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp" ctest --test-dir build/tsan --output-on-failure -j2 \
    -R 'Serial|Port|Events|Link|Handshake|Dispatcher|Recovery|Drayver|Pty|Executor|Feed|LabelQueue|HostilePrinters|PlanRunner'
stage "tsan"
if wait "$early_windows"; then
    echo "== the Windows libraries, built beside the Linux builds: $(grep -E '^windows_(libs|coin): (built in|cached:)' build/windows-libs-early.log | tr '\n' ' ')"
else
    echo "== the Windows libraries' early build failed (build/windows-libs-early.log); the Windows stage builds them again"
fi
early_windows=
bash scripts/test_windows.sh
stage "Windows"
bash scripts/bench.sh --smoke
stage "benchmarks (smoke)"
bash scripts/fuzz.sh 30
stage "fuzzing"
