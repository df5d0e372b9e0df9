# The one reader of test summaries, sourced by test.sh and the stage
# scripts. Each adds the counts of a log's last summary line to the shell
# variables passed, failed and skipped (set them to 0 first), and returns 1,
# counting one failure, when the log has no such line.

# "NAME: N passed, N failed" or "NAME: N passed, N failed, N skipped"; NAME
# is a regular expression, any lower-case name by default.
summary_add() {
  local log=$1 name=${2:-[a-z0-9_-]+} line
  line=$(grep -E "^($name): [0-9]+ passed, [0-9]+ failed" "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return 1
  fi
  passed=$((passed + $(sed -E 's/^[^:]*: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* passed, ([0-9]+) failed.*/\1/' <<<"$line")))
  if grep -qE 'failed, [0-9]+ skipped' <<<"$line"; then
    skipped=$((skipped + $(sed -E 's/.*failed, ([0-9]+) skipped.*/\1/' <<<"$line")))
  fi
}

# ctest's "NN% tests passed, N tests failed out of N".
summary_add_ctest() {
  local log=$1 line total fails
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return 1
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}
