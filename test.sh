#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite: the normal
# build, the AddressSanitizer + UndefinedBehaviorSanitizer build, and the
# desktop Win32 build under Wine.
set -uo pipefail
cd "$(dirname "$0")"
scripts/deps.sh || exit 1

jobs=$(nproc)
passed=0
failed=0
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

if [ -x win32/run-wine-tests.sh ]; then
  echo "== desktop Windows build under Wine"
  log=$(mktemp)
  win32/run-wine-tests.sh build 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  line=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(sed -E 's/wine: ([0-9]+) passed.*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")))
  else
    failed=$((failed + 1))
  fi
  rm -f "$log"
fi

[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed"
exit $status
