#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 30) on a copy of its seed
# corpus, then prints one line per target: executions and findings. Exit status 1 on a finding.
#   scripts/fuzz.sh [SECONDS]        e.g. scripts/fuzz.sh 3600 for a long run
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-30}
. scripts/packages.sh
install_packages cmake ninja-build clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
work=$root/build/fuzz/runs
mkdir -p "$work"
status=0
printf '%-16s %14s %9s\n' target executions findings
for exe in "$root"/build/fuzz/tests/fuzz/fuzz_*; do
    name=${exe##*/fuzz_}
    corpus=$work/$name/corpus
    mkdir -p "$corpus" "$work/$name/findings"
    seeds=$root/tests/fixtures/fuzz/$name
    [[ -d $seeds ]] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
    log=$work/$name/log.txt
    set +e
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name/findings/" "$corpus" >"$log" 2>&1
    code=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    findings=$(find "$work/$name/findings" -type f | wc -l)
    printf '%-16s %14s %9s\n' "$name" "${runs:-0}" "$findings"
    if [[ $code -ne 0 || $findings -ne 0 ]]; then
        status=1
        tail -40 "$log"
    fi
done
exit $status
