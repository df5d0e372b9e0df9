#!/usr/bin/env bash
# The simulator at the device's word size: builds the simulator, vesk-sim and
# the tests for 32-bit ARM Linux (preset arm), runs the test suites under
# qemu-arm, then plays every scenario of tests/e2e and the demo tour with
# the x86-64 vesk-sim of SIM_BUILD and with the ARM one, and compares their
# event logs and screenshots byte for byte.
#
#   scripts/arm-stage.sh [SIM_BUILD]      SIM_BUILD: build/default by default
#
# Makes the armel sysroot first (scripts/arm-sysroot.sh). Without the cross
# compiler or qemu-arm the stage is skipped with the reason. Ends with
# "arm: N passed, N failed, N skipped" (each test of ctest counts, as does
# each comparison) and a non-zero status on any failure.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SIM_BUILD=${1:-$ROOT/build/default}
[ -d "$SIM_BUILD" ] && SIM_BUILD=$(cd "$SIM_BUILD" && pwd)
ARM_BUILD=$ROOT/build/arm
OUT=$ARM_BUILD/stage
LOG=$OUT/log
started=$SECONDS
. "$ROOT/scripts/summary.sh"

passed=0
failed=0
skipped=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
skip() { echo "SKIP $*"; skipped=$((skipped + 1)); }
say() { printf '== %3d s  %s\n' "$((SECONDS - started))" "$*"; }
finish() {
  say "done"
  echo "arm: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit
}

"$ROOT/scripts/deps.sh" arm || echo "scripts/deps.sh arm failed; going on with what is installed"
missing=()
command -v arm-linux-gnueabi-g++ >/dev/null || missing+=("arm-linux-gnueabi-g++ (g++-arm-linux-gnueabi)")
command -v qemu-arm >/dev/null || missing+=("qemu-arm (qemu-user)")
if [ ${#missing[@]} -gt 0 ]; then
  skip "the 32-bit ARM build: no ${missing[*]}"
  finish
fi

rm -rf "$OUT" && mkdir -p "$LOG"

say "the armel sysroot (FreeType, libpng, zlib, brotli)"
if ! "$ROOT/scripts/arm-sysroot.sh"; then
  fail "the armel sysroot (scripts/arm-sysroot.sh)"
  finish
fi

say "building preset arm in $ARM_BUILD"
if ! (cd "$ROOT" && cmake --preset arm >"$LOG/configure.log" 2>&1); then
  tail -n 30 "$LOG/configure.log"
  fail "configuring preset arm"
  finish
fi
if ! (cd "$ROOT" && cmake --build --preset arm -j2 >"$LOG/build.log" 2>&1); then
  grep -E 'error|Error' "$LOG/build.log" | head -n 40
  fail "building preset arm (32-bit ARM, warnings as errors)"
  finish
fi
command -v file >/dev/null && echo "vesk-sim: $(file -b "$ARM_BUILD/tools/vesk-sim/vesk-sim" | cut -d, -f1-4)"

# The build compiles win32/wince/record_layout.cpp against sim/include: it
# got here only if every size and offset is the device's.
pass "sim/include has the device's record layouts (win32/wince/device_records.inc, at compile time)"

say "ctest --preset arm under qemu-arm"
# About ten times the native time: 4 to 7 minutes at -j2 on two cores.
echo "every suite of the native build runs, the fault sweep whole (one faulted run per distinct situation, as natively);"
echo "the test of vesk-sim's window is skipped: this vesk-sim has none (no SDL2 for ARM)"
ctest_started=$SECONDS
(cd "$ROOT" && ctest --preset arm -j2) >"$LOG/ctest.log" 2>&1
grep -E -v '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|^ +Start +[0-9]+: ' "$LOG/ctest.log"
summary_add_ctest "$LOG/ctest.log"
# ctest counts a skipped test as run; here it counts as skipped.
ctest_skipped=$(grep -c '(Skipped)$' "$LOG/ctest.log")
passed=$((passed - ctest_skipped))
skipped=$((skipped + ctest_skipped))
echo "ctest --preset arm: $((SECONDS - ctest_started)) s"

# --- The same scenarios on both machines --------------------------------------
X86_SIM=$SIM_BUILD/tools/vesk-sim/vesk-sim
ARM_SIM=$ARM_BUILD/tools/vesk-sim/vesk-sim
scenarios=("$ROOT"/tests/e2e/*.vsk)
if [ ! -x "$X86_SIM" ] && [ -f "$SIM_BUILD/CMakeCache.txt" ]; then
  cmake --build "$SIM_BUILD" -j2 --target vesk-sim >"$LOG/x86-build.log" 2>&1
fi
if [ ! -x "$X86_SIM" ]; then
  for s in "${scenarios[@]}" demo; do skip "$(basename "$s" .vsk): no x86-64 vesk-sim in $SIM_BUILD"; done
  finish
fi
say "the scenarios of tests/e2e and the demo tour: $X86_SIM against qemu-arm $ARM_SIM"

# The first difference between the outputs of one scenario in $1 and $2, or
# nothing; $3 and $4 name the two runs (x86-64 and ARM by default).
first_difference() {
  local a=$1 b=$2 A=${3:-x86-64} B=${4:-ARM} f line
  local only
  only=$(diff <(find "$a" -type f -printf '%P\n' | sort) <(find "$b" -type f -printf '%P\n' | sort) | grep -E '^[<>]' | head -n 1)
  if [ -n "$only" ]; then
    case $only in
      "<"*) echo "only the $A run wrote ${only#< }" ;;
      *) echo "only the $B run wrote ${only#> }" ;;
    esac
    return
  fi
  [ -f "$a/events.log" ] || { echo "no events.log"; return; }
  if ! cmp -s "$a/events.log" "$b/events.log"; then
    line=$(cmp "$a/events.log" "$b/events.log" 2>&1 | sed -nE 's/.* line ([0-9]+).*/\1/p')
    if [ -n "$line" ]; then
      echo "events.log line $line: $A '$(sed -n "${line}p" "$a/events.log")', $B '$(sed -n "${line}p" "$b/events.log")'"
    else
      echo "events.log: $(cmp "$a/events.log" "$b/events.log" 2>&1)"
    fi
    return
  fi
  while IFS= read -r f; do
    if ! cmp -s "$a/$f" "$b/$f"; then
      echo "$f differs: first at $(cmp "$a/$f" "$b/$f" 2>&1 | grep -oE 'byte [0-9]+' | head -n 1) ($A $(stat -c %s "$a/$f") bytes, $B $(stat -c %s "$b/$f"))"
      return
    fi
  done < <(find "$a" -type f -name '*.png' -printf '%P\n' | sort)
}

# Plays one scenario (the demo tour for "demo") on both and compares.
compare() {
  local name=$1 script=$2 x86_code arm_code diff shots
  local x86_out=$OUT/x86-64/$name arm_out=$OUT/arm/$name
  if [ "$name" = demo ]; then
    timeout 300 "$X86_SIM" --demo "$x86_out" >"$LOG/$name.x86-64.out" 2>&1
    x86_code=$?
    timeout 600 qemu-arm "$ARM_SIM" --demo "$arm_out" >"$LOG/$name.arm.out" 2>&1
    arm_code=$?
  else
    timeout 300 "$X86_SIM" --script "$script" --out "$x86_out" >"$LOG/$name.x86-64.out" 2>&1
    x86_code=$?
    timeout 600 qemu-arm "$ARM_SIM" --script "$script" --out "$arm_out" >"$LOG/$name.arm.out" 2>&1
    arm_code=$?
  fi
  if [ "$x86_code" -ne "$arm_code" ]; then
    fail "$name: vesk-sim exits with $x86_code on x86-64, $arm_code on ARM ($(tail -n 1 "$LOG/$name.arm.out"))"
    return
  fi
  if [ "$x86_code" -ne 0 ]; then
    fail "$name: vesk-sim exits with $x86_code on both ($(tail -n 1 "$LOG/$name.x86-64.out"))"
    return
  fi
  diff=$(first_difference "$x86_out" "$arm_out")
  if [ -n "$diff" ]; then
    fail "$name: $diff"
  else
    shots=$(find "$x86_out" -type f -name '*.png' | wc -l)
    pass "$name: events.log and $shots shots identical"
  fi
}

# The host's windres compiles vesk.rc for both builds; the bytes are the same.
if cmp -s "$SIM_BUILD/res/vesk.res" "$ARM_BUILD/res/vesk.res"; then
  pass "vesk.res: the ARM build's resources are the x86-64 build's, byte for byte"
else
  fail "vesk.res: the ARM build's differ from $SIM_BUILD/res/vesk.res ($(cmp "$SIM_BUILD/res/vesk.res" "$ARM_BUILD/res/vesk.res" 2>&1))"
fi
# The scenarios with the files they name beside them: the cabinet that
# install_startup installs is the build's (around a stand-in for vesk.exe).
mkdir -p "$OUT/scripts/sim" "$OUT/scripts/exe"
cp "$ROOT"/tests/e2e/* "$OUT/scripts/sim/"
cp "$ROOT"/tests/e2e/* "$OUT/scripts/exe/"
[ -f "$SIM_BUILD/tests/e2e/vesk.cab" ] && cp "$SIM_BUILD/tests/e2e/vesk.cab" "$OUT/scripts/sim/"
for s in "${scenarios[@]}"; do n=$(basename "$s" .vsk); compare "$n" "$OUT/scripts/sim/$n.vsk"; done
compare demo ""

# --- The shipped vesk.exe on the simulated device ----------------------------
# The Windows CE stage's build/wince/vesk.exe, the ARM code that a Pocket PC
# user installs, loaded by the simulator's loader with its imports bound to
# the platform's own functions, plays every scenario and the demo tour; each
# events.log and screenshot must be the source-built vesk's on this build.
EXE=$ROOT/build/wince/vesk.exe
if [ ! -f "$EXE" ]; then
  for s in "${scenarios[@]}" demo; do
    skip "$(basename "$s" .vsk) played by vesk.exe: no $EXE (the Windows CE stage, win32/wince/check.sh, builds it)"
  done
  finish
fi
say "$EXE ($(stat -c %s "$EXE") bytes) plays every scenario and the demo tour on the ARM build"
play_exe() {
  local name=$1 script=$2 code out=$OUT/vesk.exe/$1 ref=$OUT/arm/$1 diff shots
  if [ "$name" = demo ]; then
    timeout 600 qemu-arm "$ARM_SIM" --exe "$EXE" --demo "$out" >"$LOG/$name.exe.out" 2>&1
  else
    timeout 600 qemu-arm "$ARM_SIM" --exe "$EXE" --script "$script" --out "$out" >"$LOG/$name.exe.out" 2>&1
  fi
  code=$?
  if [ "$code" -ne 0 ]; then
    fail "$name played by vesk.exe: vesk-sim exits with $code ($(tail -n 2 "$LOG/$name.exe.out" | tr '\n' ' '))"
    return
  fi
  diff=$(first_difference "$ref" "$out" "source-built" "vesk.exe")
  if [ -n "$diff" ]; then
    fail "$name played by vesk.exe: $diff"
  else
    shots=$(find "$out" -type f -name '*.png' | wc -l)
    pass "$name played by vesk.exe: events.log and $shots shots identical to the source-built vesk's"
  fi
}
# install_startup installs the cabinet of the Windows CE stage, which holds
# this very vesk.exe; the shell starts it from \Program Files\vesk.
if [ -f "$ROOT/build/wince/vesk.cab" ]; then
  cp "$ROOT/build/wince/vesk.cab" "$OUT/scripts/exe/"
else
  cp "$SIM_BUILD/tests/e2e/vesk.cab" "$OUT/scripts/exe/" 2>/dev/null
  echo "no build/wince/vesk.cab: install_startup installs the build's stand-in cabinet"
fi
for s in "${scenarios[@]}"; do n=$(basename "$s" .vsk); play_exe "$n" "$OUT/scripts/exe/$n.vsk"; done
play_exe demo ""

# The device's loader refuses what a device would not start, naming the file
# and the reason, with exit code 2.
say "the loader's refusals"
refuse() { # label file expected-reason
  local label=$1 file=$2 reason=$3 msg code
  msg=$(timeout 60 qemu-arm "$ARM_SIM" --exe "$file" --script "$ROOT/tests/e2e/close_zone.vsk" --out "$OUT/refused" 2>&1)
  code=$?
  echo "  $msg"
  if [ "$code" -eq 2 ] && [[ $msg == *"$file: $reason"* ]]; then
    pass "the loader refuses $label (exit 2)"
  else
    fail "the loader refuses $label: exit $code, wanted 2 and \"$reason\""
  fi
}
head -c 1000 "$EXE" >"$OUT/cut.exe"
refuse "an image cut short" "$OUT/cut.exe" "truncated or malformed image"
# One import renamed to a name no device DLL exports (same length).
perl -pe 's/Ellipse\0/Ellipsx\0/' "$EXE" >"$OUT/ellipsx.exe"
refuse "an import the device lacks" "$OUT/ellipsx.exe" "COREDLL.dll does not export Ellipsx"
# The machine field of the PE header changed to x86's.
perl -0777 -pe 'my $pe = unpack("V", substr($_, 0x3c, 4)); substr($_, $pe + 4, 2) = pack("v", 0x14c);' "$EXE" >"$OUT/x86.exe"
refuse "an image for another processor" "$OUT/x86.exe" "machine 0x14c, not ARM (0x1c0)"
perl -0777 -pe 'my $pe = unpack("V", substr($_, 0x3c, 4)); substr($_, $pe + 24 + 68, 2) = pack("v", 2);' "$EXE" >"$OUT/gui.exe"
refuse "a desktop subsystem" "$OUT/gui.exe" "subsystem 2, not Windows CE GUI (9)"

# The stage can fail: a vesk.exe built by the same toolchain from a copy of
# the sources whose close zone minimizes the application in front instead of
# closing it must fail close_zone.
TOOLCHAIN=$ROOT/build/wince/toolchain/arm-mingw32ce
if [ -x "$TOOLCHAIN/bin/arm-mingw32ce-g++" ]; then
  say "a vesk.exe built from a broken copy of the sources plays close_zone"
  broken=$OUT/broken
  mkdir -p "$broken/sim"
  cp -r "$ROOT/src" "$ROOT/res" "$ROOT/cmake" "$ROOT/win32" "$broken/"
  cp -r "$ROOT/sim/include" "$broken/sim/"
  sed -i 's/ActOnFront(CloseTaskWindow);/ActOnFront(MinimizeWindow);/' "$broken/src/button/pen.cpp"
  if ! grep -q 'ActOnFront(MinimizeWindow);' "$broken/src/button/pen.cpp" ||
    ! cmake -S "$broken/win32/wince" -B "$broken/build" -DCMAKE_TOOLCHAIN_FILE="$broken/cmake/arm-mingw32ce.cmake" \
      -DVESK_CE_TOOLCHAIN="$TOOLCHAIN" >"$LOG/broken.log" 2>&1 ||
    ! cmake --build "$broken/build" -j2 --target vesk >>"$LOG/broken.log" 2>&1; then
    fail "building vesk.exe from the broken copy (see $LOG/broken.log)"
  else
    timeout 600 qemu-arm "$ARM_SIM" --exe "$broken/build/vesk.exe" --script "$OUT/scripts/exe/close_zone.vsk" \
      --out "$OUT/broken-out" >"$LOG/broken.out" 2>&1
    code=$?
    head -n 2 "$LOG/broken.out" | sed 's/^/  /'
    if [ "$code" -eq 1 ]; then
      pass "a vesk.exe whose close zone minimizes fails close_zone (exit 1)"
    else
      fail "a vesk.exe whose close zone minimizes: close_zone exits with $code, not 1"
    fi
  fi
else
  skip "a vesk.exe built from a broken copy of the sources: no toolchain in $TOOLCHAIN (the Windows CE stage unpacks it)"
fi

# The fault sweep of three scenarios and the hostile windows, against vesk.exe.
say "the fault sweep of close_zone, menu_choices and drag_down, and the hostile windows, against vesk.exe"
filter='Scenarios/FaultSweep.*/close_zone:Scenarios/FaultSweep.*/menu_choices:Scenarios/FaultSweep.*/drag_down:Hostile.*'
VESK_DEVICE_EXE=$EXE timeout 1800 qemu-arm "$ARM_BUILD/tests/vesk_tests" --gtest_filter="$filter" \
  >"$LOG/exe-tests.log" 2>&1
code=$?
grep -E '^\[ +(OK|FAILED|SKIPPED) +\]|sweep|calls' "$LOG/exe-tests.log" | grep -v ' tests\?,' | head -n 60
ok=$(grep -cE '^\[ +OK +\]' "$LOG/exe-tests.log")
bad=$(grep -cE '^\[ +FAILED +\] [A-Za-z]' "$LOG/exe-tests.log")
passed=$((passed + ok))
failed=$((failed + bad))
if [ "$code" -ne 0 ] && [ "$bad" -eq 0 ]; then fail "vesk_tests against vesk.exe exits with $code"; fi
[ "$ok" -gt 0 ] || fail "vesk_tests against vesk.exe ran nothing"
finish
