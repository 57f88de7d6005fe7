#!/usr/bin/env bash
# Installs what is missing, builds (normal and sanitizer builds) and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core fonts-wine \
    qt6-translations-l10n locales libminizip-dev libexpat1-dev pkg-config \
    xvfb openbox x11-utils \
    libmosquitto-dev mosquitto mosquitto-clients  # the plant feed: its client, and a broker for tests
for preset in default asan; do
    cmake --preset "$preset" -DTANDREL_WITH_QT=ON >/dev/null
    cmake --build --preset "$preset" -j2
    ctest --test-dir "build/$preset" --output-on-failure -j2
done
# The core's link, serial and recovery tests under ThreadSanitizer (without Qt, which Debian
# does not build for it).
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j2
ctest --test-dir build/tsan --output-on-failure -j2 \
    -R 'Serial|Port|Events|Link|Handshake|Dispatcher|Recovery|Drayver|Pty|Executor|Feed'
bash scripts/test_windows.sh
bash scripts/bench.sh --smoke
bash scripts/fuzz.sh 30
