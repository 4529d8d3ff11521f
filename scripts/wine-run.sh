#!/bin/sh
# Runs a Windows program under Wine as the tests do: headless (no display),
# without Wine's debug output, in a Wine prefix of its own, build/wine-prefix-64
# (or -32) of this project, made on first use.
#   wine-run.sh 64|32 PROGRAM.exe [ARGUMENTS...]
# 64-bit programs run under Debian's wine64. 32-bit ones need a 32-bit Wine
# loader, named by $BLOCKS_WINE32, whose prefix's syswow64 gets its DLLs;
# without one the program is reported as skipped (exit 77).
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
  32) wine=${BLOCKS_WINE32:-} ;;
  *) echo "wine-run.sh: 64 or 32, not '$bits'" >&2; exit 2 ;;
esac
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "wine-run.sh: no $bits-bit Wine here (apt-get install wine64; for 32 bits set BLOCKS_WINE32 to a 32-bit Wine loader): skipped"
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
