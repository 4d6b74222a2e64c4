#!/usr/bin/env bash
# Runs the default test suite again and again on a busy machine: a busy loop at the lowest
# priority on one core beside it, and the virtual controller holding up a share of writes for
# 30 to 60 ms, as a loaded system now and then does. No test may depend on how the machine's
# time went, so every run must pass.
# Usage: scripts/test-under-load.sh [RUNS [STALL_SHARE [CTEST_ARGS...]]]   (5 runs, 0.05 of writes)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
share=${2:-0.05}
shift $(( $# < 2 ? $# : 2 ))

cmake --preset default >/dev/null
cmake --build --preset default

nice -n 19 taskset -c 0 sh -c 'while :; do :; done' &
hog=$!
trap 'kill "$hog" 2>/dev/null || true' EXIT

failed=0
for run in $(seq 1 "$runs"); do
  log=build/default/under-load-$run.log
  started=$SECONDS
  if TAVREL_VJ_STALL=$share ctest --preset default -j2 --output-on-failure "$@" >"$log" 2>&1; then
    echo "run $run of $runs: every test passed in $((SECONDS - started)) s ($(grep -c 'Test *#' "$log") tests)"
  else
    failed=$((failed + 1))
    echo "run $run of $runs: FAILED in $((SECONDS - started)) s; $log says:"
    sed -n '/The following tests FAILED/,$p' "$log"
  fi
done
echo "under load: $((runs - failed)) of $runs runs passed (stall share $share, a busy loop on core 0)"
[ "$failed" -eq 0 ]
