#!/bin/sh
# Installs the Debian packages that a set of tasks needs, when any is missing.
# Tasks after --optional are installed when run as root and otherwise only
# reported (their tests are then skipped).
#   install-deps.sh build    compiler, CMake, GoogleTest, Google Benchmark, yaml-cpp, SUNDIALS, CLI11, libzip, pugixml and xmllint (the FMU tests)
#   install-deps.sh demo     gnuplot, for the demo's plot
#   install-deps.sh octave   GNU Octave with its MEX build tools
#   install-deps.sh clang    clang, a second compiler for the test that builds the FMUs from their sources
#   install-deps.sh fuzz     clang with libFuzzer and the sanitizer runtimes
#   install-deps.sh m32      32-bit x86 compilers and qemu-i386 to run their programs
#   install-deps.sh scilab   Scilab's command line with Xcos's simulator and the scicos headers, for the Xcos toolbox;
#                            scilab-adv-cli and a virtual display, to write and read .zcos files
#   install-deps.sh slurm    Slurm's daemons and clients with munge, for the sweep's job-array test
#   install-deps.sh windows  mingw-w64 cross compilers (-posix), file, zip, and Wine to run 64-bit Windows programs;
#                            then a 32-bit Wine and the sources blocksim.exe needs, fetched into build/windows-extras
set -eu

packages=""
extras=""
optional=""
report_only=""
for task in "$@"; do
  case "$task" in
    --optional) optional=yes; continue ;;
  esac
  [ -n "$optional" ] && [ "$(id -u)" -ne 0 ] && { report_only="$report_only $task"; continue; }
  case "$task" in
    build)  packages="$packages g++ make cmake binutils pkg-config libgtest-dev libgmock-dev libbenchmark-dev libyaml-cpp-dev libsundials-dev libcli11-dev libzip-dev libpugixml-dev libxml2-utils man-db" ;;
    demo)   packages="$packages gnuplot-nox" ;;
    octave) packages="$packages octave octave-dev" ;;
    clang)  packages="$packages clang" ;;
    fuzz)   packages="$packages clang libclang-rt-14-dev" ;;
    m32)    packages="$packages g++-multilib qemu-user" ;;
    scilab) packages="$packages scilab-cli scilab-full-bin scilab-include scilab xvfb xauth" ;;
    slurm)  packages="$packages slurmctld slurmd slurm-client munge" ;;
    windows) packages="$packages g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 file zip wine wine64"
             extras=yes ;;
    *) echo "install-deps.sh: unknown task '$task'" >&2; exit 2 ;;
  esac
done

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

for task in $report_only; do
  "$0" "$task" >/dev/null 2>&1 || echo "install-deps.sh: '$task' is not installed and this is not root: its tests are skipped" >&2
done

missing=""
for package in $packages; do
  is_installed "$package" || missing="$missing $package"
done
fetch_extras() {
  [ -z "$extras" ] && return 0
  here=$(cd "$(dirname "$0")" && pwd)
  [ -f "$here/../build/windows-extras/.fetched" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "The 32-bit Wine and the Windows libraries' sources are not fetched: run scripts/fetch-windows-extras.sh build/windows-extras" >&2
    return 1
  fi
  echo "Fetching a 32-bit Wine and the sources of yaml-cpp, SUNDIALS and CLI11 into build/windows-extras"
  "$here/fetch-windows-extras.sh" "$here/../build/windows-extras"
}
[ -z "$missing" ] && { fetch_extras; exit; }

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages:$missing" >&2
  echo "Install them with: sudo apt-get install$missing" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync fails one index and with it the whole update; the
# install below still says by name what it could not find.
apt-get update -qq || apt-get update -qq || echo "install-deps.sh: some of Debian's package lists could not be fetched; going on with those that were" >&2
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
fetch_extras
