#!/bin/sh
# make install as a user runs it: into a fresh prefix, then blocksim from
# there finds the installed block libraries without --path or $BLOCKSIM_PATH.
#   check_install.sh BUILD_DIR EXAMPLES_DIR
set -eu
build=$1
examples=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
unset BLOCKSIM_PATH
info=$("$prefix/bin/blocksim" info blower 0.7 "[2, 0.5, 0.1]" 0.0698)
case "$info" in
  *"$prefix/lib/engine-blocks/blower.mexa64"*) ;;
  *) echo "the installed blocksim did not take the installed blower: $info" >&2; exit 1 ;;
esac
cp "$examples/sarnith.yaml" "$examples/relay_inputs.csv" "$prefix/"
"$prefix/bin/blocksim" run "$prefix/sarnith.yaml" --no-plot
test -s "$prefix/sarnith.csv"
echo "installed blocksim runs from $prefix"
