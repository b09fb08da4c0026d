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

# JPEG: colour, greyscale, progressive, and one with EXIF tags shown by name.
mkdir -p "$out/jpeg"
for sample in "$out"/samples/jpeg-*.jpg; do
  "$build/vxhost" decode "$sample" -o "$out/jpeg/$(basename "$sample" .jpg).png"
done
"$build/vxhost" meta "$out/samples/jpeg-exif.jpg"

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

# OpenEXR (through OpenExr.so beside the module): half, float, luminance, luminance with chroma,
# tiled and an offset data window, each as a tone-mapped PNG preview and as OpenEXR again.
mkdir -p "$out/exr"
for sample in "$out"/samples/exr-*.exr; do
  name=$(basename "$sample" .exr)
  "$build/vxhost" decode "$sample" -o "$out/exr/$name.png"
  "$build/vxhost" decode "$sample" -o "$out/exr/$name.exr" >/dev/null
done

# Round trip, last: tag a sample, convert it to another format whose reader the module has,
# and read the metadata back from the converted file's sidecar.
rt="$out/roundtrip"
rm -rf "$rt" && mkdir -p "$rt"
samples=("$out"/samples/*)
source_sample=${samples[0]}
for sample in "${samples[@]}"; do  # a colour picture shows the conversion best
  case "$(basename "$sample")" in *rgb*) source_sample=$sample; break ;; esac
done
tagged="$rt/tagged.${source_sample##*.}"
cp "$source_sample" "$tagged"
"$build/vxhost" tag "$tagged" INAM="Harbour at dawn" IART="vxstills demo" ICMT="tagged by vxhost"
# Another format than the sample's first; the sample's own when the module reads no other yet.
source_ext=${source_sample##*.}
converted=""
for ext in $(printf '%s\n' jpg bmp tga png | grep -vx "$source_ext") "$source_ext"; do
  candidate="$rt/converted.$ext"
  "$build/vxhost" convert "$tagged" "$candidate" >/dev/null || continue
  if "$build/vxhost" meta "$candidate" >"$rt/converted.meta.txt" 2>/dev/null; then
    converted=$candidate
    echo "round trip: $tagged -> $converted"
    cat "$rt/converted.meta.txt"
    break
  fi
  rm -f "$candidate" "$candidate.vxl"  # the module has no reader for this format yet
done
for file in "$tagged" $converted; do
  "$build/vxhost" decode "$file" -o "$file.preview.png" >/dev/null || true
done

# One page with everything above: demo-out/index.html.
python3 "$(dirname "$0")/demo_index.py" "$build" "$out"
