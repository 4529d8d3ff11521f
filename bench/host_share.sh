#!/bin/sh
# The engine's own share of a run, counted in instructions by callgrind (no
# clock reads to perturb it): the run, less the block methods (everything
# the S-function libraries execute, and the built-in blocks' methods) and
# the stepping loop with its Runge-Kutta arithmetic. What is left is the
# host's dispatch, port copies and logging.
#   host_share.sh BLOCKSIM MODEL STOP
set -eu
blocksim=$1
model=$2
stop=$3
command -v valgrind >/dev/null || { echo "host_share.sh: valgrind is not installed (apt-get install valgrind): skipped"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$work/profile" \
  "$blocksim" run "$model" --stop "$stop" --no-plot --out "$work/run.csv" >/dev/null 2>&1
callgrind_annotate --inclusive=yes --threshold=100 "$work/profile" > "$work/inclusive"
callgrind_annotate --threshold=100 "$work/profile" > "$work/exclusive"
count() { grep -E "$2" "$1" | awk '{ gsub(",", "", $1); total += $1 } END { printf "%.0f", total }'; }
run=$(count "$work/inclusive" 'Simulation::run_fixed_step')
sfunctions=$(count "$work/inclusive" ':mexFunction \[')
builtins=$(count "$work/inclusive" 'host::\(anonymous namespace\)::[A-Za-z]+::(outputs|derivatives|update)\(')
stepping=$(count "$work/exclusive" 'Simulation::run_fixed_step')
awk -v run="$run" -v s="$sfunctions" -v b="$builtins" -v k="$stepping" 'BEGIN {
  host = run - s - b - k
  printf "instructions of the run:            %12.0f\n", run
  printf "  S-function block methods:         %12.0f (%4.1f %%)\n", s, 100 * s / run
  printf "  built-in block methods:           %12.0f (%4.1f %%)\n", b, 100 * b / run
  printf "  stepping and Runge-Kutta:         %12.0f (%4.1f %%)\n", k, 100 * k / run
  printf "  the host itself:                  %12.0f (%4.1f %%)\n", host, 100 * host / run
  printf "a step costs %.2f times its block methods and integration arithmetic\n", run / (s + b + k)
}'
