#!/usr/bin/env python3
"""Writes OUT/index.html: every demo sample's preview beside what `vxhost probe` reports for it,
each layer's preview where a layers folder exists, and the metadata round trip.

usage: demo_index.py BUILD OUT

It knows no format: it shows whatever OUT/<format>/ folders hold. A preview OUT/<format>/P
belongs to the sample OUT/samples/P, or to OUT/samples/S when P is S plus a picture extension.
Layer previews are the pictures in a folder beside the preview named after the sample (its
name, its stem, either with "-layers", or layers/<name or stem>).
The round trip is OUT/roundtrip/: each file there with its `vxhost meta` and its preview
<file>.preview.png when one was made.
"""
import html
import json
import os
import subprocess
import sys

PICTURES = (".png", ".jpg", ".jpeg", ".bmp", ".gif", ".webp")
SKIPPED_FOLDERS = {"samples", "roundtrip"}


def run_json(vxhost, *args):
    """The JSON vxhost prints, or (None, its error text)."""
    done = subprocess.run([vxhost, *args, "--json"], capture_output=True, text=True)
    if done.returncode != 0:
        return None, (done.stderr.strip() or "exit status %d" % done.returncode)
    try:
        return json.loads(done.stdout), None
    except ValueError as error:
        return None, "unreadable output: %s" % error


def esc(value):
    return html.escape(str(value))


def facts_table(rows):
    return "<table>" + "".join(
        "<tr><th>%s</th><td>%s</td></tr>" % (esc(k), esc(v)) for k, v in rows if v not in (None, "")
    ) + "</table>"


def probe_facts(vxhost, sample):
    probe, error = run_json(vxhost, "probe", sample)
    if probe is None:
        return '<p class="fail">%s</p>' % esc(error), []
    info = probe["files"][0]
    if "error" in info or "plugin" not in info:
        return '<p class="fail">%s</p>' % esc(json.dumps(info.get("error", info))), []
    rows = [
        ("plug-in", info["plugin"]["name"]),
        ("format", info.get("formatName")),
        ("compression", info.get("compression")),
        ("attributes", info.get("attributes")),
        ("file bytes", os.path.getsize(sample)),
        ("streams", len(info.get("streams", []))),
    ]
    for number, stream in enumerate(info.get("streams", [])):
        header = stream.get("header", {})
        rows.append(("stream %d" % number, "%s x %s, %s bits, %s, %s frame(s)" % (
            header.get("width"), header.get("height"), header.get("bitCount"),
            header.get("compressionText"), stream.get("frameCount"))))
    layers = info.get("layers", [])
    rows.append(("layers", info.get("layerCount", 0)))
    for layer in layers:
        rows.append(("layer %s" % layer.get("index", ""), "%s %s" % (layer.get("name", ""), layer.get("rect", ""))))
    return facts_table(rows), layers


def picture(path, out, caption):
    relative = os.path.relpath(path, out)
    if path.lower().endswith(PICTURES):
        body = '<a href="%s"><img src="%s" alt="%s"></a>' % (esc(relative), esc(relative), esc(caption))
    else:
        body = '<a href="%s" class="nopreview">%s<br>(no browser preview)</a>' % (esc(relative), esc(os.path.basename(path)))
    return '<figure>%s<figcaption>%s</figcaption></figure>' % (body, esc(caption))


def sample_of(out, name):
    samples = os.path.join(out, "samples")
    candidates = [name]
    stem, extension = os.path.splitext(name)
    if extension.lower() in PICTURES + (".pfm", ".exr"):
        candidates.append(stem)
    for candidate in candidates:
        path = os.path.join(samples, candidate)
        if os.path.isfile(path):
            return path
    return None


def layer_pictures(folder, sample_name):
    stem = os.path.splitext(sample_name)[0]
    for name in (sample_name, stem, sample_name + "-layers", stem + "-layers",
                 os.path.join("layers", sample_name), os.path.join("layers", stem)):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            return sorted(os.path.join(path, f) for f in os.listdir(path)
                          if os.path.isfile(os.path.join(path, f)))
    return []


def format_section(vxhost, out, folder):
    cards = []
    for name in sorted(os.listdir(folder)):
        preview = os.path.join(folder, name)
        if not os.path.isfile(preview):
            continue
        sample = sample_of(out, name)
        if sample is None:
            continue
        facts, _ = probe_facts(vxhost, sample)
        layers = layer_pictures(folder, os.path.basename(sample))
        strip = ""
        if layers:
            strip = '<div class="layers">%s</div>' % "".join(
                picture(layer, out, os.path.splitext(os.path.basename(layer))[0]) for layer in layers)
        cards.append('<section class="card"><h3>%s</h3><div class="row">%s%s</div>%s</section>' % (
            esc(os.path.basename(sample)), picture(preview, out, "preview"), facts, strip))
    if not cards:
        return ""
    return '<h2>%s</h2><div class="cards">%s</div>' % (esc(os.path.basename(folder).upper()), "".join(cards))


def meta_table(vxhost, path):
    meta, error = run_json(vxhost, "meta", path)
    if meta is None:
        return '<p class="fail">%s</p>' % esc(error)
    rows = [("plug-in", meta.get("plugin"))]
    for field in meta.get("fields", []):
        rows.append((field.get("codeText"), field.get("text", field.get("hex", ""))))
    media = meta.get("mediaManager", {})
    rows.append(("media manager", "%s properties" % media["propertyCount"] if media.get("present") else "none"))
    return facts_table(rows)


def roundtrip_section(vxhost, out):
    folder = os.path.join(out, "roundtrip")
    if not os.path.isdir(folder):
        return ""
    cards = []
    # The tagged source first, then what was made from it.
    for name in sorted(os.listdir(folder), key=lambda n: (not n.startswith("tagged"), n)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or name.endswith((".vxl", ".preview.png", ".txt")):
            continue
        preview = path + ".preview.png"
        shown = picture(preview if os.path.isfile(preview) else path, out, name)
        cards.append('<section class="card"><h3>%s</h3><div class="row">%s%s</div></section>' % (
            esc(name), shown, meta_table(vxhost, path)))
    return ('<h2>Metadata round trip</h2><p>A sample tagged with <code>vxhost tag</code>, converted '
            'with <code>vxhost convert</code>, and the metadata each file\'s reader finds beside it.</p>'
            '<div class="cards">%s</div>' % "".join(cards))


STYLE = """
body { font: 14px/1.4 system-ui, sans-serif; margin: 2em; color: #222; background: #fafafa; }
h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
.cards { display: flex; flex-wrap: wrap; gap: 1em; }
.card { background: #fff; border: 1px solid #ddd; border-radius: 6px; padding: .8em; }
.card h3 { margin: 0 0 .5em; font-size: 1em; font-family: monospace; }
.row { display: flex; gap: 1em; align-items: flex-start; }
figure { margin: 0; text-align: center; }
img { max-width: 240px; max-height: 180px; image-rendering: pixelated;
      background: repeating-conic-gradient(#ccc 0 25%, #fff 0 50%) 0 0 / 16px 16px; }
.layers { display: flex; flex-wrap: wrap; gap: .5em; margin-top: .6em; }
.layers img { max-width: 120px; max-height: 90px; }
figcaption { font-size: 12px; color: #666; }
table { border-collapse: collapse; font-size: 12px; }
th { text-align: left; color: #555; padding-right: 1em; vertical-align: top; font-weight: normal; }
td { font-family: monospace; }
.fail { color: #a00; font-family: monospace; max-width: 30em; }
.nopreview { display: inline-block; width: 160px; padding: 2em 0; border: 1px dashed #aaa; color: #666; }
"""


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, out = sys.argv[1], sys.argv[2]
    vxhost = os.path.join(build, "vxhost")
    sections = [roundtrip_section(vxhost, out)]
    for name in sorted(os.listdir(out)):
        folder = os.path.join(out, name)
        if os.path.isdir(folder) and name not in SKIPPED_FOLDERS:
            sections.append(format_section(vxhost, out, folder))
    page = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>vxstills demo</title>'
            '<style>%s</style></head><body><h1>vxstills demo</h1><p>Each sample as the module '
            'delivers it through <code>vxhost decode</code>, beside what <code>vxhost probe</code> '
            'reports.</p>%s</body></html>\n') % (STYLE, "".join(sections))
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as page_file:
        page_file.write(page)
    print("wrote %s" % os.path.join(out, "index.html"))


if __name__ == "__main__":
    main()
