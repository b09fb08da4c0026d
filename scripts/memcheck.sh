#!/usr/bin/env bash
# Valgrind memcheck over vxhost: `vxhost plugins`, then `vxhost decode` of one small sample of
# every benchmark variant (written by vxbench into build-bench/memcheck). Any memory error or
# definite leak fails the run, and so does a failed decode; a sample that no plug-in of the
# module recognises yet is listed as not read.
#   memcheck.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
dir=build-bench
samples="$dir/memcheck"
logs="$samples/logs"

cmake -S bench -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target vxbench
rm -rf "$samples"
mkdir -p "$samples" "$logs"
# An odd size: rows that need padding, sub-sampled chroma that does not divide evenly.
"$dir/vxbench" images --width 67 --height 45 --seed 7 --images "$samples"

finding=97  # valgrind's status on a finding, apart from vxhost's own 0 and 1
memcheck() {
  local name=$1
  shift
  valgrind --quiet --error-exitcode=$finding --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --track-origins=yes --log-file="$logs/$name.valgrind" \
    "$build/vxhost" "$@" >"$logs/$name.out" 2>&1
}

clean=0
failed=0
notread=0
report() {  # name status
  case $2 in
    0) clean=$((clean + 1)); printf 'memcheck: %-24s clean\n' "$1" ;;
    1) if grep -q 'no plug-in recognises' "$logs/$1.out"; then
         notread=$((notread + 1))
         printf 'memcheck: %-24s not read by the module yet\n' "$1"
       else
         failed=$((failed + 1))
         printf 'memcheck: %-24s FAILED: %s\n' "$1" "$(tail -1 "$logs/$1.out")"
       fi ;;
    *) failed=$((failed + 1))
       cat "$logs/$1.valgrind" "$logs/$1.out"
       printf 'memcheck: %-24s FAILED (status %s), see %s\n' "$1" "$2" "$logs/$1.valgrind" ;;
  esac
}

status=0
memcheck plugins plugins || status=$?
report plugins "$status"
for sample in "$samples"/*.*; do
  [ -f "$sample" ] || continue
  name=$(basename "$sample")
  status=0
  memcheck "$name" decode "$sample" -o "$samples/$name.decoded.png" || status=$?
  report "$name" "$status"
done
echo "memcheck: $clean clean, $notread not read by the module yet"
echo "memcheck: $clean passed, $failed failed"
[ "$failed" -eq 0 ]
