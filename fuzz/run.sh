#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the corpora kept in fuzz/corpus/<target>/. New inputs go to a scratch
# folder; with --keep, those that add coverage are merged into the kept
# corpora afterwards. Exits non-zero when a target crashes or fails a check;
# the input that did it is left as crash-<target>-* in the build folder, and
# belongs in the kept corpus once the fault is fixed.
# Builds with the fuzz preset, into build/fuzz.
# Usage: fuzz/run.sh [--keep] [seconds per target, default 30]
# A failing input is replayed with: build/fuzz/fuzz_<target> <input>
# (VESK_FUZZ_TRACE=1 makes the device target print each step).
set -uo pipefail
cd "$(dirname "$0")/.."
keep=0
if [ "${1:-}" = "--keep" ]; then
  keep=1
  shift
fi
seconds=${1:-30}
build=build/fuzz
scripts/deps.sh fuzz || exit 1

jobs=$(nproc)
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j"$jobs" >"$build/build.log" 2>&1 || { tail -n 40 "$build/build.log"; exit 1; }

passed=0
failed=0
for target in device textfit script; do
  scratch=$(mktemp -d)
  echo "== fuzz_$target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$build/crash-$target-" "$scratch" "fuzz/corpus/$target" 2>"$build/fuzz_$target.log"; then
    grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse)' "$build/fuzz_$target.log" | tail -n 60
    echo "fuzz_$target: FAILED (log: $build/fuzz_$target.log)"
    failed=$((failed + 1))
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/fuzz_$target.log" | tail -n 2
    echo "fuzz_$target: ok"
    passed=$((passed + 1))
    if [ "$keep" -eq 1 ]; then
      "$build/fuzz_$target" -merge=1 "fuzz/corpus/$target" "$scratch" >/dev/null 2>&1 &&
        echo "fuzz_$target: corpus now $(ls "fuzz/corpus/$target" | wc -l) inputs"
    fi
  fi
  rm -rf "$scratch"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
