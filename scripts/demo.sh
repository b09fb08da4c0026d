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

# Bitmaps (1, 4, 8, 16, 24, 32 bits, a core header, bit fields, top-down, RLE8, RLE4) and
# TARGA files (every image type, both row orders): the same picture each time.
mkdir -p "$out/dib" "$out/tga"
for sample in "$out"/samples/dib-*.bmp; do
  "$build/vxhost" decode "$sample" -o "$out/dib/$(basename "$sample" .bmp).png"
done
for sample in "$out"/samples/tga-*.tga; do
  "$build/vxhost" decode "$sample" -o "$out/tga/$(basename "$sample" .tga).png"
done
