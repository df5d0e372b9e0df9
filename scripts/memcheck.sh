#!/usr/bin/env bash
# Runs the suites in which vesk's code runs, on the simulated device, under
# valgrind's memcheck: the scenarios, the hostile windows and a sample of the
# fault sweep's faulted runs (every VESK_MEMCHECK_SAMPLE-th, 12 by default).
# A read of memory that was never written, a read or write out of bounds, a
# use after free or a jump on an uninitialised value fails the stage, with
# the place it happened and where the memory came from. Leaks are
# LeakSanitizer's business in the asan build.
#
# The simulator's own operator new, which counts each program's blocks, is
# kept (nouserintercepts): its blocks come from malloc, which memcheck still
# watches, and it tells memcheck that a fresh block is unwritten and that the
# guard after it is out of bounds. With valgrind's operator new in its place
# no program block would be counted, and the tests of the counts would fail.
#   scripts/memcheck.sh BUILD_DIR      (a build with tests, not sanitized)
set -uo pipefail
build=${1:?usage: scripts/memcheck.sh BUILD_DIR}
binary=$build/tests/vesk_tests
if [ ! -x "$binary" ]; then
  echo "memcheck: no $binary: build the tests first"
  echo "memcheck: 0 passed, 1 failed"
  exit 1
fi
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed"; echo "memcheck: 0 passed, 1 failed"; exit 1; }

passed=0
failed=0
errors=0
start=$SECONDS
# One valgrind run a group, so that a failure names its group.
run() {
  local name=$1 filter=$2 log
  log=$(mktemp)
  echo "-- memcheck: $name"
  VESK_FAULT_SWEEP_SAMPLE=${VESK_MEMCHECK_SAMPLE:-12} \
    valgrind --tool=memcheck --error-exitcode=99 --track-origins=yes --leak-check=no --num-callers=30 \
      --soname-synonyms=somalloc=nouserintercepts \
    "$binary" --gtest_filter="$filter" --gtest_brief=1 >"$log" 2>&1
  local rc=$?
  local n
  n=$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$log" | sed -E 's/.* ([0-9]+) tests?.*/\1/')
  passed=$((passed + ${n:-0}))
  local f
  f=$(grep -cE '^\[  FAILED  \] [A-Za-z]' "$log")
  local e
  e=$(sed -nE 's/^==[0-9]+== ERROR SUMMARY: ([0-9]+) errors.*/\1/p' "$log" | tail -n 1)
  errors=$((errors + ${e:-0}))
  if [ "$rc" -ne 0 ]; then
    # Everything valgrind said, then the tests that failed.
    grep -E '^==[0-9]+==' "$log" | head -n 200
    grep -E '^\[  FAILED  \]' "$log"
    echo "memcheck: $name: exit $rc, ${e:-?} memcheck errors"
    failed=$((failed + ${f:-0} + 1))
  fi
  rm -f "$log"
}

run scenarios 'E2e/Scenario.*:Windows/ScrolledTaskMenu.*:Screens/Rotation.*'
run hostile 'Hostile.*:Faults.*'
run "fault sweep (every ${VESK_MEMCHECK_SAMPLE:-12}th faulted run)" 'Scenarios/FaultSweep.*'

echo "memcheck: $errors errors, in $((SECONDS - start)) s"
echo "memcheck: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
