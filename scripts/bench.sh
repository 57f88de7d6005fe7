#!/usr/bin/env bash
# Builds and runs every benchmark, which print their figures. With --smoke (as CI calls it) each
# runs once and briefly: TANDREL_BENCH_SMOKE=1 tells a benchmark to shorten its own loops.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages "${program_libraries[@]}" cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core cups
install_packages mosquitto openssl  # the feed's broker and its TLS

args=()
if [ "${1:-}" = "--smoke" ]; then
    export TANDREL_BENCH_SMOKE=1
    args+=(--benchmark_min_time=0.01)
fi
cmake --preset default -DTANDREL_WITH_QT=ON -DTANDREL_BUILD_BENCH=ON >/dev/null
cmake --build --preset default -j2
# The soak drives the real windows: offscreen where there is no display.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
status=0
for exe in $(find build/default/bench -type f -perm -u+x -not -path '*/CMakeFiles/*' | sort); do
    echo "== ${exe#build/default/bench/}"
    "$exe" "${args[@]}" || status=1
done
# The plant board at scale: stations on one broker, the board open in headless chromium.
echo "== board/board_scale"
bash scripts/board_scale.sh ${TANDREL_BENCH_SMOKE:+--smoke} || status=1
exit $status
