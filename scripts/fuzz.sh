#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each one for the given number of
# seconds (default 30), one process at a time. Each target grows its working corpus in
# build/fuzz/corpus/<target> from the seeds in fuzz/corpus/<target>; crash files land in
# build/fuzz/artifacts/<target>/ and the full log in build/fuzz/<target>.log.
# Prints executions and coverage per target; exits non-zero when any target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

failed=0
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$fuzzer")
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name/
  log=build/fuzz/$name.log
  mkdir -p "$corpus" "$artifacts"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts" \
       "$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+')
    echo "$name: ${runs} executions in ${seconds} s, ${coverage}, no findings"
  else
    failed=1
    echo "$name: FINDING (log $log, crash file in $artifacts)" >&2
    grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" >&2 || tail -n 30 "$log" >&2
  fi
done
exit "$failed"
