#!/usr/bin/env bash
# One hardening report: fuzz executions and findings per target, the power-loss kills survived
# and rows lost, the limit cases, then the line-noise soak. Exit status 1 when anything failed.
#   scripts/hardening.sh [FUZZ_SECONDS] [KILL_ROUNDS]     defaults 30 and 1000
#   scripts/hardening.sh --runs 10000000 20000            the long run
# TANDREL_BENCH_SMOKE=1 shortens the noise soak to a few bursts.
set -uo pipefail
cd "$(dirname "$0")/.."
fuzz=(30)
if [[ ${1:-} == --runs ]]; then
    fuzz=(--runs "$2")
    shift 2
elif [[ $# -gt 0 ]]; then
    fuzz=("$1")
    shift
fi
rounds=${1:-1000}
status=0
. scripts/packages.sh
install_packages "${program_libraries[@]}" cmake ninja-build g++ libgtest-dev libbenchmark-dev qt6-base-dev fonts-dejavu-core

echo "== fuzzing (${fuzz[*]})"
bash scripts/fuzz.sh "${fuzz[@]}" || status=1

echo
echo "== power loss, $rounds kills"
cmake --preset default -DTANDREL_WITH_QT=ON -DTANDREL_BUILD_BENCH=ON >/dev/null &&
    cmake --build --preset default -j2 --target hardening_tests noise_soak >/dev/null ||
    { echo "build failed"; exit 1; }
log=build/default/hardening-report.txt
TANDREL_KILL_ROUNDS=$rounds build/default/tests/hardening/hardening_tests >"$log" 2>&1 || status=1
grep '^power-loss' "$log" || { echo "no power-loss figures"; status=1; }

echo
echo "== limits and flush calls"
grep -E '^\[ +(OK|FAILED|SKIPPED) +\] (Limits|PowerLoss)\.' "$log" | sed 's/ ([0-9]* ms)//' | awk '!seen[$0]++'

echo
echo "== line noise over a worked list"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
noise=build/default/noise-report.txt
build/default/bench/soak/noise_soak >"$noise" 2>&1 || status=1
grep -E '^(noise|link|handshakes|device|rows|longest)' "$noise" || { echo "no noise figures"; status=1; }

[[ $status -eq 0 ]] || { echo; echo "FAILED (details in $log, $noise and build/fuzz/runs/)"; }
exit $status
