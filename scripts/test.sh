#!/usr/bin/env bash
# Installs what is missing, builds (normal and sanitizer builds) and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core fonts-wine \
    qt6-translations-l10n locales "${program_libraries[@]}" cups \
    xvfb openbox x11-utils \
    mosquitto mosquitto-clients  # a broker for the plant feed's tests
# The plant board in a browser against a broker; node and npm build its page (a machine may have
# them from elsewhere than Debian).
install_packages chromium chromium-driver
command -v npm >/dev/null || install_packages nodejs npm
for preset in default asan; do
    cmake --preset "$preset" -DTANDREL_WITH_QT=ON >/dev/null
    cmake --build --preset "$preset" -j2
    ctest --test-dir "build/$preset" --output-on-failure -j2 -LE board
done
# The plant board: its page built (npm ci, the bundler) and shown in headless chromium against
# a real mosquitto.
board_start=$SECONDS
cmake --build --preset default --target board
ctest --test-dir build/default --output-on-failure -L board
echo "== the board in the browser: $((SECONDS - board_start)) s"

# The core's link, serial and recovery tests under ThreadSanitizer (without Qt, which Debian
# does not build for it).
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j2
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp" ctest --test-dir build/tsan --output-on-failure -j2 \
    -R 'Serial|Port|Events|Link|Handshake|Dispatcher|Recovery|Drayver|Pty|Executor|Feed'
bash scripts/test_windows.sh
bash scripts/bench.sh --smoke
bash scripts/fuzz.sh 30
