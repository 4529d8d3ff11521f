#!/bin/bash
# Run by hand, as root, to see cluster.sh work end to end: a job array, a job
# depending on it, a failing task, sbatch --wait against polling, and a clean
# stop, twice in a row. Not part of ctest.
#   self_check.sh [FOLDER]    (default: a fresh folder under /tmp, with a space)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
base=${1:-$(mktemp -d /tmp/slurm-check.XXXXXX)}
dir="$base/cluster dir"
work="$base/work dir"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
die() { echo "self_check: FAIL: $*" >&2; "$here/cluster.sh" stop "$dir" || true; exit 1; }

# Waits up to $2 seconds for every task of job $1 to reach a final state.
# squeue with -j and -t all lists finished tasks too until MinJobAge.
poll() {
  i=0
  while [ "$i" -lt $(($2 * 10)) ]; do
    states=$(squeue -h -j "$1" -t all -o %T 2>/dev/null || true)
    if [ -n "$states" ] && ! grep -qvE '^(COMPLETED|FAILED|CANCELLED|TIMEOUT|OUT_OF_MEMORY|NODE_FAIL|BOOT_FAIL|DEADLINE|PREEMPTED)$' <<<"$states"; then
      return 0
    fi
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# The "JobId=... ArrayTaskId=... JobState=... ExitCode=..." of each task, one a line.
task_report() {
  scontrol -o show job "$1" | sed -E 's/.*(JobId=[0-9]+) .*(ArrayTaskId=[^ ]+) .*(JobState=[^ ]+) .*(ExitCode=[^ ]+) .*/\1 \2 \3 \4/' | sort
}

round() {
  echo "== round $1"
  rm -rf "$work"; mkdir -p "$work"
  t=$(now)
  "$here/cluster.sh" start "$dir" || die "start failed"
  echo "start: $(elapsed "$t") s"
  # shellcheck disable=SC1091
  . "$dir/env"
  cd "$work"

  t=$(now)
  array=$(sbatch --parsable --array=0-3 --wrap 'sleep 1; echo $SLURM_ARRAY_TASK_ID > out.$SLURM_ARRAY_TASK_ID')
  poll "$array" 60 || die "array $array did not finish: $(squeue -h -j "$array" -t all -o '%i %T')"
  echo "array of 4 x 1 s by polling squeue: $(elapsed "$t") s"
  for k in 0 1 2 3; do
    [ "$(cat "out.$k" 2>/dev/null)" = "$k" ] || die "out.$k is '$(cat "out.$k" 2>/dev/null)'"
  done
  task_report "$array"

  dep=$(sbatch --parsable --dependency=afterok:"$array" --wrap 'ls out.* | wc -l > dep.out')
  t=$(now)
  poll "$dep" 60 || die "dependent job $dep did not finish"
  echo "dependent job: $(elapsed "$t") s"
  [ "$(cat dep.out)" = 4 ] || die "the dependent job saw $(cat dep.out) outputs"
  dep_start=$(scontrol -o show job "$dep" | sed -E 's/.* StartTime=([^ ]+) .*/\1/')
  last_end=$(scontrol -o show job "$array" | sed -E 's/.* EndTime=([^ ]+) .*/\1/' | sort | tail -n 1)
  [[ ! "$dep_start" < "$last_end" ]] || die "dependent job started $dep_start, before the array ended $last_end"
  echo "dependent job started $dep_start, array ended $last_end"

  t=$(now)
  rc=0
  sbatch --wait --array=0-3 --wrap 'sleep 1; echo $SLURM_ARRAY_TASK_ID > wait.$SLURM_ARRAY_TASK_ID' >/dev/null || rc=$?
  echo "array of 4 x 1 s by sbatch --wait: $(elapsed "$t") s (exit $rc)"
  [ "$rc" -eq 0 ] || die "sbatch --wait exited $rc"

  t=$(now)
  failing=$(sbatch --parsable --array=0-3 --wrap '[ $SLURM_ARRAY_TASK_ID -ne 2 ] || exit 3')
  poll "$failing" 60 || die "array $failing did not finish"
  echo "array with task 2 failing, by polling: $(elapsed "$t") s"
  task_report "$failing"
  task_report "$failing" | grep -q 'ArrayTaskId=2 JobState=FAILED ExitCode=3:0' || die "task 2 not reported failed with exit 3"
  t=$(now)
  rc=0
  sbatch --wait --array=0-3 --wrap '[ $SLURM_ARRAY_TASK_ID -ne 2 ] || exit 3' >/dev/null || rc=$?
  echo "the same by sbatch --wait: $(elapsed "$t") s (exit $rc)"

  cd /
  t=$(now)
  "$here/cluster.sh" stop "$dir" || die "stop failed"
  echo "stop: $(elapsed "$t") s"
  # Zombies are not counted: pid 1 here reaps them only now and then.
  left=$(ps -e -o pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /^(munged|slurmctld|slurmd|slurmstepd|slurmscriptd)$/' || true)
  [ -z "$left" ] || die "left running: $left"
  "$here/cluster.sh" stop "$dir" || die "a second stop failed"
}

round 1
round 2
echo "self_check: OK ($base)"
