# Sourced by bench/run.sh and bench/ratios.sh: callgrind's count of the
# instructions of one operation. Needs $ops (the operations program) and $out
# (a folder for callgrind's files).

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
