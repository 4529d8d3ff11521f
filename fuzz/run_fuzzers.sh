#!/bin/sh
# Runs every fuzz harness for a bounded time, two at a time, starting from
# the seed corpus in fuzz/corpus (and the example models for the model-file
# reader). Inputs that find new paths go to build/fuzz/corpus, findings to
# build/fuzz/findings. Fails if any harness finds anything.
#   run_fuzzers.sh [seconds per harness, default 30] [harness ...]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-30}"
[ $# -gt 0 ] && shift
bin=build/fuzz/fuzz
# Without names, every harness the fuzz preset built.
harnesses="${*:-$(find "$bin" -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' -printf '%f\n' | sort)}"
[ -n "$harnesses" ] || { echo "no harnesses in $bin: build the fuzz preset first (make fuzz)" >&2; exit 1; }
logs=build/fuzz/logs
mkdir -p "$logs" build/fuzz/findings

run() {
  harness="$1"
  work=build/fuzz/corpus/$harness
  mkdir -p "$work"
  # The blocks' FMU harnesses read one layout and share their seeds.
  seeds=fuzz/corpus/$harness
  case "$harness" in fuzz_fmu_calls_*) seeds=fuzz/corpus/fuzz_fmu_calls ;; esac
  extra=""
  [ "$harness" = fuzz_model_file ] && extra=examples
  # shellcheck disable=SC2086
  if "$bin/$harness" "$work" "$seeds" $extra -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$harness-" \
       >"$logs/$harness.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$harness.log")
    echo "$harness: $runs executions in ${seconds} s, nothing found"
  else
    echo "$harness: FOUND A FAILURE (log: $logs/$harness.log)"
    grep -E "ERROR|runtime error|SUMMARY|Test unit written" "$logs/$harness.log" | head -8
    return 1
  fi
}

failed=0
set -- $harnesses
while [ $# -gt 0 ]; do
  first="$1"; shift
  if [ $# -gt 0 ]; then
    second="$1"; shift
    run "$first" & a=$!
    run "$second" & b=$!
    wait $a || failed=1
    wait $b || failed=1
  else
    run "$first" || failed=1
  fi
done
[ "$failed" -eq 0 ] || { echo "fuzzing found failures; each finding is in build/fuzz/findings" >&2; exit 1; }
