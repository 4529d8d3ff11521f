#!/bin/sh
# A 200-case sweep of the engine demo on 1 and on 2 workers: cases per
# second, and what a case costs beyond a plain run of the same model.
#   sweep_bench.sh BLOCKSIM [CASES]
set -eu
blocksim=$1
cases=${2:-200}
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/sweep.yaml" <<SWEEP
model: $examples/engine.yaml
vary:
  - {block: fan, parameter: 1, range: [0.6, 0.8], count: $cases}
metrics:
  power_max: {signal: fan.2, of: max}
  command_final: {signal: command.0, of: final}
SWEEP

now() { date +%s.%N; }
# Arithmetic on decimals: awk, which every Debian has.
calc() { awk "BEGIN { print $1 }"; }
seconds() { calc "$2 - $1"; }

# A plain run, timed the same way (its CSV and no plot), five times: the least.
plain=
for i in 1 2 3 4 5; do
  start=$(now)
  "$blocksim" run "$examples/engine.yaml" --no-plot --out "$work/plain.csv" >/dev/null
  took=$(seconds "$start" "$(now)")
  if [ -z "$plain" ] || [ "$(calc "$took < $plain")" -eq 1 ]; then plain=$took; fi
done
printf 'plain run of the engine demo: %.4f s\n' "$plain"

for jobs in 1 2; do
  start=$(now)
  "$blocksim" sweep "$work/sweep.yaml" --jobs "$jobs" --no-plot --out "$work/out$jobs" >/dev/null
  took=$(seconds "$start" "$(now)")
  per_case=$(calc "$took / $cases")
  printf 'sweep of %d cases on %d worker(s): %.2f s, %.1f cases/s, %.4f s per case' "$cases" "$jobs" "$took" \
    "$(calc "$cases / $took")" "$per_case"
  if [ "$jobs" -eq 1 ]; then
    printf ' (%+.4f s, %+.1f %% beyond a plain run)' "$(calc "$per_case - $plain")" \
      "$(calc "100 * ($per_case - $plain) / $plain")"
  fi
  printf '\n'
done
cmp "$work/out1/summary.csv" "$work/out2/summary.csv" >/dev/null || { echo "1 and 2 workers disagree" >&2; exit 1; }
