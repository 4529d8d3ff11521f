#!/bin/sh
# Whether this machine runs 32-bit x86 programs: make test32's programs and
# the 32-bit Wine of the Windows tests both ask it. Runs the 32-bit dynamic
# loader and prints one line saying what it found; exits
#   0  32-bit programs run here
#   3  they cannot: the kernel refuses them ("Exec format error": IA-32
#      emulation is off in it) or there is no 32-bit loader
#   1  the loader failed in another way; the line says how. That is a
#      fault of the machine to mend, never a reason to skip a test.
# BLOCKS_IA32_LOADER names another loader (the tests' stand-ins).
set -u
loader=${BLOCKS_IA32_LOADER:-/lib32/ld-linux.so.2}
if [ ! -e "$loader" ]; then
  echo "this machine runs no 32-bit programs: there is no 32-bit loader ($loader; Debian's libc6-i386 brings it)"
  exit 3
fi
reason=$(LC_ALL=C "$loader" --version 2>&1 >/dev/null)
status=$?
reason=$(printf '%s\n' "$reason" | head -n 1)
if [ "$status" -eq 0 ]; then
  echo "this machine runs 32-bit programs"
  exit 0
fi
case "$reason" in
  *"Exec format error"*)
    echo "this machine runs no 32-bit programs: IA-32 emulation is off in its kernel ($loader: Exec format error)"
    exit 3 ;;
esac
echo "probe-ia32.sh: $loader --version failed (status $status): ${reason:-no message}"
exit 1
