#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite: the normal
# build, the AddressSanitizer + UndefinedBehaviorSanitizer build, a mutation
# sample and valgrind's memcheck on the normal build, the 32-bit
# ARM build under qemu-arm, the Windows CE device build and its checks, the
# desktop Win32 build under Wine, and the fuzzers for a bounded time
# (VESK_FUZZ_SECONDS a target, 30 by default).
set -uo pipefail
cd "$(dirname "$0")"
scripts/deps.sh || exit 1
. scripts/summary.sh

jobs=$(nproc)
passed=0
failed=0
skipped=0
status=0

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
    ctest --preset "$preset" -j"$jobs" 2>&1 | tee "$log" | grep -E -v '^ +[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true
  if ! grep -q '100% tests passed' "$log"; then status=1; fi
  summary_add_ctest "$log"
  rm -f "$log"
done

# Runs a stage whose last summary line is "NAME: N passed, N failed" or
# "NAME: N passed, N failed, N skipped" and adds its counts to the totals. A
# stage that prints no such line has failed.
stage() {
  local name=$1 log
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary_add "$log" "$name" || true
  rm -f "$log"
}

# Both on the normal build: a mutation sample drawn with the commit as its
# seed, each mutant put to the tests that reach its line, and vesk's code
# under valgrind's memcheck.
echo "== mutation sample (${VESK_MUTATION_SAMPLE:-12} mutants, seeded from the commit)"
stage mutation scripts/mutate.py --build build/default --guard "${VESK_MUTATION_SAMPLE:-12}"

echo "== memcheck: the scenarios, hostile windows and a sample of the fault sweep"
stage memcheck scripts/memcheck.sh build/default

echo "== Windows CE: the device build and its checks against CE 5 and CE 6"
stage wince win32/wince/check.sh build/default

# After the Windows CE stage, whose vesk.exe it runs on the simulated device.
echo "== 32-bit ARM: the simulator and its tests under qemu-arm, its scenarios compared with x86-64's and played by vesk.exe"
stage arm scripts/arm-stage.sh build/default

echo "== desktop Windows build under Wine"
stage wine win32/run-wine-tests.sh build/default

echo "== benchmark ratios (callgrind instruction counts)"
stage bench bench/ratios.sh build/default

echo "== fuzzing (libFuzzer, ${VESK_FUZZ_SECONDS:-30} s a target)"
stage fuzz fuzz/run.sh "${VESK_FUZZ_SECONDS:-30}"

[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
