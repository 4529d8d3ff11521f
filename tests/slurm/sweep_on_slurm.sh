#!/bin/sh
# A small sweep as a 4-task Slurm job array on a real single-node cluster,
# started here on loopback and stopped by pid: blocksim submits it, waits and
# merges, and the merged summary must equal a local run's byte for byte.
#   sweep_on_slurm.sh BLOCKSIM WORK_DIR
# Exit 77 (skipped) where Slurm is not installed or this is not root.
set -u
blocksim=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "sweep_on_slurm.sh: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cluster="$work/cluster"
"$here/cluster.sh" start "$cluster"
started=$?
[ "$started" -eq 77 ] && exit 77
[ "$started" -eq 0 ] || fail "the cluster did not start"
trap '"$here/cluster.sh" stop "$cluster"' EXIT
. "$cluster/env"

cat > "$work/lag.yaml" <<'MODEL'
solver: {method: ode4, step: 0.01, stop: 3}
blocks:
  input: {type: Sine, amplitude: 2, frequency: 3}
  lag:   {type: Lag, time_constant: 0.5}
connections:
  - input.0 -> lag.0
log:
  signals: [lag.0]
MODEL
cat > "$work/sweep.yaml" <<'SWEEP'
model: lag.yaml
vary:
  - {block: lag, key: time_constant, range: [0.1, 2], count: 5}
  - {block: input, key: frequency, values: [1, 3]}
metrics:
  last: {signal: lag.0, of: final}
  peak: {signal: lag.0, of: max}
  mean: {signal: lag.0, of: mean}
slurm: {time: "00:05:00", partition: test, options: [--nodes=1]}
SWEEP

# Bounded: the whole array takes seconds on an idle node.
timeout 300 "$blocksim" sweep "$work/sweep.yaml" --slurm --tasks 4 --submit --no-plot --out "$work/on slurm" ||
  fail "the sweep on Slurm failed"
grep -qx '#SBATCH --array=0-3' "$work/on slurm/sweep.sbatch" || fail "sweep.sbatch is no array of 4 tasks"
for line in '#SBATCH --time=00:05:00' '#SBATCH --partition=test' '#SBATCH --nodes=1'; do
  grep -qx -- "$line" "$work/on slurm/sweep.sbatch" || fail "sweep.sbatch has no line $line from the slurm section"
  grep -qx -- "$line" "$work/on slurm/merge.sbatch" || fail "merge.sbatch has no line $line from the slurm section"
done
for task in 0 1 2 3; do
  [ -s "$work/on slurm/summary.$task-of-4.csv" ] || fail "task $task wrote no shard"
done
"$blocksim" sweep "$work/sweep.yaml" --jobs 2 --no-plot --out "$work/local" >/dev/null || fail "the local sweep failed"
[ "$(wc -l < "$work/local/summary.csv")" -eq 11 ] || fail "the local summary does not hold 10 cases"
cmp "$work/local/summary.csv" "$work/on slurm/summary.csv" || fail "the merged summary differs from the local one"
echo "sweep_on_slurm.sh: the 4-task array's merged summary equals the local run's"
