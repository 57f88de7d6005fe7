#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each on a copy of its seed corpus, then prints one line
# per target: executions and findings. Exit status 1 on a finding.
#   scripts/fuzz.sh [SECONDS] [TARGET...]          each target for SECONDS (default 30)
#   scripts/fuzz.sh --runs N [TARGET...]           each target until N executions (the long run)
# The corpora grow under build/fuzz/runs/<target>/corpus and are kept between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
limit=(-max_total_time=30)
if [[ ${1:-} == --runs ]]; then
    limit=(-runs="$2")
    shift 2
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
    limit=(-max_total_time="$1")
    shift
fi
. scripts/packages.sh
install_packages "${program_libraries[@]}" cmake ninja-build clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
work=$root/build/fuzz/runs
mkdir -p "$work"
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for exe in "$root"/build/fuzz/tests/fuzz/fuzz_*; do targets+=("${exe##*/fuzz_}"); done
fi
status=0
printf '%-16s %14s %9s %9s\n' target executions seconds findings
for name in "${targets[@]}"; do
    exe=$root/build/fuzz/tests/fuzz/fuzz_$name
    [[ -x $exe ]] || { echo "no target $name"; status=1; continue; }
    corpus=$work/$name/corpus
    mkdir -p "$corpus" "$work/$name/findings"
    seeds=$root/tests/fixtures/fuzz/$name
    [[ -d $seeds ]] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
    log=$work/$name/log.txt
    # The dispatcher's batches are at most 64 bytes: long inputs only slow it down.
    extra=()
    [[ $name == dispatcher ]] && extra=(-max_len=512)
    started=$SECONDS
    set +e
    "$exe" "${limit[@]}" "${extra[@]}" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name/findings/" "$corpus" >"$log" 2>&1
    code=$?
    set -e
    runs=$(grep -ao 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n1 | grep -o '[0-9]*$' || echo 0)
    findings=$(find "$work/$name/findings" -type f | wc -l)
    printf '%-16s %14s %9s %9s\n' "$name" "${runs:-0}" $((SECONDS - started)) "$findings"
    if [[ $code -ne 0 || $findings -ne 0 ]]; then
        status=1
        tail -40 "$log"
    fi
done
exit $status
