#!/bin/sh
# Runs a Windows program under Wine as the tests do: headless (no display),
# without Wine's debug output, in a Wine prefix of its own, build/wine-prefix-64
# (or -32) of this project, made on first use.
#   wine-run.sh 64|32 PROGRAM.exe [ARGUMENTS...]
# 64-bit programs run under Debian's wine64. 32-bit ones need a 32-bit Wine:
# $BLOCKS_WINE32 names its loader (scripts/install-deps.sh windows32
# unpacks one); without it the program is reported as skipped (exit 77).
set -eu
bits=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/../build"
export WINEPREFIX="$(cd "$here/../build" && pwd)/wine-prefix-$bits"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
case $bits in
  64) wine=/usr/lib/wine/wine64 ;;
  32) wine=${BLOCKS_WINE32:-} ;;
  *) echo "wine-run.sh: 64 or 32, not '$bits'" >&2; exit 2 ;;
esac
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "wine-run.sh: no $bits-bit Wine here (apt-get install wine64; for 32 bits scripts/install-deps.sh windows32): skipped"
  exit 77
fi
if [ ! -d "$WINEPREFIX" ]; then
  # One prefix for every test of the build; the first test to need it makes it.
  mkdir "$WINEPREFIX.lock" 2>/dev/null && {
    "$wine" wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
  }
  for _ in $(seq 1 120); do [ -f "$WINEPREFIX/system.reg" ] && break; sleep 1; done
fi
exec "$wine" "$@"
