#!/usr/bin/env bash
# The main job: runs vxhost over the module, on sample images the project makes itself.
set -euo pipefail
build=${1:-build}
"$build/vxhost" plugins

# Sample images of every format, written by the test suite's fixture writers (vxsamples), and
# the previews vxhost decodes from them, in demo-out/ (DEMO_OUT overrides).
out=${DEMO_OUT:-demo-out}
"$build/vxsamples" "$out/samples" >/dev/null

# PNG: every colour type and bit depth, with and without transparency, one interlaced.
mkdir -p "$out/png"
for sample in "$out"/samples/png-*.png; do
  "$build/vxhost" decode "$sample" -o "$out/png/$(basename "$sample")"
done

# OpenEXR (through OpenExr.so beside the module): half, float, luminance, luminance with chroma,
# tiled and an offset data window, each as a tone-mapped PNG preview and as OpenEXR again.
mkdir -p "$out/exr"
for sample in "$out"/samples/exr-*.exr; do
  name=$(basename "$sample" .exr)
  "$build/vxhost" decode "$sample" -o "$out/exr/$name.png"
  "$build/vxhost" decode "$sample" -o "$out/exr/$name.exr" >/dev/null
done
