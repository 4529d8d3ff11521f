#!/bin/sh
# A throwaway single-node Slurm cluster on loopback, for the sweep's job-array
# integration test.
#   cluster.sh start DIR   start munged, slurmctld and slurmd; exit 0 once the node is idle
#   cluster.sh stop DIR    stop them again; safe to repeat
# After start, DIR/env holds the shell lines to source before sbatch, squeue or
# scontrol, DIR/*.pid the daemons' pids and DIR/rundir the folder Slurm runs in.
# Exit 77 (skipped) when Slurm or munge is missing or this is not root.
# BLOCKSIM_SLURM_MIN_JOB_AGE (seconds, default 5) sets how long finished jobs
# stay listed, for a test that reads their states long after they ended.
set -eu

usage() { echo "usage: cluster.sh start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$2
case "$action" in start|stop) ;; *) usage ;; esac
case "$dir" in /*) ;; *) dir=$(pwd)/$dir ;; esac

# Every daemon we start carries this variable, so that a pid read back from a
# pid file is checked against reuse by an unrelated process.
marker_name=BLOCKSIM_SLURM_CLUSTER

log() { echo "cluster.sh: $*" >&2; }

# Quotes a value for a POSIX shell, so that DIR/env survives any path.
shell_quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }

# A zombie counts as gone: here pid 1 is no init and may be slow to reap.
is_alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }

is_ours() { [ -n "$1" ] && grep -qzxF "$marker_name=$2" "/proc/$1/environ" 2>/dev/null; }

# The processes of the cluster in folder $2 with marker $1: the daemons by
# their marker, a slurmstepd (which rewrites its environment for its process
# title) by its open slurmd log in $2, and whatever these have started.
cluster_pids() {
  seeds=$({
    grep -lzxF "$marker_name=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3
    find /proc/[0-9]*/fd -maxdepth 1 -lname "$2/*" 2>/dev/null | cut -d/ -f3
  } | sort -u | tr '\n' ' ')
  [ -n "${seeds% }" ] || return 0
  ps -e -o pid= -o ppid= | awk -v seeds="$seeds" -v self="$$" '
    { parent[$1] = $2; pid[NR] = $1 }
    END {
      n = split(seeds, s, " ")
      for (i = 1; i <= n; i++) ours[s[i]] = 1
      for (round = 0; round < NR; round++) {
        grown = 0
        for (i = 1; i <= NR; i++)
          if (!(pid[i] in ours) && (parent[pid[i]] in ours)) { ours[pid[i]] = 1; grown = 1 }
        if (!grown) break
      }
      for (p in ours) if (p != self && (p in parent)) print p
    }'
}

read_pid() { if [ -f "$1" ]; then tr -cd '0-9' <"$1"; fi; }

# Waits up to $1 tenths of a second for every pid in $2 to exit.
wait_gone() {
  tenths=$1; pids=$2
  i=0
  while [ "$i" -lt "$tenths" ]; do
    alive=""
    for p in $pids; do is_alive "$p" && alive="$alive $p"; done
    [ -z "$alive" ] && return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# A TCP port nobody holds in any state, two of them in a row; below Linux's
# ephemeral range so an outgoing connection cannot take it meanwhile.
port_in_use() {
  hex=$(printf '%04X' "$1")
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk -v h=":$hex" '{ if (substr($2, length($2) - 4) == h) f = 1 } END { exit !f }'
}
pick_ports() {
  start=$((20000 + ($$ % 6000) * 2))
  i=0
  while [ "$i" -lt 100 ]; do
    p=$((start + i * 2))
    [ "$p" -ge 32000 ] && p=$((p - 12000))
    if ! port_in_use "$p" && ! port_in_use $((p + 1)); then echo "$p"; return 0; fi
    i=$((i + 1))
  done
  return 1
}

stop_cluster() {
  rundir=""
  [ -f "$dir/rundir" ] && rundir=$(cat "$dir/rundir")
  # Only a folder of the shape start makes is ever touched.
  case "$rundir" in /tmp/blocksim-slurm.*) [ -f "$rundir/marker" ] || rundir="" ;; *) rundir="" ;; esac

  ctld=$(read_pid "$dir/slurmctld.pid"); slurmd=$(read_pid "$dir/slurmd.pid"); munged=$(read_pid "$dir/munged.pid")
  if [ -n "$rundir" ]; then
    marker=$(cat "$rundir/marker")
    # The daemons write their own pid files before DIR gets its copies.
    [ -n "$ctld" ] || ctld=$(read_pid "$rundir/slurmctld.pid")
    [ -n "$slurmd" ] || slurmd=$(read_pid "$rundir/slurmd.pid")
    [ -n "$munged" ] || munged=$(read_pid "$rundir/munge/munged.pid")
    for v in ctld slurmd munged; do
      eval "p=\$$v"
      [ -n "$p" ] && ! is_ours "$p" "$marker" && eval "$v=''"
    done

    if is_alive "$ctld" && [ -f "$rundir/slurm.conf" ]; then
      # Cancelled first, so that no job's slurmstepd outlives slurmd.
      jobs=$(SLURM_CONF="$rundir/slurm.conf" timeout 10 squeue -h -o %A 2>/dev/null || true)
      if [ -n "$jobs" ]; then
        # shellcheck disable=SC2086
        SLURM_CONF="$rundir/slurm.conf" timeout 10 scancel $jobs 2>/dev/null || true
        i=0
        while [ "$i" -lt 50 ] && [ -n "$(SLURM_CONF="$rundir/slurm.conf" timeout 5 squeue -h -o %A 2>/dev/null || true)" ]; do
          sleep 0.2; i=$((i + 1))
        done
      fi
      SLURM_CONF="$rundir/slurm.conf" timeout 10 scontrol shutdown >/dev/null 2>&1 || true
      wait_gone 100 "$ctld $slurmd" || true
    fi

    # What a shutdown left behind, a job's slurmstepd and its tasks included;
    # munged last, as slurmctld and slurmd authenticate their goodbyes with it.
    rest() { cluster_pids "$marker" "$rundir" | grep -vx "${munged:-none}" || true; }
    pids=$(rest)
    if [ -n "$pids" ]; then
      # shellcheck disable=SC2086
      kill -TERM $pids 2>/dev/null || true
      if ! wait_gone 100 "$pids"; then
        # Looked up again: a pid that exited since may have been handed out anew.
        # shellcheck disable=SC2046
        kill -KILL $(rest) 2>/dev/null || true
        wait_gone 30 "$pids" || true
      fi
    fi
    if is_alive "$munged"; then
      kill -TERM "$munged" 2>/dev/null || true
      if ! wait_gone 100 "$munged"; then
        is_ours "$munged" "$marker" && kill -KILL "$munged" 2>/dev/null
        wait_gone 30 "$munged" || true
      fi
    fi

    # The logs stay in DIR for a failed test's post-mortem; the rest goes.
    mkdir -p "$dir/logs"
    for f in "$rundir"/log/* "$rundir"/munge/munged.log; do
      if [ -f "$f" ]; then cp "$f" "$dir/logs/" 2>/dev/null || true; fi
    done
    left=$(cluster_pids "$marker" "$rundir" | tr '\n' ' ')
    if [ -n "${left% }" ]; then
      log "processes still running: $left (folder $rundir kept)"
      return 1
    fi
    rm -rf "$rundir"
  fi
  rm -f "$dir/env" "$dir/rundir" "$dir/slurmctld.pid" "$dir/slurmd.pid" "$dir/munged.pid"
  return 0
}

fail() {
  log "$*"
  # The .out files hold what a daemon said before its log opened, a
  # slurm.conf it rejected for one.
  for f in "$rundir/munge/munged.log" "$rundir"/log/slurmctld.* "$rundir"/log/slurmd.*; do
    [ -s "$f" ] || continue
    echo "---- last lines of $f" >&2
    tail -n 25 "$f" >&2
  done
  stop_cluster || true
  exit 1
}

# Waits up to $2 tenths of a second for the pid file $1; prints the pid.
await_pid() {
  i=0
  while [ "$i" -lt "$2" ]; do
    p=$(read_pid "$1")
    is_alive "$p" && { echo "$p"; return 0; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

start_cluster() {
  if [ "$(id -u)" -ne 0 ]; then
    log "skipped: must run as root (munged runs as the munge user, the daemons as root)"
    exit 77
  fi
  for cmd in munged mungekey munge unmunge slurmctld slurmd sinfo squeue sbatch scontrol scancel runuser timeout; do
    command -v "$cmd" >/dev/null 2>&1 || { log "skipped: '$cmd' is not installed (scripts/install-deps.sh slurm)"; exit 77; }
  done
  getent passwd munge >/dev/null || { log "skipped: no 'munge' user (scripts/install-deps.sh slurm)"; exit 77; }

  mkdir -p "$dir"
  for f in slurmctld.pid slurmd.pid munged.pid; do
    if is_alive "$(read_pid "$dir/$f")"; then log "a cluster is already running from $dir; stop it first"; exit 1; fi
  done
  stop_cluster

  # slurm.conf takes paths without quoting and a munge socket path must fit
  # in 108 bytes, so Slurm and munge run in a short folder of their own;
  # munged also refuses files below folders it cannot vouch for.
  rundir=$(mktemp -d /tmp/blocksim-slurm.XXXXXX)
  chmod 755 "$rundir"
  marker=$(basename "$rundir")
  echo "$marker" >"$rundir/marker"
  echo "$rundir" >"$dir/rundir"
  mkdir -p "$rundir/state" "$rundir/spool" "$rundir/log" "$rundir/munge"
  chmod 700 "$rundir/state" "$rundir/spool"
  # Clients on the node reach munged through this folder: 755, not 700.
  chown munge:munge "$rundir/munge"
  chmod 755 "$rundir/munge"
  munge_socket=$rundir/munge/munge.socket
  runuser -u munge -- mungekey --create --keyfile="$rundir/munge/munge.key" ||
    fail "mungekey could not create a key"
  chmod 400 "$rundir/munge/munge.key"

  env "$marker_name=$marker" runuser -u munge -- munged \
    --socket="$munge_socket" --key-file="$rundir/munge/munge.key" \
    --pid-file="$rundir/munge/munged.pid" --log-file="$rundir/munge/munged.log" \
    --seed-file="$rundir/munge/munged.seed" </dev/null >/dev/null 2>&1 ||
    fail "munged did not start"
  munged_pid=$(await_pid "$rundir/munge/munged.pid" 100) || fail "munged wrote no pid file"
  echo "$munged_pid" >"$dir/munged.pid"
  munge -n -S "$munge_socket" 2>/dev/null | unmunge -S "$munge_socket" >/dev/null 2>&1 ||
    fail "munged does not answer on $munge_socket"

  ports=$(pick_ports) || fail "found no two free TCP ports"
  node=$(hostname -s)
  cpus=$(nproc)
  min_job_age=${BLOCKSIM_SLURM_MIN_JOB_AGE:-5}
  cat >"$rundir/plugstack.conf" </dev/null
  cat >"$rundir/slurm.conf" <<EOF
# Written by tests/slurm/cluster.sh for one test run; removed by its stop.
ClusterName=blocksim
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ports
SlurmdPort=$((ports + 1))
# Both daemons bind their addresses above, 127.0.0.1, instead of every interface.
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$munge_socket
CredType=cred/munge
MpiDefault=none
# No mail: the default sendmail is not there and slurmctld complains at start.
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
PlugStackConfig=$rundir/plugstack.conf
StateSaveLocation=$rundir/state
SlurmdSpoolDir=$rundir/spool
SlurmctldPidFile=$rundir/slurmctld.pid
SlurmdPidFile=$rundir/slurmd.pid
SlurmctldLogFile=$rundir/log/slurmctld.log
SlurmdLogFile=$rundir/log/slurmd.log
# One task per CPU and no memory bookkeeping: the node has RealMemory=1 and
# memory as a resource would run one job at a time.
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
# No batching delay and a scheduling pass every second: a job end does not
# start the next pending task by itself, the next pass does, so array tasks
# and a dependent job start within about a second of CPUs freeing.
SchedulerType=sched/builtin
SchedulerParameters=batch_sched_delay=0,sched_interval=1
# sbatch --wait polls after 2 s and then 4 times as long each round, up to
# 32 s, unless MinJobAge/2 is below that; 5 keeps it polling every 2 s.
# Finished jobs, exit codes included, stay visible to squeue -t all and
# scontrol for at least that long (about 13 s measured) before the purge.
MinJobAge=$min_job_age
KillWait=2
InactiveLimit=0
SlurmctldTimeout=5
SlurmdTimeout=30
MessageTimeout=5
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE OverSubscribe=YES State=UP
EOF

  env "$marker_name=$marker" slurmctld -f "$rundir/slurm.conf" </dev/null >>"$rundir/log/slurmctld.out" 2>&1 ||
    fail "slurmctld did not start"
  ctld_pid=$(await_pid "$rundir/slurmctld.pid" 100) || fail "slurmctld wrote no pid file"
  echo "$ctld_pid" >"$dir/slurmctld.pid"
  env "$marker_name=$marker" slurmd -f "$rundir/slurm.conf" -N "$node" </dev/null >>"$rundir/log/slurmd.out" 2>&1 ||
    fail "slurmd did not start"
  slurmd_pid=$(await_pid "$rundir/slurmd.pid" 100) || fail "slurmd wrote no pid file"
  echo "$slurmd_pid" >"$dir/slurmd.pid"

  i=0
  state=""
  while [ "$i" -lt 60 ]; do
    state=$(SLURM_CONF="$rundir/slurm.conf" timeout 5 sinfo -h -o %T 2>/dev/null || true)
    [ "$state" = idle ] && break
    is_alive "$ctld_pid" || fail "slurmctld exited"
    is_alive "$slurmd_pid" || fail "slurmd exited"
    sleep 0.5
    i=$((i + 1))
  done
  [ "$state" = idle ] || fail "node '$node' is '$state', not idle, after 30 s"

  {
    cat <<'EOF'
# Written by tests/slurm/cluster.sh start; source it before any Slurm command.
# Job and client variables from an enclosing Slurm job or the caller's shell
# would steer the commands to another cluster's partitions, accounts or format.
for _v in $(env | sed -n -E 's/^((SLURM|SBATCH|SALLOC|SRUN|SQUEUE|SINFO|SCONTROL|SCANCEL)_[A-Za-z0-9_]*)=.*/\1/p'); do unset "$_v"; done; unset _v
EOF
    printf 'export SLURM_CONF=%s\n' "$(shell_quote "$rundir/slurm.conf")"
  } >"$dir/env.tmp"
  mv "$dir/env.tmp" "$dir/env"
  log "node '$node' idle with $cpus CPUs; slurmctld on 127.0.0.1:$ports, slurmd on :$((ports + 1))"
}

case "$action" in
  start) start_cluster ;;
  stop) stop_cluster ;;
esac
