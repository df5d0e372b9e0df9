#!/usr/bin/env bash
# What vesk costs on a device: the ARM instructions executed inside the
# image of build/wince/vesk.exe (its own code and the C runtime linked into
# it; the platform's functions it calls are not counted) while the simulated
# device of the ARM build runs it, counted by qemu-arm, which logs every
# instruction it executes in that address range (-singlestep -d exec,nochain
# -dfilter). Each case runs vesk_bench_ops with 0 and with N operations;
# the difference over N is one operation's count, so booting the device and
# starting vesk count for nothing. Checks the scaling targets (a menu of 50
# tasks at most 6 times one of 10, titles of 100,000 characters at most 150
# times titles of 1,000) and prints the headline: a tap on the strip that
# opens a 20-task menu, in instructions and in microseconds on a 200 MHz ARM
# (one instruction a cycle). Ends with "arm-bench: N passed, N failed".
#   bench/arm-instructions.sh [ARM_BUILD] [EXE]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/arm}
exe=${2:-build/wince/vesk.exe}
ops=$build/bench/vesk_bench_ops
if [ ! -x "$ops" ] || [ ! -f "$exe" ]; then
  echo "arm-bench: needs $ops (preset arm) and $exe (the Windows CE stage)"
  echo "arm-bench: 0 passed, 0 failed, 3 skipped"
  exit 0
fi

# The image's address range, from its PE header: the base and the size.
word() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }
pe=$(word "$exe" 60)
base=$(word "$exe" $((pe + 24 + 28)))
size=$(word "$exe" $((pe + 24 + 56)))
range=$(printf '0x%x+0x%x' "$base" "$size")

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Instructions inside the image for one run of vesk_bench_ops ARGS...
inside() {
  rm -f "$log"
  if ! VESK_DEVICE_EXE=$exe qemu-arm -singlestep -d exec,nochain -dfilter "$range" -D "$log" "$ops" "$@" >/dev/null; then
    echo "vesk_bench_ops $* failed" >&2
    return 1
  fi
  grep -c '^Trace' "$log"
}
# One operation: (ARGS... N) minus (ARGS... 0), over N.
per() {
  local n=$1 with without
  shift
  without=$(inside "$@" 0) && with=$(inside "$@" "$n") || return 1
  echo $(((with - without) / n))
}

. "$(dirname "${BASH_SOURCE[0]}")/instructions.sh"

echo "ARM instructions inside $exe ($range), counted by qemu-arm; one operation each"
paint=$(per 4 paint)
echo "  one paint of the face: ${paint:-not measured} instructions"
[ -n "$paint" ] && [ "$paint" -gt 0 ] && passed=$((passed + 1)) || failed=$((failed + 1))
menu10=$(per 2 menu 10 10)
menu20=$(per 2 menu 20 20)
menu50=$(per 2 menu 50 50)
echo "  one showing of the task menu: 10 tasks ${menu10:-?}, 20 tasks ${menu20:-?}, 50 tasks ${menu50:-?} instructions"
check "task menu, 50 / 10 tasks" "$menu10" "$menu50" 6
title1k=$(per 2 menu-titles 1 1000)
title100k=$(per 2 menu-titles 1 100000)
echo "  a menu of one task whose title has 1,000 characters: ${title1k:-?}, 100,000: ${title100k:-?} instructions"
check "menu titles, 100,000 / 1,000 characters" "$title1k" "$title100k" 150
if [ -n "$menu20" ]; then
  echo "headline: a tap on the strip that opens a 20-task menu costs $menu20 ARM instructions of vesk's own," \
    "$(awk -v n="$menu20" 'BEGIN { printf "%.0f", n / 200 }') microseconds on a 200 MHz ARM"
fi
echo "arm-bench: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
