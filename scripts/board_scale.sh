#!/usr/bin/env bash
# The plant board at scale: one real station measured, then 50 and 500 played stations for
# 10 minutes each, plain and through TLS, and a compressed day (about 75 minutes in all), each
# on a broker of its own with the generated set-up and the board open in headless chromium.
# --smoke (as the benchmarks' smoke run calls it): a minute. More arguments pick the runs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages cmake ninja-build g++ qt6-base-dev "${program_libraries[@]}" \
    chromium chromium-driver mosquitto mosquitto-clients openssl
command -v npm >/dev/null || install_packages nodejs npm
if [ "${1:-}" = "--smoke" ]; then
    export TANDREL_BENCH_SMOKE=1
    shift
fi
cmake --preset default -DTANDREL_WITH_QT=ON >/dev/null
cmake --build --preset default -j2 --target Tandrel tandrel-sim board
node bench/board/board_scale.mjs build/default/board build/default/src/program/Tandrel \
    build/default/tools/tandrel-sim "$@"
