#!/bin/sh
# The 32-bit probe and wine-run.sh's use of it, with stand-in loaders, so
# that both paths run on any machine: a loader the kernel refuses with
# "Exec format error" (a cut-short ELF file), one that is missing, one that
# runs, and ones that fail otherwise, which must fail and never skip.
#   ia32_probe.sh WORK_FOLDER
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Runs COMMAND...; checks its status and that its output holds TEXT.
expect() {
  want_status=$1 text=$2
  shift 2
  out=$("$@" 2>&1)
  status=$?
  [ "$status" -eq "$want_status" ] || fail "$*: status $status, not $want_status: $out"
  case "$out" in
    *"$text"*) ;;
    *) fail "$*: printed '$out', which lacks '$text'" ;;
  esac
  case "$out" in
    *skipped*) [ "$want_status" -eq 77 ] || fail "$*: a failure reported as skipped: $out" ;;
  esac
}

refused="$work/refused-loader"
printf '\177ELF\001\001\001\000' > "$refused"
chmod +x "$refused"
runs="$work/running-loader"
printf '#!/bin/sh\necho "ld.so (a stand-in)"\n' > "$runs"
chmod +x "$runs"
broken="$work/broken-loader"
printf '#!/bin/sh\necho "cannot open shared object" >&2\nexit 5\n' > "$broken"
chmod +x "$broken"
unreadable="$work/not-executable-loader"
printf '#!/bin/sh\n' > "$unreadable"
chmod -x "$unreadable"
probe="$here/scripts/probe-ia32.sh"

BLOCKS_IA32_LOADER=$refused expect 3 \
  "this machine runs no 32-bit programs: IA-32 emulation is off in its kernel ($refused: Exec format error)" sh "$probe"
BLOCKS_IA32_LOADER=$work/none expect 3 "this machine runs no 32-bit programs: there is no 32-bit loader" sh "$probe"
BLOCKS_IA32_LOADER=$runs expect 0 "this machine runs 32-bit programs" sh "$probe"
BLOCKS_IA32_LOADER=$broken expect 1 "failed (status 5): cannot open shared object" sh "$probe"
BLOCKS_IA32_LOADER=$unreadable expect 1 "Permission denied" sh "$probe"

# wine-run.sh: skipped with the probe's reason where no 32-bit program runs;
# past the probe to the Wine where they run (here a missing Wine, skipped
# for that reason); failed where the probe failed.
wine_run="$here/scripts/wine-run.sh"
BLOCKS_IA32_LOADER=$refused expect 77 \
  "wine-run.sh: this machine runs no 32-bit programs: IA-32 emulation is off in its kernel ($refused: Exec format error): skipped" \
  sh "$wine_run" 32 program.exe
BLOCKS_IA32_LOADER=$runs BLOCKS_WINE32=$work/no-wine expect 77 "wine-run.sh: no 32-bit Wine here" \
  sh "$wine_run" 32 program.exe
BLOCKS_IA32_LOADER=$broken BLOCKS_WINE32=$work/no-wine expect 1 "failed (status 5)" sh "$wine_run" 32 program.exe

echo "this machine: $(sh "$probe")"
[ "$failures" -eq 0 ] || exit 1
echo "the probe and wine-run.sh took each path as expected"
