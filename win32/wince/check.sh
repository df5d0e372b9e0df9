#!/usr/bin/env bash
# vesk for Windows CE devices: builds the device executable and checks it
# against what a Pocket PC and Windows CE 5 and 6 offer.
#
#   win32/wince/check.sh [MAIN_BUILD]
#
# 1. Against the CE SDK's headers and export lists (ce-sdk), with Debian's
#    clang, lld, llvm-rc and llvm-dlltool: every source of src/ and res/vesk.rc
#    compile for a 32-bit ARM Windows target with _WIN32_WCE=0x420 and UNDER_CE,
#    warnings as errors; the records vesk hands the platform have the device's
#    sizes and field offsets (device_records.inc, which the simulator's ARM
#    build checks too); the objects link against import libraries made from
#    coredll.def (CE 5) and from coredll6.def (CE 6), plus toolhelp, aygshell,
#    commctrl and ceshell, with no unresolved function.
# 2. The device build (cegcc): unpacks the arm-mingw32ce cross toolchain into
#    build/wince/toolchain, builds build/wince/vesk.exe with win32/wince's
#    CMake recipe and reads the executable as the device's loader would
#    (pe_check): machine, subsystem, CE version, imports against the export
#    lists of CE 5 and CE 6, and the resources, byte for byte as the simulator
#    loads them from MAIN_BUILD/res/vesk.res.
# 3. The installation cabinet: build/wince/vesk.cab (cab_make writes its
#    control file, Debian's gcab the cabinet), read by cab_check as the
#    device's installer reads it and by Debian's cabextract; built twice to
#    show the same vesk.exe gives the same bytes. cab_check also reads the
#    real cabinets of ../shared/ce-cab, which Microsoft's CabWiz made.
#
# The CE SDK, the toolchain and the real cabinets are found in ../shared beside the repository
# (VESK_SHARED overrides it). Checks whose input is missing are skipped and
# say why. Ends with "wince: N passed, N failed, N skipped" and a non-zero
# status on any failure.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SHARED=${VESK_SHARED:-$ROOT/../shared}
SDK=$SHARED/ce-sdk
CEGCC=$SHARED/cegcc/arm-mingw32ce.tar.xz
OUT=$ROOT/build/wince
MAIN_BUILD=${1:-}
LOG=$OUT/log
rm -rf "$LOG" && mkdir -p "$LOG" "$OUT/tools"

passed=0
failed=0
skipped=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
skip() { echo "SKIP $*"; skipped=$((skipped + 1)); }
finish() {
  echo "wince: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit
}
# Counts the PASS and FAIL lines of a pe_check run.
count_pe_check() {
  passed=$((passed + $(grep -c '^PASS ' "$1")))
  failed=$((failed + $(grep -c '^FAIL ' "$1")))
}

# The device DLLs' export lists, per release, as pe_check takes them.
libs() { echo "$SDK/lib/$1.def,$SDK/lib/toolhelp.def,$SDK/lib/aygshell.def,$SDK/lib/commctrl.def,$SDK/lib/ceshell.def"; }
have_sdk=1
for f in include/windows.h crt/include/stdlib.h lib/coredll.def lib/coredll6.def lib/toolhelp.def \
  lib/aygshell.def lib/commctrl.def lib/ceshell.def; do
  [ -f "$SDK/$f" ] || have_sdk=0
done
[ "$have_sdk" -eq 1 ] || echo "no Windows CE SDK in $SDK (set VESK_SHARED): the checks against it are skipped"

# vesk's sources, from the one list in cmake/vesk.cmake.
cat >"$OUT/tools/sources.cmake" <<EOF
include("$ROOT/cmake/vesk.cmake")
foreach(s \${VESK_SOURCES})
  message(STATUS "\${s}")
endforeach()
EOF
mapfile -t sources < <(cmake -P "$OUT/tools/sources.cmake" | sed -n 's/^-- //p')
[ "${#sources[@]}" -gt 0 ] || { fail "no sources listed by cmake/vesk.cmake"; finish; }

echo "== the executable reader (pe_check)"
PE_CHECK=$OUT/tools/pe_check
if ! c++ -std=c++20 -O2 -Wall -Wextra -Werror -I "$ROOT/sim/include" "$ROOT/win32/wince/pe_check.cpp" -o "$PE_CHECK" 2>"$LOG/pe_check.log"; then
  cat "$LOG/pe_check.log"
  fail "pe_check does not build"
  finish
fi

echo "== the cabinet reader (cab_check)"
CAB_CHECK=$OUT/tools/cab_check
if ! c++ -std=c++20 -O2 -Wall -Wextra -Werror "$ROOT/win32/wince/cab_check.cpp" "$ROOT/win32/wince/cab_format.cpp" \
  -lz -o "$CAB_CHECK" 2>"$LOG/cab_check.log"; then
  cat "$LOG/cab_check.log"
  fail "cab_check does not build (it needs zlib1g-dev: scripts/deps.sh wince)"
  CAB_CHECK=""
fi

# --- real cabinets, made by Microsoft's CabWiz --------------------------------
echo "== real installation cabinets (cab_check on $SHARED/ce-cab)"
fixtures=(BenchmarkDotNet_PPC.ARMV4.CAB NSBasic.Showcase.CAB App.WM.CAB)
for f in "${fixtures[@]}"; do
  if [ -z "$CAB_CHECK" ]; then
    skip "$f: no cab_check"
  elif [ ! -f "$SHARED/ce-cab/$f" ]; then
    skip "$f: no real cabinets in $SHARED/ce-cab (set VESK_SHARED)"
  elif "$CAB_CHECK" "$SHARED/ce-cab/$f" >"$LOG/fixture-$f.out" 2>&1; then
    sed 's/^/  /' "$LOG/fixture-$f.out"
    pass "cab_check reads $f, a cabinet of CabWiz's, and finds it whole"
  else
    sed 's/^/  /' "$LOG/fixture-$f.out"
    fail "cab_check reads $f"
  fi
done

# --- 1. vesk against the CE SDK with clang ----------------------------------
echo "== vesk against the Windows CE 5 and 6 headers and export lists (clang, lld)"
CHECKS_SDK=5
if [ "$have_sdk" -eq 0 ]; then
  for _ in $(seq $CHECKS_SDK); do skip "no Windows CE SDK"; done
else
  C=$OUT/clang
  rm -rf "$C" && mkdir -p "$C"
  tools_ok=1
  for t in clang++ llvm-rc llvm-dlltool lld-link; do
    command -v $t >/dev/null || { echo "missing $t (scripts/deps.sh installs clang, lld and llvm)"; tools_ok=0; }
  done
  cxx=(clang++ -c --target=armv7-w64-windows-gnu -nostdinc -nostdinc++ -std=c++20 -O2
    -Wall -Wextra -Werror -fno-exceptions -fno-rtti
    -DARM -D_ARM_ -D_WIN32_WCE=0x420 -DUNDER_CE -DUNICODE -D_UNICODE
    -isystem "$ROOT/win32/wince/include" -isystem "$SDK/include" -isystem "$SDK/crt/include")
  [ "$tools_ok" -eq 1 ] && cxx+=(-isystem "$(clang -print-resource-dir)/include")
  cxx+=(-I "$ROOT/src" -I "$ROOT/res")

  bad=()
  objs=()
  if [ "$tools_ok" -eq 1 ]; then
    for s in "${sources[@]}" "$ROOT/win32/wince/ce_runtime.cpp"; do
      o=$C/$(basename "$s" .cpp).o
      "${cxx[@]}" "$s" -o "$o" 2>>"$LOG/clang.log" || bad+=("${s#"$ROOT"/}")
      objs+=("$o")
    done
  fi
  if [ "$tools_ok" -eq 1 ] && [ ${#bad[@]} -eq 0 ]; then
    pass "${#sources[@]} sources of src/ compile for 32-bit ARM against the CE headers, warnings as errors"
  else
    [ -f "$LOG/clang.log" ] && cat "$LOG/clang.log"
    fail "sources compile against the CE headers: ${bad[*]:-tools missing}"
  fi
  records=$(grep -c '^RECORD(' "$ROOT/win32/wince/device_records.inc")
  fields=$(grep -c '^FIELD(' "$ROOT/win32/wince/device_records.inc")
  if [ "$tools_ok" -eq 1 ] && "${cxx[@]}" "$ROOT/win32/wince/record_layout.cpp" -o "$C/record_layout.o" 2>"$LOG/layout.log"; then
    pass "record layouts on the 32-bit target: $records sizes (MENUITEMINFOW 44, PROCESSENTRY32 564, SHFILEINFO 692, LOGFONTW 92, ...) and $fields field offsets of win32/wince/device_records.inc"
  else
    [ -f "$LOG/layout.log" ] && cat "$LOG/layout.log"
    fail "record layouts on the 32-bit target (win32/wince/device_records.inc)"
  fi
  # llvm-rc reads a free argument that starts with '/' as a switch when it
  # looks like one (a clone under /check reads as /c...), so the script is
  # named relative to res/.
  if [ "$tools_ok" -eq 1 ] && (cd "$ROOT/res" && llvm-rc -I "$SDK/include" -I "$ROOT/res" \
    -D_WIN32_WCE=0x420 -DUNDER_CE -fo "$C/vesk.res" vesk.rc) >"$LOG/rc.log" 2>&1; then
    pass "res/vesk.rc compiles against the CE headers"
    objs+=("$C/vesk.res")
  else
    cat "$LOG/rc.log" 2>/dev/null
    fail "res/vesk.rc compiles against the CE headers"
  fi
  for release in "CE 5:coredll" "CE 6:coredll6"; do
    name=${release%%:*}
    core=${release#*:}
    exe=$C/vesk-${core}.exe
    implibs=()
    for d in $core toolhelp aygshell commctrl ceshell; do
      llvm-dlltool -m arm -d "$SDK/lib/$d.def" -l "$C/lib$d.a" 2>>"$LOG/dlltool.log" && implibs+=("$C/lib$d.a")
    done
    # lld names every function that no export list provides.
    if [ "$tools_ok" -eq 1 ] && [ ${#bad[@]} -eq 0 ] &&
      lld-link -machine:arm -subsystem:windows -entry:WinMainCRTStartup -nodefaultlib \
        -out:"$exe" "${objs[@]}" "${implibs[@]}" >"$LOG/link-$core.log" 2>&1; then
      if [ "$core" = coredll ]; then
        echo "-- the imports of vesk's code (with ce_runtime.cpp):"
        "$PE_CHECK" "$exe" --imports-only | grep -E '^(imports| )'
      fi
      pass "$name: every platform function vesk calls is exported ($core, toolhelp, aygshell, commctrl, ceshell)"
    else
      grep -E 'undefined symbol|referenced by' "$LOG/link-$core.log" 2>/dev/null
      fail "$name: vesk links against the device's export lists"
    fi
  done
fi

# --- 2. the device build with the CE cross toolchain --------------------------
echo "== the device build (arm-mingw32ce)"
# The build, then pe_check's checks: an executable, machine, subsystem, CE
# version, resources present, resource bytes, imports on CE 5 and on CE 6;
# and pe_check's refusals.
CHECKS_DEVICE=10
# The cabinet: built, cab_check's five checks, what it says, cabextract,
# built twice, vesk's own writer, cab_check's refusals.
CHECKS_CAB=11
if [ ! -f "$CEGCC" ]; then
  echo "no Windows CE cross toolchain at $CEGCC (set VESK_SHARED): the device build is skipped"
  for _ in $(seq $((CHECKS_DEVICE + CHECKS_CAB))); do skip "no cross toolchain"; done
  finish
fi

TOOLCHAIN=$OUT/toolchain
stamp="$(stat -c '%s %Y' "$CEGCC")"
if [ "$(cat "$TOOLCHAIN/.unpacked" 2>/dev/null)" != "$stamp" ]; then
  echo "unpacking $CEGCC into $TOOLCHAIN"
  rm -rf "$TOOLCHAIN" && mkdir -p "$TOOLCHAIN"
  tar -xJf "$CEGCC" -C "$TOOLCHAIN" && echo "$stamp" >"$TOOLCHAIN/.unpacked"
fi
rm -f "$OUT/vesk.exe" "$OUT/vesk.cab"
if ! cmake -S "$ROOT/win32/wince" -B "$OUT" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-mingw32ce.cmake" \
  -DVESK_CE_TOOLCHAIN="$TOOLCHAIN/arm-mingw32ce" >"$LOG/configure.log" 2>&1; then
  tail -n 30 "$LOG/configure.log"
  fail "device build: configuring win32/wince"
elif cmake --build "$OUT" -j2 >"$LOG/build.log" 2>&1 && [ -f "$OUT/vesk.exe" ]; then
  pass "device build: build/wince/vesk.exe (arm-mingw32ce, warnings as errors)"
else
  grep -E 'error|undefined reference|warning' "$LOG/build.log" | head -n 30
  fail "device build"
fi
if [ ! -f "$OUT/vesk.exe" ]; then
  for _ in $(seq $((CHECKS_DEVICE - 1 + CHECKS_CAB))); do skip "no device executable"; done
  finish
fi

before=$((passed + failed + skipped))
args=(--need 4/102 --need 14/101 --need 14/104 --need 16/1 --need CEUX/HI_RES_AWARE --version 4.20)
ref=""
[ -n "$MAIN_BUILD" ] && ref="$MAIN_BUILD/res/vesk.res"
if [ -n "$ref" ] && { [ -f "$ref" ] || cmake --build "$MAIN_BUILD" --target vesk_res >"$LOG/res.log" 2>&1; } && [ -f "$ref" ]; then
  args+=(--res "$ref")
else
  skip "resource bytes: no simulator build's res/vesk.res${MAIN_BUILD:+ in $MAIN_BUILD}"
fi
if [ "$have_sdk" -eq 1 ]; then
  args+=(--exports "CE 5=$(libs coredll)" --exports "CE 6=$(libs coredll6)")
else
  skip "imports on CE 5: no Windows CE SDK"
  skip "imports on CE 6: no Windows CE SDK"
fi
"$PE_CHECK" "$OUT/vesk.exe" "${args[@]}" | tee "$LOG/pe_check.out"
count_pe_check "$LOG/pe_check.out"
ran=$((passed + failed + skipped - before))
[ "$ran" -eq $((CHECKS_DEVICE - 2)) ] || fail "pe_check reported $ran of $((CHECKS_DEVICE - 2)) checks"

# The reader refuses what a device's loader would: the executable cut short,
# and the clang link of section 1 (Thumb-2, a desktop subsystem).
head -c 1000 "$OUT/vesk.exe" >"$OUT/tools/cut.exe"
refused=()
expected=("a cut-short image")
if ! "$PE_CHECK" "$OUT/tools/cut.exe" --version 4.20 >"$LOG/refuse-cut.out" 2>&1 &&
  grep -q '^FAIL well-formed PE32 image: truncated' "$LOG/refuse-cut.out"; then
  refused+=("a cut-short image")
fi
if [ -f "${C:-}/vesk-coredll.exe" ]; then
  expected+=("the Thumb-2 clang link")
  if ! "$PE_CHECK" "$C/vesk-coredll.exe" --version 4.20 >"$LOG/refuse-clang.out" 2>&1 &&
    grep -q '^FAIL machine ARM (0x1c0)' "$LOG/refuse-clang.out" &&
    grep -q '^FAIL subsystem Windows CE GUI (9)' "$LOG/refuse-clang.out"; then
    refused+=("the Thumb-2 clang link")
  fi
fi
if [ "${refused[*]}" = "${expected[*]}" ]; then
  pass "pe_check refuses $(printf '%s and ' "${refused[@]}" | sed 's/ and $//')"
else
  cat "$LOG"/refuse-*.out
  fail "pe_check refuses what a device would not load (refused: ${refused[*]:-nothing} of: ${expected[*]})"
fi

# --- 3. the installation cabinet ----------------------------------------------
echo "== the installation cabinet (cab_make, gcab; cab_check, cabextract)"
CAB=$OUT/vesk.cab
if [ -z "$CAB_CHECK" ] || [ ! -f "$CAB" ]; then
  [ -f "$CAB" ] || grep -E 'gcab|cab_make|error' "$LOG/build.log" | head -n 10
  why="no cab_check"
  [ -f "$CAB" ] || why="no build/wince/vesk.cab (gcab: scripts/deps.sh wince)"
  for _ in $(seq $CHECKS_CAB); do skip "$why"; done
  finish
fi
pass "installation cabinet: build/wince/vesk.cab (cab_make, gcab), $(stat -c %s "$CAB") bytes"
before=$((passed + failed))
"$CAB_CHECK" "$CAB" --file "vesk.exe=$OUT/vesk.exe" >"$LOG/cab_check.out" 2>&1
cat "$LOG/cab_check.out"
count_pe_check "$LOG/cab_check.out"
[ $((passed + failed - before)) -eq 5 ] || fail "cab_check reported $((passed + failed - before)) of 5 checks"

# What the control file says, against the version block of res/vesk.rc.
company=$(sed -n 's/^ *VALUE "CompanyName", "\(.*\)"$/\1/p' "$ROOT/res/vesk.rc")
said=()
for line in 'application  "vesk"' "provider     \"$company\"" 'processor    2577 (StrongARM)' \
  'versions     Windows CE 4.20 to 100.0, builds 0 to 0xe0000000' \
  'file         1   vesk.exe -> \Program Files\vesk, member vesk.001, flags 0x0' \
  'shortcut     1   %CE4%\vesk.lnk = \Windows\StartUp\vesk.lnk -> file 1 (\Program Files\vesk\vesk.exe)' \
  'shortcut     2   %CE11%\vesk.lnk = \Windows\Start Menu\Programs\vesk.lnk -> file 1 (\Program Files\vesk\vesk.exe)'; do
  grep -qxF "$line" "$LOG/cab_check.out" || said+=("$line")
done
if [ -n "$company" ] && [ ${#said[@]} -eq 0 ]; then
  pass "vesk.cab: vesk by \"$company\" (the version block's company), StrongARM, Windows CE 4.20 and later, vesk.exe into \\Program Files\\vesk, shortcuts in \\Windows\\StartUp and Start > Programs"
else
  fail "vesk.cab says what vesk's cabinet should; missing: ${said[*]:-the company name of res/vesk.rc}"
fi

if command -v cabextract >/dev/null; then
  if cabextract -t "$CAB" >"$LOG/cabextract.out" 2>&1; then
    cat "$LOG/cabextract.out"
    pass "cabextract, a reader nobody here wrote, tests vesk.cab: every member whole"
  else
    cat "$LOG/cabextract.out"
    fail "cabextract -t build/wince/vesk.cab"
  fi
else
  skip "cabextract -t: no cabextract (scripts/deps.sh wince)"
fi

# The same vesk.exe gives the same cabinet.
cp "$CAB" "$OUT/tools/vesk-first.cab"
rm -rf "$CAB" "$OUT/cab"
cmake --build "$OUT" --target vesk_cab >"$LOG/cab-again.log" 2>&1
if [ -f "$CAB" ] && cmp -s "$CAB" "$OUT/tools/vesk-first.cab"; then
  pass "vesk.cab made twice from the same vesk.exe: the same $(stat -c %s "$CAB") bytes"
else
  cat "$LOG/cab-again.log"
  fail "vesk.cab made twice from the same vesk.exe differs"
fi
# The simulator's tests install cabinets of vesk's own writer: it must give
# gcab's bytes.
if "$OUT/cab_make" --res "$OUT/vesk.res" --exe "$OUT/vesk.exe" --cab "$OUT/tools/vesk-own.cab" 2>"$LOG/cab-own.log" &&
  cmp -s "$CAB" "$OUT/tools/vesk-own.cab"; then
  pass "vesk's own cabinet writer (cab_make --cab) gives gcab's bytes"
else
  cat "$LOG/cab-own.log"
  cmp "$CAB" "$OUT/tools/vesk-own.cab"
  fail "vesk's own cabinet writer gives gcab's bytes"
fi

# cab_check refuses what the installer would: the cabinet cut short, and a
# file that is no cabinet.
head -c 300 "$CAB" >"$OUT/tools/cut.cab"
refused=0
"$CAB_CHECK" "$OUT/tools/cut.cab" >"$LOG/refuse-cab-cut.out" 2>&1
[ $? -eq 2 ] && grep -q "^cab_check: $OUT/tools/cut.cab: the cabinet is cut short" "$LOG/refuse-cab-cut.out" && refused=$((refused + 1))
"$CAB_CHECK" "$OUT/vesk.exe" >"$LOG/refuse-cab-exe.out" 2>&1
[ $? -eq 2 ] && grep -q "^cab_check: $OUT/vesk.exe: not a Microsoft cabinet" "$LOG/refuse-cab-exe.out" && refused=$((refused + 1))
if [ "$refused" -eq 2 ]; then
  pass "cab_check refuses a cut-short cabinet and a file that is no cabinet, naming the file and the problem"
else
  cat "$LOG"/refuse-cab-*.out
  fail "cab_check refuses a cut-short cabinet and a file that is no cabinet"
fi
finish
