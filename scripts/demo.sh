#!/usr/bin/env bash
# The main job: runs vxhost over the module, on sample images the project makes itself.
set -euo pipefail
build=${1:-build}
"$build/vxhost" plugins
