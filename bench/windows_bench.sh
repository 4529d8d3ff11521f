#!/bin/sh
# The engine demo's run time through the host built for Linux, beside the
# same host built for Windows and run under 64-bit and 32-bit Wine: one
# program (run_against_linux) in every build, the fastest of 5 runs each,
# its values checked against the Linux blocksim's run.
#   windows_bench.sh SOURCE_DIR
set -eu
root=$1
model="$root/examples/engine.yaml"
blocksim="$root/build/default/tools/blocksim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$blocksim" run "$model" --no-plot --out "$work/linux.csv" >/dev/null
# Output into files: Wine's own processes outlive the program and would hold a pipe open.
time_of() {
  label=$1
  program=$2
  shift 2
  if [ ! -f "$program" ]; then
    printf "%-34s skipped (make test-windows builds it)\n" "$label"
    return
  fi
  "$@" "$program" "$model" "$work/linux.csv" --repeat 5 > "$work/out" 2>&1 || { cat "$work/out"; exit 1; }
  if grep -q "skipped" "$work/out"; then
    printf "%-34s %s\n" "$label" "$(grep -m 1 skipped "$work/out")"
    return
  fi
  printf "%-34s %s\n" "$label" "$(sed -n 's/^run time \([0-9.]*\) s.*/\1 s/p' "$work/out")"
}
echo "engine demo (examples/engine.yaml, 60 000 ode4 steps), the fastest of 5 runs:"
time_of "Linux, native" "$root/build/default/tests/run_against_linux"
time_of "Windows 64-bit, under wine64" "$root/build/windows64/bin/run_against_linux.exe" sh "$root/scripts/wine-run.sh" 64
time_of "Windows 32-bit, under 32-bit Wine" "$root/build/windows32/bin/run_against_linux.exe" sh "$root/scripts/wine-run.sh" 32
