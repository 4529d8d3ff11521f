#!/bin/sh
# Runs a Windows program under Wine as the tests do: headless (no display),
# without Wine's debug output, in a Wine prefix of its own, build/wine-prefix-64
# (or -32) of this project, made on first use.
#   wine-run.sh 64|32 PROGRAM.exe [ARGUMENTS...]
# 64-bit programs run under Debian's wine64. 32-bit ones need a 32-bit Wine
# loader: $BLOCKS_WINE32, or the one scripts/fetch-windows-extras.sh unpacked
# into build/windows-extras; its DLLs go to the prefix's syswow64. Without
# one, or on a machine that runs no 32-bit programs (scripts/probe-ia32.sh),
# the program is reported as skipped (exit 77); any other failure of the
# probe fails. Under qemu-i386 that Wine takes over a minute to start and
# then fails to map its shared user data, so it is not run there. 32-bit
# programs run one at a time (the windows32 test preset has one job): two at
# once under that Wine hang until the test's time-out.
set -eu
bits=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/../build"
build=$(cd "$here/../build" && pwd)
export WINEPREFIX="$build/wine-prefix-$bits"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
case $bits in
  64) wine=/usr/lib/wine/wine64 ;;
  32) wine=${BLOCKS_WINE32:-$build/windows-extras/wine32/usr/lib/wine/wine} ;;
  *) echo "wine-run.sh: 64 or 32, not '$bits'" >&2; exit 2 ;;
esac
if [ "$bits" = 32 ]; then
  found=$("$here/probe-ia32.sh") && status=0 || status=$?
  case $status in
    0) ;;
    3) echo "wine-run.sh: $found: skipped"; exit 77 ;;
    *) echo "$found" >&2; exit 1 ;;
  esac
fi
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "wine-run.sh: no $bits-bit Wine here (scripts/install-deps.sh windows): skipped"
  exit 77
fi
if [ ! -d "$WINEPREFIX" ]; then
  # One prefix for every test of the build; the first test to need it makes
  # it: wine64's, and for 32 bits with the 32-bit DLLs in its syswow64.
  mkdir "$WINEPREFIX.lock" 2>/dev/null && {
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
    if [ "$bits" = 32 ]; then
      dlls=$(dirname "$wine")/../i386-linux-gnu/wine/i386-windows
      mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
      cp "$dlls"/*.dll "$dlls"/*.exe "$WINEPREFIX/drive_c/windows/syswow64/"
    fi
    touch "$WINEPREFIX/.made"
  }
  for _ in $(seq 1 120); do [ -f "$WINEPREFIX/.made" ] && break; sleep 1; done
fi
# A wineserver that stays 60 s after its last program: one that ends 3 s
# after it, as by default, can end while the next test connects ("wine
# client error: recvmsg: Connection reset by peer"). It ends on its own.
/usr/lib/wine/wineserver -p60 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
