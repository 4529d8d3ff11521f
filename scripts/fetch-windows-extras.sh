#!/bin/sh
# Fetches, from Debian's archive and without installing anything, what the
# Windows builds need beyond Debian's mingw-w64 and wine64 packages:
#   DIR/wine32/    Debian's 32-bit Wine (wine32:i386, libwine:i386) unpacked
#                  with dpkg-deb -x: a multiarch install would replace dozens
#                  of the machine's amd64 packages
#   DIR/sources/   the Debian sources of yaml-cpp, SUNDIALS and CLI11, which
#                  scripts/build-static-libs.sh cross-builds for blocksim.exe
# apt runs with lists and caches of its own under DIR, so the machine's apt
# state is left as it was.
#   fetch-windows-extras.sh DIR
set -eu
[ $# -eq 1 ] || { echo "usage: fetch-windows-extras.sh DIR" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
[ -f "$dir/.fetched" ] && exit 0

apt_dir="$dir/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
cat > "$apt_dir/sources.list" <<EOF
deb [arch=amd64,i386] http://deb.debian.org/debian bookworm main
deb [arch=amd64,i386] http://deb.debian.org/debian bookworm-updates main
deb [arch=amd64,i386] http://deb.debian.org/debian-security bookworm-security main
deb-src http://deb.debian.org/debian bookworm main
EOF
apt_private() {
  apt-get -qq -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
    -o APT::Architectures=amd64,i386 -o APT::Sandbox::User="$(id -un)" -o Debug::NoLocking=1 "$@"
}
# A mirror in mid-sync serves an index that fails its checksum, and apt-get
# update then fails as a whole. Try a few times; after that, go on with the
# lists that did arrive: a download below fails by name if one it needs is
# missing.
update_lists() {
  for attempt in 1 2 3; do
    apt_private update && return 0
    if [ "$attempt" -lt 3 ]; then sleep 15; fi
  done
  echo "fetch-windows-extras.sh: some of Debian's package lists could not be fetched; going on with those that were" >&2
}
update_lists

download="$dir/download"
rm -rf "$download" "$dir/wine32" "$dir/sources"
mkdir -p "$download" "$dir/wine32" "$dir/sources"
# The 32-bit loader talks to the machine's wineserver: its version must be
# the installed wine64's.
version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null || true)
pin=${version:+=$version}
(cd "$download" && apt_private download "wine32:i386$pin" "libwine:i386$pin")
for package in "$download"/*.deb; do
  dpkg-deb -x "$package" "$dir/wine32"
done
[ -x "$dir/wine32/usr/lib/wine/wine" ] || { echo "fetch-windows-extras.sh: no 32-bit Wine loader in wine32:i386" >&2; exit 1; }

# Only the upstream sources are used; Debian's patches concern its packaging.
(cd "$download" && apt_private source --download-only yaml-cpp sundials cli11)
for tarball in "$download"/*.orig.tar.*; do
  tar -xf "$tarball" -C "$dir/sources"
done
rm -rf "$download"
touch "$dir/.fetched"
