#!/usr/bin/env bash
# Builds and runs every benchmark, which print their figures. With --smoke (as CI calls it) each
# runs once and briefly: TANDREL_BENCH_SMOKE=1 tells a benchmark to shorten its own loops.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ libgtest-dev libbenchmark-dev

args=()
if [ "${1:-}" = "--smoke" ]; then
    export TANDREL_BENCH_SMOKE=1
    args+=(--benchmark_min_time=0.01)
fi
cmake --preset default -DTANDREL_WITH_QT=OFF -DTANDREL_BUILD_BENCH=ON >/dev/null
cmake --build --preset default -j2
status=0
for exe in $(find build/default/bench -type f -perm -u+x -not -path '*/CMakeFiles/*' | sort); do
    echo "== ${exe#build/default/bench/}"
    "$exe" "${args[@]}" || status=1
done
exit $status
