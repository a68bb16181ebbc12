#!/usr/bin/env bash
# Installs the build into a scratch prefix and loads the installed Designer plugins from
# there: they must sit in the plugin folder under the prefix, find the Vantix libraries
# through their own run path (no LD_LIBRARY_PATH), and carry their translation beside.
# Usage: plugins_install.sh BUILD_DIR SCRATCH PLUGIN_SUBDIR PROBE
set -euo pipefail
build=$1 scratch=$2 subdir=$3 probe=$4
rm -rf "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >"$scratch.log" 2>&1 || {
  cat "$scratch.log"
  echo "FAIL: cmake --install"
  exit 1
}
dir=$scratch/prefix/$subdir
for plugin in vxdesign vxdbdesign; do
  [ -f "$dir/lib$plugin.so" ] || { echo "FAIL: $dir/lib$plugin.so is missing"; exit 1; }
done
export QT_QPA_PLATFORM=offscreen LANGUAGE=
tip=$(env -u LD_LIBRARY_PATH LC_ALL=C "$probe" "$dir/libvxdbdesign.so")
[ "$tip" = "Vantix DB Controls" ] || { echo "FAIL: installed vxdbdesign says '$tip'"; exit 1; }
if [ -f "$build/designer/vxdbdesign_it.qm" ]; then
  tip=$(env -u LD_LIBRARY_PATH LC_ALL=it_IT.UTF-8 "$probe" "$dir/libvxdbdesign.so")
  [ "$tip" = "Controlli DB Vantix" ] || { echo "FAIL: installed translation gives '$tip'"; exit 1; }
fi
echo "installed Designer plugins load from $dir"
