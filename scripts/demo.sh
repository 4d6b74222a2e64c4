#!/usr/bin/env bash
# Tavrel without a controller: installs what is missing, builds, plays the whole tune on the
# virtual controller with the console output as it comes, then writes the tune's sound (WAV) and
# piano roll (SVG) from the controller's log and says where they are.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tavrel tavrel-preview virtual_joycon

out=$PWD/build/demo
mkdir -p "$out"
rm -f "$out/tune.log"
echo
echo "Playing the tune on the virtual controller (about 41 s; Ctrl-C stops it and restores the controller):"
LD_PRELOAD=$PWD/build/default/tools/virtual-joycon/libvirtual_joycon.so TAVREL_VJ_LOG=$out/tune.log \
  build/default/tavrel
build/default/tavrel-preview "$out/tune.log" "$out/tune.wav" "$out/tune.svg"
echo
echo "What the controller received, as sound and as a piano roll:"
echo "  $out/tune.wav"
echo "  $out/tune.svg"
echo "and every report with its time: $out/tune.log"
