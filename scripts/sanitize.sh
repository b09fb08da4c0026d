#!/usr/bin/env bash
# Sanitizer runs of the test suite, each in its own build directory.
#   sanitize.sh asan [DIR]   module, host and every test under address + undefined-behaviour
#                            sanitizers (default DIR build-asan), run through ctest
#   sanitize.sh tsan [DIR]   the concurrency tests under the thread sanitizer (default DIR
#                            build-tsan): the tests whose name contains "thread" or
#                            "concurrent" in any case; only the test programs holding such
#                            tests are built
# Both builds are -O1 with debug information and assertions on: fast enough to run every test,
# precise enough for readable reports.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:?usage: sanitize.sh asan|tsan [DIR]}
jobs=${JOBS:-2}
flags="-O1 -g"
case "$kind" in
  asan) dir=${2:-build-asan}; sanitizers=address,undefined ;;
  tsan) dir=${2:-build-tsan}; sanitizers=thread ;;
  *) echo "sanitize.sh: unknown kind '$kind' (asan or tsan)" >&2; exit 2 ;;
esac

# Every finding stops the program with a failing status; leaks count as findings.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

start=$SECONDS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" \
  -DVX_SANITIZE="$sanitizers" >/dev/null

if [ "$kind" = asan ]; then
  cmake --build "$dir" -j "$jobs"
  built=$SECONDS
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
  echo "asan: built in $((built - start)) s, tested in $((SECONDS - built)) s"
  exit 0
fi

# The thread-sanitizer set: every test whose suite or test name contains "thread" or
# "concurrent" in any case (ThreadSafe..., ManyThreads..., Concurrent..., ...concurrentReads).
# The areas are found by the sources, the tests by each program's own list, so a name gtest
# reports is the name matched.
pattern='thread|concurrent'
areas=()
for path in tests/*/; do  # the areas, as tests/CMakeLists.txt finds them
  area=$(basename "$path")
  case "$area" in common|fixtures) continue ;; esac
  if grep -rEiq --include='*.cpp' --exclude-dir=component \
       "^[[:space:]]*TEST(_F|_P)?[[:space:]]*\([^)]*($pattern)" "tests/$area"; then
    areas+=("$area")
  fi
done
if [ ${#areas[@]} -eq 0 ]; then
  echo "tsan: no test named *thread* or *concurrent* yet"
  exit 0
fi

targets=("${areas[@]/#/vxtests_}")
cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
built=$SECONDS
absdir=$(cd "$dir" && pwd)
passed=0
failed=0
for target in "${targets[@]}"; do
  log="$dir/$target.tsan.log"
  [ -x "$dir/$target" ] || continue
  filter=$("$dir/$target" --gtest_list_tests | awk '/^[^ ]/ {suite=$1} /^  / {print suite $1}' |
           grep -Ei "$pattern" | paste -sd: -)
  [ -n "$filter" ] || continue
  if VX_BUILD_DIR="$absdir" "$dir/$target" --gtest_filter="$filter" \
       --gtest_brief=1 >"$log" 2>&1; then
    status=0
  else
    status=$?
  fi
  count=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  passed=$((passed + ${count:-0}))
  if [ "$status" -ne 0 ]; then
    count=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    failed=$((failed + ${count:-1}))  # a sanitizer report stops the program: one failure
    cat "$log"
    echo "tsan: $target failed (status $status)"
  fi
done
echo "tsan: built in $((built - start)) s, tested in $((SECONDS - built)) s"
echo "tsan: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
