#!/bin/sh
# Builds static libraries from the Debian sources that fetch-windows-extras.sh
# unpacked, installed where the presets search them. Does nothing when they
# are there.
#   build-static-libs.sh 64|32   yaml-cpp, SUNDIALS (ARKODE and CVODE) and CLI11 (headers only)
#                                cross-built with mingw-w64 into build/windows-libs-64 (-32),
#                                for blocksim.exe and the Windows FMUs
#   build-static-libs.sh linux   yaml-cpp, position-independent, into build/linux-libs: the
#                                binary of an exported model's FMU links it in, as Debian's
#                                libyaml-cpp.a cannot be (Debian's SUNDIALS archives can)
set -eu
target=${1:-}
root=$(cd "$(dirname "$0")/.." && pwd)
sources="$root/build/windows-extras/sources"
case $target in
  64) arch=x86_64; prefix="$root/build/windows-libs-64" ;;
  32) arch=i686; prefix="$root/build/windows-libs-32" ;;
  linux) prefix="$root/build/linux-libs" ;;
  *) echo "build-static-libs.sh: 64, 32 or linux, not '$target'" >&2; exit 2 ;;
esac
work="$prefix.work"
[ -f "$prefix/.built" ] && exit 0
if [ ! -d "$sources" ]; then
  if [ "$target" = linux ]; then
    # The build goes on with Debian's shared yaml-cpp; blocksim export then says its FMUs need it.
    echo "build-static-libs.sh: no sources in $sources (scripts/install-deps.sh windows, as root): an exported model's FMU will need the system's yaml-cpp" >&2
    exit 0
  fi
  echo "build-static-libs.sh: no sources in $sources (scripts/install-deps.sh windows)" >&2
  exit 1
fi

one_source() {
  found=$(find "$sources" -maxdepth 1 -type d -name "$1" | head -n 1)
  [ -n "$found" ] || { echo "build-static-libs.sh: no $1 in $sources" >&2; exit 1; }
  echo "$found"
}

build() {
  name=$1
  source=$2
  shift 2
  if [ "$target" = linux ]; then
    echo "Building $name as a static, position-independent library"
    set -- -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@"
  else
    echo "Cross-building $name for $target-bit Windows"
    set -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-$arch.cmake" -DCMAKE_CROSSCOMPILING_EMULATOR= "$@"
  fi
  cmake -S "$source" -B "$work/$name" -G "Unix Makefiles" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_LIBDIR=lib "$@" > "$work/$name.log" 2>&1 &&
  cmake --build "$work/$name" -j 2 >> "$work/$name.log" 2>&1 &&
  cmake --install "$work/$name" >> "$work/$name.log" 2>&1 ||
  { tail -n 30 "$work/$name.log" >&2; echo "build-static-libs.sh: building $name failed (log: $work/$name.log)" >&2; exit 1; }
}

rm -rf "$work" "$prefix"
mkdir -p "$work"
build yaml-cpp "$(one_source 'yaml-cpp-*')" \
  -DYAML_CPP_BUILD_TESTS=OFF -DYAML_CPP_BUILD_TOOLS=OFF -DYAML_CPP_BUILD_CONTRIB=OFF -DYAML_BUILD_SHARED_LIBS=OFF
if [ "$target" = linux ]; then
  rm -rf "$work"
  touch "$prefix/.built"
  exit 0
fi
build sundials "$(one_source 'sundials-*')" \
  -DBUILD_STATIC_LIBS=ON -DBUILD_ARKODE=ON -DBUILD_CVODE=ON -DBUILD_CVODES=OFF -DBUILD_IDA=OFF \
  -DBUILD_IDAS=OFF -DBUILD_KINSOL=OFF -DEXAMPLES_ENABLE_C=OFF -DEXAMPLES_ENABLE_CXX=OFF -DEXAMPLES_INSTALL=OFF
build cli11 "$(one_source 'CLI11-*')" \
  -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF
rm -rf "$work"
touch "$prefix/.built"
