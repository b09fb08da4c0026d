#!/usr/bin/env bash
# Builds vxbench in build-bench and times the module (through BUILD/vxhost) against the peer
# decoders on 24-megapixel images it generates once into build-bench/images. Prints the
# tables and keeps them in bench/results/latest.txt.
#   bench.sh [BUILD]    BENCH_REPEAT=N runs per contender (default 5), BENCH_SEED=S,
#                       BENCH_ONLY=TEXT (only files whose name contains TEXT),
#                       BENCH_SIZE=WxH (default 6000x4000)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
dir=build-bench
size=${BENCH_SIZE:-6000x4000}

cmake -S bench -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "${JOBS:-2}"
"$dir/vxbench" --width "${size%x*}" --height "${size#*x}" --seed "${BENCH_SEED:-1}" \
  --repeat "${BENCH_REPEAT:-5}" --only "${BENCH_ONLY:-}" --images "$dir/images" \
  --vxhost "$build/vxhost" --out bench/results/latest.txt
