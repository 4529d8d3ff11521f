#!/bin/sh
# Installs the Debian packages that a set of tasks needs, when any is missing.
#   install-deps.sh build    compiler, CMake, GoogleTest, Google Benchmark, yaml-cpp
#   install-deps.sh demo     gnuplot, for the demo's plot
#   install-deps.sh octave   GNU Octave with its MEX build tools
#   install-deps.sh fuzz     clang with libFuzzer and the sanitizer runtimes
set -eu

packages=""
for task in "$@"; do
  case "$task" in
    build)  packages="$packages g++ make cmake binutils libgtest-dev libgmock-dev libbenchmark-dev libyaml-cpp-dev" ;;
    demo)   packages="$packages gnuplot-nox" ;;
    octave) packages="$packages octave octave-dev" ;;
    fuzz)   packages="$packages clang libclang-rt-14-dev" ;;
    *) echo "install-deps.sh: unknown task '$task'" >&2; exit 2 ;;
  esac
done

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages:$missing" >&2
  echo "Install them with: sudo apt-get install$missing" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
