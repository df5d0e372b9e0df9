# Sourced by bench/run.sh, bench/ratios.sh and bench/arm-instructions.sh:
# callgrind's count of the instructions of one operation (needs $ops, the
# operations program, and $out, a folder for callgrind's files), and the
# check of a scaling target, counted in $passed and $failed.

# Instructions of N operations minus those of none, over N: booting the
# device and starting vesk count for nothing.
instructions() { # count args...
  local n=$1 base full
  shift
  valgrind --tool=callgrind --callgrind-out-file="$out/cg0" "$ops" "$@" 0 >/dev/null 2>&1 || return 1
  valgrind --tool=callgrind --callgrind-out-file="$out/cgN" "$ops" "$@" "$n" >/dev/null 2>&1 || return 1
  base=$(awk '/^(summary|totals):/ { print $2; exit }' "$out/cg0")
  full=$(awk '/^(summary|totals):/ { print $2; exit }' "$out/cgN")
  [ -n "$base" ] && [ -n "$full" ] || return 1
  echo $(((full - base) / n))
}

# A scaling target: LARGE / SMALL at most LIMIT.
passed=0
failed=0
check() { # label small large limit
  local label=$1 small=$2 large=$3 limit=$4 ratio verdict
  if [ -z "$small" ] || [ -z "$large" ] || [ "$small" -le 0 ]; then
    echo "  $label: not measured (a run failed) FAILED"
    failed=$((failed + 1))
    return
  fi
  ratio=$(awk -v a="$large" -v b="$small" 'BEGIN { printf "%.2f", a / b }')
  verdict=$(awk -v r="$ratio" -v l="$limit" 'BEGIN { print (r <= l) ? "ok" : "FAILED" }')
  printf '  %s: %s / %s instructions = %sx (at most %sx) %s\n' "$label" "$large" "$small" "$ratio" "$limit" "$verdict"
  if [ "$verdict" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
