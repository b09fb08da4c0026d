#!/usr/bin/env bash
# Line and branch coverage of the module and the host by the whole test suite, with gcc's own
# counters (--coverage) read by gcovr. Builds everything in DIR (default build-coverage) at -O0,
# clears the counters, runs every test through ctest, and writes:
#   DIR/coverage.txt          per-file line figures, module and host
#   DIR/coverage-module.txt   per-file branch figures of the module alone (plugin, framework,
#                             formats, support, platform)
#   DIR/html/index.html       annotated sources
# Branches the compiler adds for exceptions and branches it proves unreachable are left out, so
# the figures count the decisions written in the source.
#   coverage.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build-coverage}
jobs=${JOBS:-2}
start=$SECONDS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-g" \
  -DVX_COVERAGE=ON $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache) >/dev/null
cmake --build "$dir" -j "$jobs"
built=$SECONDS

find "$dir" -name '*.gcda' -delete
status=0
ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=$?

# The counters are searched for in DIR alone: the tree may hold other build folders, and the
# Windows stage's Wine prefix links to the whole file system.
gcovr_common=(--root . --object-directory "$dir" --exclude-throw-branches
              --exclude-unreachable-branches --gcov-ignore-parse-errors
              -j "$jobs" "$dir")
root=$PWD
module=(--filter "$root/plugin/" --filter "$root/framework/" --filter "$root/formats/"
        --filter "$root/support/" --filter "$root/platform/" --filter "$root/render/")
mkdir -p "$dir/html"
gcovr "${gcovr_common[@]}" "${module[@]}" --filter "$root/host/" \
  --txt "$dir/coverage.txt" --html-details "$dir/html/index.html" \
  --print-summary >"$dir/summary.txt"
gcovr "${gcovr_common[@]}" "${module[@]}" --branches --txt "$dir/coverage-module.txt" \
  --print-summary >"$dir/summary-module.txt"
echo "coverage: module and host"; cat "$dir/summary.txt" | grep -E '^(lines|branches):'
echo "coverage: module alone";    cat "$dir/summary-module.txt" | grep -E '^(lines|branches):'
echo "coverage: built in $((built - start)) s, tested and measured in $((SECONDS - built)) s"
echo "coverage: report in $dir/coverage.txt and $dir/html/index.html"
exit "$status"
