#!/usr/bin/env bash
# Builds the libFuzzer targets (clang; address + undefined-behaviour sanitizers) in build-fuzz,
# writes their seed corpora with the test fixture writers, and runs every target for SECONDS
# (default 60), JOBS targets at a time. Any crash, leak, timeout or out-of-memory fails the run;
# the input that caused it is kept in build-fuzz/fuzz/artifacts.
#   fuzz.sh [SECONDS] [TARGET...]
# Each target keeps its growing corpus in build-fuzz/fuzz/corpus/<target> between runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
dir=${FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-2}
# Per input: a timeout of 10 s, at most 1 GiB in one allocation and 2 GiB resident; a parser
# that trusts a size field from the file meets these long before the machine does.
limits=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024)

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

start=$SECONDS
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DVX_FUZZ=ON -DVX_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$dir" -j "$jobs" --target vxfuzz
built=$SECONDS

out="$dir/fuzz"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(grep -v '^$' "$out/targets.txt" || true)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz target can be built yet"
  exit 0
fi

rm -rf "$out/seeds" "$out/logs"
mkdir -p "$out/seeds" "$out/logs" "$out/artifacts"
"$out/vxfuzzseeds" "$out/seeds" >/dev/null

# A target may ask for options of its own in a comment line "// libFuzzer: -max_len=N ...".
run_target() {
  local name=$1
  local own
  read -ra own <<<"$(sed -n 's|^// libFuzzer: \(-[^(]*\).*|\1|p' "fuzz/$name.cpp" 2>/dev/null)"
  mkdir -p "$out/corpus/$name" "$out/seeds/$name"
  "$out/$name" -max_total_time="$seconds" "${limits[@]}" "${own[@]}" -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$name-" "$out/corpus/$name" "$out/seeds/$name" \
    >"$out/logs/$name.log" 2>&1
}

# Up to JOBS targets at once; each records its exit status beside its log.
running=0
for name in "${targets[@]}"; do
  if [ ! -x "$out/$name" ]; then
    echo "fuzz: no target $name (built: $(tr '\n' ' ' <"$out/targets.txt"))" >&2
    exit 2
  fi
  (
    status=0
    run_target "$name" || status=$?
    echo "$status" >"$out/logs/$name.status"
  ) &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

passed=0
failed=0
for name in "${targets[@]}"; do
  status=$(cat "$out/logs/$name.status")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$name.log" | tail -1)
  corpus=$(find "$out/corpus/$name" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    printf 'fuzz: %-24s ok      %10s runs, corpus %s\n' "$name" "${runs:-?}" "$corpus"
  else
    failed=$((failed + 1))
    echo "---- $name (status $status) ----"
    grep -v -E '^(#[0-9]+|INFO:|MS:|stat::|Done )' "$out/logs/$name.log" | tail -60
    printf 'fuzz: %-24s FAILED  see %s and %s\n' "$name" "$out/logs/$name.log" \
      "$(ls -t "$out/artifacts/$name-"* 2>/dev/null | head -1)"
  fi
done
echo "fuzz: ${seconds} s per target; built in $((built - start)) s, ran in $((SECONDS - built)) s"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
