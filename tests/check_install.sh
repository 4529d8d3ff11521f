#!/bin/sh
# make install as a user runs it: into a fresh prefix, then blocksim from
# there finds the installed block libraries without --path or $BLOCKSIM_PATH,
# holds no path of the build, and runs the installed examples; where
# scilab-cli is installed, the installed Xcos toolbox simulates a block.
#   check_install.sh BUILD_DIR [release]
# With "release" (a build without debug information or sanitizers, whose
# binaries name no source or build file of their own) the installed
# blocksim must not hold the build's path anywhere.
set -eu
build=$1
release=${2:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
unset BLOCKSIM_PATH ENGINE_BLOCKS_BUILD
share=$prefix/share/engine-blocks
info=$("$prefix/bin/blocksim" info blower 0.7 "[2, 0.5, 0.1]" 0.0698)
case "$info" in
  *"$prefix/lib/engine-blocks/blower.mexa64"*) ;;
  *) echo "the installed blocksim did not take the installed blower: $info" >&2; exit 1 ;;
esac
if [ "$release" = release ] && grep -q -F "$build" "$prefix/bin/blocksim"; then
  echo "the installed blocksim holds the build's path $build" >&2
  exit 1
fi
installed="examples/engine.yaml examples/relay_inputs.csv"
# The Xcos toolbox, where the build made it (not in 32-bit or sanitizer builds).
xcos_library=$prefix/lib/engine-blocks/libengine_blocks_xcos.so
[ -f "$xcos_library" ] && installed="$installed xcos/loader.sce xcos/build_paths.sce xcos/etc/engine_blocks.start
  xcos/macros/BLOWER_c.sci xcos/macros/engine_block_interface.sci xcos/examples/sarnith.sce"
for file in $installed; do
  test -f "$share/$file" || { echo "make install did not install $share/$file" >&2; exit 1; }
done
mkdir "$prefix/run"
cp "$share/examples/sarnith.yaml" "$share/examples/relay_inputs.csv" "$prefix/run/"
"$prefix/bin/blocksim" run "$prefix/run/sarnith.yaml" --no-plot >/dev/null
test -s "$prefix/run/sarnith.csv"
# Where the build has FMUs, the installed blocksim exports a model with the installed binary.
if [ -f "$prefix/lib/engine-blocks/fmu_model.so" ]; then
  "$prefix/bin/blocksim" export "$prefix/run/sarnith.yaml" --fmu "$prefix/run/sarnith.fmu" >/dev/null
  test -s "$prefix/run/sarnith.fmu"
fi
if command -v scilab-cli >/dev/null && [ -f "$xcos_library" ]; then
  verdict=$prefix/xcos-verdict
  SCI_DISABLE_EXCEPTION_CATCHING=1 timeout 300 scilab-cli -nb -quit -e "
    try
      exec('$share/xcos/loader.sce', -1);
      exec('$share/xcos/examples/sarnith.sce', -1);
      [cpr, ok] = xcos_simulate(scs_m, 4);
      mputl(msprintf('%d %s', bool2s(ok), strcat(string(relay_output.values'), ' ')), '$verdict');
    catch
      mputl('error ' + lasterror(), '$verdict');
    end" >/dev/null 2>&1 || true
  result=$(cat "$verdict" 2>/dev/null || echo "no verdict")
  if [ "$result" != "1 0 0 0 1 1 1" ]; then
    echo "the installed Xcos toolbox did not simulate sarnith's example: $result" >&2
    exit 1
  fi
  echo "the installed Xcos toolbox simulates sarnith's example"
fi
echo "installed blocksim runs from $prefix"
