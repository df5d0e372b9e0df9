#!/usr/bin/env bash
# Builds vesk's benchmarks in Release and prints one table: Google Benchmark
# times and callgrind instruction counts of a paint of the button, of one
# showing of the task menu (10, 50 and 200 windows over 10 and 50 processes)
# and of DrawTextFit (10, 1,000 and 100,000 characters), with the scaling
# between sizes and the targets they are held to:
#   - the task menu: 50 windows cost at most 6 times 10 windows (same processes);
#   - DrawTextFit: 100,000 characters cost at most 500 times 1,000.
# Usage: bench/run.sh   (builds with the bench preset, into build/bench)
# Exits non-zero if a target is missed or a benchmark fails.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/bench
scripts/deps.sh bench || exit 1

jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --preset bench >/dev/null || exit 1
cmake --build --preset bench -j"$jobs" >/dev/null || exit 1
bench="$build/bench/vesk_bench"
ops="$build/bench/vesk_bench_ops"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Google Benchmark: the median of 5 repetitions, in microseconds: the task
# menu's wall time (it runs on vesk's own thread), the CPU time of the others.
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv \
  >"$out/bench.csv" 2>"$out/bench.err" || { cat "$out/bench.err"; exit 1; }
if grep -q ',true,' "$out/bench.csv"; then grep ',true,' "$out/bench.csv"; exit 1; fi
median() { # name -> microseconds
  awk -F, -v n="\"$1_median\"" '
    $1 == n {
      t = (n ~ /real_time/) ? $3 : $4
      f = ($5 == "ns") ? 0.001 : ($5 == "ms") ? 1000 : ($5 == "s") ? 1000000 : 1
      printf "%.1f", t * f
    }' "$out/bench.csv"
}

. "$(dirname "${BASH_SOURCE[0]}")/instructions.sh"

status=0
declare -A time ir
row() { # key label
  printf '%-34s %12s us %14s Ir\n' "$2" "${time[$1]}" "${ir[$1]}"
}

time[paint]=$(median BM_Paint)
ir[paint]=$(instructions 20 paint) || status=1
for p in 10 50; do
  for w in 10 50 200; do
    time[menu_${w}_$p]=$(median "BM_TaskMenu/windows:$w/processes:$p/real_time")
    ir[menu_${w}_$p]=$(instructions 3 menu "$w" "$p") || status=1
  done
done
for c in 10 1000 100000; do
  time[fit_$c]=$(median "BM_DrawTextFit/characters:$c")
  ir[fit_$c]=$(instructions 20 textfit "$c") || status=1
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
check() { # label value limit
  local ok
  ok=$(awk -v v="$2" -v l="$3" 'BEGIN { print (v != "n/a" && v <= l) ? "ok" : "MISSED" }')
  printf '  %-44s %8s (target <= %s) %s\n' "$1" "$2" "$3" "$ok"
  [ "$ok" = ok ] || status=1
}

echo "vesk benchmarks, $(nproc) cores, $(date -u +%Y-%m-%d)"
echo
printf '%-34s %15s %17s\n' "operation" "median time" "instructions"
row paint "paint of the button"
for p in 10 50; do
  for w in 10 50 200; do row "menu_${w}_$p" "task menu, $w windows / $p processes"; done
done
for c in 10 1000 100000; do row "fit_$c" "DrawTextFit, $c characters"; done
echo
echo "scaling (time, then instructions)"
for p in 10 50; do
  check "task menu 50/10 windows, $p processes, time" "$(ratio "${time[menu_50_$p]}" "${time[menu_10_$p]}")" 6
  check "task menu 50/10 windows, $p processes, Ir" "$(ratio "${ir[menu_50_$p]}" "${ir[menu_10_$p]}")" 6
  printf '  %-44s %8s\n' "task menu 200/50 windows, $p processes, Ir" "$(ratio "${ir[menu_200_$p]}" "${ir[menu_50_$p]}")"
done
check "DrawTextFit 100,000/1,000 characters, time" "$(ratio "${time[fit_100000]}" "${time[fit_1000]}")" 500
check "DrawTextFit 100,000/1,000 characters, Ir" "$(ratio "${ir[fit_100000]}" "${ir[fit_1000]}")" 500
echo "  DrawTextFit draws what the rule gives for every size (checked before timing)"
exit $status
