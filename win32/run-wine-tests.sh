#!/usr/bin/env bash
# vesk on a real Win32 implementation: builds the desktop side with mingw-w64,
# then runs the platform conformance checks and the end-to-end scenarios under
# Wine on a virtual X display.
#
#   win32/run-wine-tests.sh [BUILD_DIR]
#
# The desktop side is built with the win32 preset into build/win32, with the
# Wine prefix and the logs there too. BUILD_DIR is the simulator's build tree
# (build/default by default): when it holds the simulator build, its rendering
# of vesk's button (target vesk_wine_faces) is what the end-to-end face checks
# compare with; without it those checks are skipped.
#
# scripts/deps.sh installs what is missing (through sudo when not root). Ends
# with the line "wine: N passed, N failed, N skipped" and a non-zero status on
# any failure.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
MAIN_BUILD=${1:-$ROOT/build/default}
[[ -d "$MAIN_BUILD" ]] && MAIN_BUILD=$(cd "$MAIN_BUILD" && pwd)
OUT="$ROOT/build/win32"
mkdir -p "$OUT"
LOG="$OUT/log"
mkdir -p "$LOG"
started=$SECONDS

say() { printf '== %3d s  %s\n' "$((SECONDS - started))" "$*"; }

# --- Packages -----------------------------------------------------------------
"$ROOT/scripts/deps.sh" wine
. "$ROOT/scripts/summary.sh"

WINE=/usr/lib/wine/wine64
[[ -x "$WINE" ]] || WINE=$(command -v wine64 || command -v wine)
WINESERVER=/usr/lib/wine/wineserver
[[ -x "$WINESERVER" ]] || WINESERVER=$(command -v wineserver)

# --- Build ----------------------------------------------------------------------
say "building the desktop side in $OUT"
(cd "$ROOT" && cmake --preset win32) >"$LOG/configure.log" 2>&1 || { cat "$LOG/configure.log"; exit 1; }
(cd "$ROOT" && cmake --build --preset win32 -j2) >"$LOG/build.log" 2>&1 || { tail -50 "$LOG/build.log"; exit 1; }
BIN="$OUT/bin"

REF=""
if [[ -n "$MAIN_BUILD" && -f "$MAIN_BUILD/CMakeCache.txt" ]]; then
  if cmake --build "$MAIN_BUILD" --target vesk_wine_faces -j2 >"$LOG/faces-build.log" 2>&1; then
    faces=$(find "$MAIN_BUILD" -name vesk_wine_faces -type f -perm -u+x | head -1)
    rm -rf "$OUT/faces-sim" && mkdir -p "$OUT/faces-sim"
    if [[ -n "$faces" ]] && "$faces" "$OUT/faces-sim" >"$LOG/faces.log" 2>&1; then
      REF="$OUT/faces-sim"
    else
      say "the simulator did not render the button's faces (see $LOG/faces.log)"
    fi
  else
    say "no simulator rendering of the button: target vesk_wine_faces not built (see $LOG/faces-build.log)"
  fi
fi
mkdir -p "$OUT/faces-wine"

# --- Wine and the display --------------------------------------------------------
export WINEPREFIX="$OUT/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers, no menu entries in the home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINELOADER WINESERVER_PATH || true

XVFB_PID=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
trap cleanup EXIT

display=""
for n in $(seq 91 140); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=$n; break; fi
done
[[ -n "$display" ]] || { echo "no free X display" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$LOG/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
[[ -e /tmp/.X11-unix/X$display ]] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  say "preparing the Wine prefix"
  timeout 180 "$WINE" wineboot -i >"$LOG/wineboot.log" 2>&1 || true
  timeout 60 "$WINESERVER" -w || true
fi
# Wine's own fonts, Tahoma among them (the device's face), into the prefix:
# this Wine does not read them from where fonts-wine puts them.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# Windows are not handed to a window manager (there is none), so that
# hiding one does not wait for it.
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$LOG/wineboot.log" 2>&1
"$WINESERVER" -p 30 >/dev/null 2>&1 || true

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# --- Tests -------------------------------------------------------------------------
passed=0 failed=0 skipped=0
count() { summary_add "$1"; }  # the closing line "LABEL: N passed, N failed, N skipped" of a program's output

say "platform conformance under Wine"
status=0
timeout 180 "$WINE" "$BIN/vesk-conformance.exe" >"$LOG/conformance.txt" 2>"$LOG/conformance.err" || status=$?
grep -vE '^\[ PASS \]' "$LOG/conformance.txt" | grep -vE '^    known difference' || true
count "$LOG/conformance.txt" || echo "conformance: no result (exit status $status)"

say "end-to-end under Wine"
mapfile -t scenarios < <(timeout 60 "$WINE" "$BIN/shell32.exe" --list 2>/dev/null | tr -d '\r')
((${#scenarios[@]})) || { echo "no end-to-end scenarios listed"; failed=$((failed + 1)); }
deadline=$((SECONDS + 600))  # the whole end-to-end stage, whatever happens
for name in "${scenarios[@]}"; do
  if ((SECONDS > deadline)); then
    echo "[ FAIL ] $name: not run, the end-to-end stage ran out of time"
    failed=$((failed + 1))
    continue
  fi
  args=("$name" --out "$(winpath "$OUT/faces-wine")")
  [[ -n "$REF" ]] && args+=(--ref "$(winpath "$REF")")
  status=0
  timeout 120 "$WINE" "$BIN/shell32.exe" "${args[@]}" >"$LOG/$name.txt" 2>"$LOG/$name.err" || status=$?
  tr -d '\r' <"$LOG/$name.txt" | grep -vE '^e2e: ' || true
  if ! count "$LOG/$name.txt"; then
    if [[ $status -eq 124 ]]; then echo "[ FAIL ] $name: no result within 120 s"; else echo "[ FAIL ] $name: no result (exit status $status)"; fi
    # Whatever the scenario left running ends with it.
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -p 30 >/dev/null 2>&1 || true
  fi
done

# The scripted scenarios of tests/e2e, each on a desktop of its device's
# size and dpi (the player sets it up), from the same files as the simulator.
say "scripted scenarios under Wine"
for script in "$ROOT"/tests/e2e/*.vsk; do
  name=$(basename "$script" .vsk)
  if ((SECONDS > deadline + 600)); then
    echo "[ FAIL ] $name.vsk: not run, the scripted stage ran out of time"
    failed=$((failed + 1))
    continue
  fi
  status=0
  timeout 240 "$WINE" "$BIN/shell32.exe" --script "$(winpath "$script")" --out "$(winpath "$OUT/scripts/$name")" \
    >"$LOG/script-$name.txt" 2>"$LOG/script-$name.err" || status=$?
  tr -d '\r' <"$LOG/script-$name.txt" | grep -vE '^script: ' || true
  if ! count "$LOG/script-$name.txt"; then
    if [[ $status -eq 124 ]]; then echo "[ FAIL ] $name.vsk: no result within 240 s"; else echo "[ FAIL ] $name.vsk: no result (exit status $status)"; fi
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -p 30 >/dev/null 2>&1 || true
  fi
done

say "Wine stage took $((SECONDS - started)) s; logs in $LOG"
echo "wine: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
