#!/bin/sh
# Runs one Xcos test script under scilab-cli and judges it by the verdict
# the script writes to $OUT/verdict at its end (xt_finish in
# xcos_test_lib.sce), not by Scilab's exit status: Scilab 6.1.1 may abort
# while it shuts down after xcos_simulate ("double free or corruption" in
# its own clean-up of macro libraries), with only Scilab's blocks in the
# diagram as well. Without its crash handler (SCI_DISABLE_EXCEPTION_CATCHING)
# it aborts at once instead of hanging in that handler.
#
# With "display", the script runs under scilab-adv-cli on a virtual display
# (xvfb-run), for what needs Scilab's Java side, such as reading a .zcos.
#
#   OUT=DIR run_test.sh SCRIPT.sce [display]
set -u
script=$1
verdict_file=$OUT/verdict
rm -f "$verdict_file"
if [ "${2:-}" = display ]; then
  SCI_DISABLE_EXCEPTION_CATCHING=1 timeout 300 xvfb-run -a scilab-adv-cli -nb -quit -f "$script" 2>&1
else
  SCI_DISABLE_EXCEPTION_CATCHING=1 timeout 300 scilab-cli -nb -quit -f "$script" 2>&1
fi
status=$?
if [ ! -s "$verdict_file" ]; then
  echo "FAIL  the script ended (status $status) before its verdict"
  exit 1
fi
verdict=$(cat "$verdict_file")
case $verdict in
  pass:*)
    [ "$status" -eq 0 ] || echo "note: every check passed; Scilab then ended with status $status while shutting down"
    exit 0 ;;
  *)
    exit 1 ;;
esac
