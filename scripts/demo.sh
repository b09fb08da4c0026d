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

# PSD: layered documents at 8 and 16 bits (a mask, a hidden layer), greyscale and CMYK: the
# composite of each and every layer's preview.
mkdir -p "$out/psd"
for sample in "$out"/samples/psd-*.psd; do
  name=$(basename "$sample" .psd)
  "$build/vxhost" decode "$sample" -o "$out/psd/$name.png"
  case "$name" in
    psd-layered*) "$build/vxhost" layers "$sample" -o "$out/psd/$name-layers" ;;
  esac
done
