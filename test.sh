#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite: the normal
# build, the AddressSanitizer + UndefinedBehaviorSanitizer build, the Windows
# CE device build and its checks, the desktop Win32 build under Wine, and the
# fuzzers for a bounded time
# (VESK_FUZZ_SECONDS a target, 30 by default).
set -uo pipefail
cd "$(dirname "$0")"
scripts/deps.sh || exit 1

jobs=$(nproc)
passed=0
failed=0
skipped=0
status=0

# Adds the counts of a ctest log to the totals.
count() {
  local log=$1 line total fails
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

for preset in default asan; do
  echo "== $preset build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$jobs"; }; then
    echo "$preset build failed"
    failed=$((failed + 1))
    status=1
    continue
  fi
  echo "== $preset tests"
  log=$(mktemp)
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset "$preset" -j"$jobs" --timeout 300 2>&1 | tee "$log" | grep -E -v '^ +[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true
  if ! grep -q '100% tests passed' "$log"; then status=1; fi
  count "$log"
  rm -f "$log"
done

# Runs a stage whose last summary line is "NAME: N passed, N failed" or
# "NAME: N passed, N failed, N skipped" and adds its counts to the totals. A
# stage that prints no such line has failed.
stage() {
  local name=$1 log line
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  line=$(grep -E "^$name: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(sed -E "s/$name: ([0-9]+) passed.*/\1/" <<<"$line")))
    failed=$((failed + $(sed -E 's/.* passed, ([0-9]+) failed.*/\1/' <<<"$line")))
    if grep -qE 'failed, [0-9]+ skipped' <<<"$line"; then
      skipped=$((skipped + $(sed -E 's/.*failed, ([0-9]+) skipped.*/\1/' <<<"$line")))
    fi
  else
    failed=$((failed + 1))
  fi
  rm -f "$log"
}

echo "== Windows CE: the device build and its checks against CE 5 and CE 6"
stage wince win32/wince/check.sh build

echo "== desktop Windows build under Wine"
stage wine win32/run-wine-tests.sh build

echo "== benchmark ratios (callgrind instruction counts)"
stage bench bench/ratios.sh build

echo "== fuzzing (libFuzzer, ${VESK_FUZZ_SECONDS:-30} s a target)"
stage fuzz fuzz/run.sh "${VESK_FUZZ_SECONDS:-30}" build-fuzz

[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
