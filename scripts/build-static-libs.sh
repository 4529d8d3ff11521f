#!/bin/sh
# Cross-builds the libraries blocksim needs, as static Windows libraries, with
# the project's mingw-w64 toolchain, from the Debian sources that
# fetch-windows-extras.sh unpacked: yaml-cpp, SUNDIALS (ARKODE and CVODE)
# and CLI11 (headers only). Installs them into build/windows-libs-64 (or -32),
# which the windows64 and windows32 presets search. Does nothing when they
# are there.
#   build-windows-libs.sh 64|32
set -eu
bits=$1
case $bits in
  64) arch=x86_64 ;;
  32) arch=i686 ;;
  *) echo "build-windows-libs.sh: 64 or 32, not '$bits'" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
sources="$root/build/windows-extras/sources"
prefix="$root/build/windows-libs-$bits"
work="$root/build/windows-libs-$bits.work"
[ -f "$prefix/.built" ] && exit 0
[ -d "$sources" ] || { echo "build-windows-libs.sh: no sources in $sources (scripts/install-deps.sh windows)" >&2; exit 1; }

one_source() {
  found=$(find "$sources" -maxdepth 1 -type d -name "$1" | head -n 1)
  [ -n "$found" ] || { echo "build-windows-libs.sh: no $1 in $sources" >&2; exit 1; }
  echo "$found"
}

build() {
  name=$1
  source=$2
  shift 2
  echo "Cross-building $name for $bits-bit Windows"
  cmake -S "$source" -B "$work/$name" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR= "$@" > "$work/$name.log" 2>&1 &&
  cmake --build "$work/$name" -j 2 >> "$work/$name.log" 2>&1 &&
  cmake --install "$work/$name" >> "$work/$name.log" 2>&1 ||
  { tail -n 30 "$work/$name.log" >&2; echo "build-windows-libs.sh: building $name failed (log: $work/$name.log)" >&2; exit 1; }
}

rm -rf "$work" "$prefix"
mkdir -p "$work"
build yaml-cpp "$(one_source 'yaml-cpp-*')" \
  -DYAML_CPP_BUILD_TESTS=OFF -DYAML_CPP_BUILD_TOOLS=OFF -DYAML_CPP_BUILD_CONTRIB=OFF -DYAML_BUILD_SHARED_LIBS=OFF
build sundials "$(one_source 'sundials-*')" \
  -DBUILD_STATIC_LIBS=ON -DBUILD_ARKODE=ON -DBUILD_CVODE=ON -DBUILD_CVODES=OFF -DBUILD_IDA=OFF \
  -DBUILD_IDAS=OFF -DBUILD_KINSOL=OFF -DEXAMPLES_ENABLE_C=OFF -DEXAMPLES_ENABLE_CXX=OFF -DEXAMPLES_INSTALL=OFF
build cli11 "$(one_source 'CLI11-*')" \
  -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF
rm -rf "$work"
touch "$prefix/.built"
