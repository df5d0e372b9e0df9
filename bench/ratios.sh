#!/usr/bin/env bash
# The benchmarks' scaling targets as a check: callgrind instruction counts
# (repeatable to the instruction) of one showing of the task menu at 10 and
# at 50 windows (10 processes), and of DrawTextFit at 1,000 and at 100,000
# characters. Fails when the menu at 50 windows costs more than 6 times the
# menu at 10, or DrawTextFit on 100,000 characters more than 500 times its
# cost on 1,000. Ends with "bench: N passed, N failed[, N skipped]".
# Usage: bench/ratios.sh [build-dir]   (default build/default; vesk_bench_ops is
# built there if it is missing)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
ops="$build/bench/vesk_bench_ops"

if ! command -v valgrind >/dev/null 2>&1; then
  echo "bench: valgrind is not installed (scripts/deps.sh installs it): not measured"
  echo "bench: 0 passed, 0 failed, 2 skipped"
  exit 0
fi
if [ ! -x "$ops" ]; then
  cmake --build "$build" --target vesk_bench_ops -j2 >/dev/null || {
    echo "bench: cannot build vesk_bench_ops in $build"
    echo "bench: 0 passed, 2 failed"
    exit 1
  }
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

. "$(dirname "${BASH_SOURCE[0]}")/instructions.sh"


commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
git diff --quiet HEAD -- src 2>/dev/null || commit="$commit with uncommitted changes to src/"
echo "instruction counts (callgrind) of $ops, commit $commit"
menu10=$(instructions 2 menu 10 10)
menu50=$(instructions 2 menu 50 10)
check "task menu, 50 / 10 windows (10 processes)" "$menu10" "$menu50" 6
fit1k=$(instructions 10 textfit 1000)
fit100k=$(instructions 10 textfit 100000)
check "DrawTextFit, 100,000 / 1,000 characters" "$fit1k" "$fit100k" 500
# The same targets for the shipped vesk.exe, in ARM instructions under
# qemu-arm (bench/arm-instructions.sh), where the ARM build and the device
# build are there.
arm_log=$out/arm.log
bench/arm-instructions.sh build/arm build/wince/vesk.exe | tee "$arm_log"
arm_line=$(grep -E '^arm-bench: ' "$arm_log" | tail -n 1)
arm_passed=$(echo "$arm_line" | sed -nE 's/.* ([0-9]+) passed.*/\1/p')
arm_failed=$(echo "$arm_line" | sed -nE 's/.* ([0-9]+) failed.*/\1/p')
arm_skipped=$(echo "$arm_line" | sed -nE 's/.* ([0-9]+) skipped.*/\1/p')
passed=$((passed + ${arm_passed:-0}))
failed=$((failed + ${arm_failed:-1}))
echo "bench: $passed passed, $failed failed, ${arm_skipped:-0} skipped"
[ "$failed" -eq 0 ]
