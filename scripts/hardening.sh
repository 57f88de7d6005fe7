#!/usr/bin/env bash
# One hardening report: fuzz executions and findings per target, then the power-loss kills
# survived and rows lost, then the limit cases. Exit status 1 when anything failed.
#   scripts/hardening.sh [FUZZ_SECONDS] [KILL_ROUNDS]   defaults 30 and 1000
#   scripts/hardening.sh 3600 20000                     the long run
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
rounds=${2:-1000}
status=0

echo "== fuzzing, $seconds s per target"
bash scripts/fuzz.sh "$seconds" || status=1

echo
echo "== power loss, $rounds kills"
cmake --preset default >/dev/null && cmake --build --preset default -j2 --target hardening_tests >/dev/null ||
    { echo "build failed"; exit 1; }
log=build/default/hardening-report.txt
TANDREL_KILL_ROUNDS=$rounds build/default/tests/hardening/hardening_tests >"$log" 2>&1 || status=1
grep '^power-loss' "$log" || { echo "no power-loss figures"; status=1; }

echo
echo "== limits and flush calls"
grep -E '^\[ +(OK|FAILED|SKIPPED) +\] (Limits|PowerLoss)\.' "$log" | sed 's/ ([0-9]* ms)//' | awk '!seen[$0]++'
[[ $status -eq 0 ]] || { echo; echo "FAILED (details in $log and build/fuzz/runs/)"; }
exit $status
