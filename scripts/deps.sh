#!/usr/bin/env bash
# Installs the Debian packages that vesk's builds need, in groups, skipping
# those already present; as root with apt-get, otherwise through sudo.
#
#   scripts/deps.sh [--dry-run] [GROUP ...]     no group: every group
#
#   run    build the simulator and vesk-sim and run it (./run.sh)
#   test   the test suites of the default and asan presets (./test.sh)
#   wine   the desktop Windows build and its tests under Wine (win32/run-wine-tests.sh)
#   wince  the Windows CE checks against the device's headers, and its cabinet (win32/wince/check.sh)
#   fuzz   the libFuzzer targets (fuzz/run.sh)
#   bench  the benchmarks and their instruction counts (bench/run.sh)
#   arm    the simulator for 32-bit ARM Linux under qemu-arm (scripts/arm-stage.sh):
#          the cross compiler, qemu's user mode and GoogleTest's sources; the
#          armel libraries are downloaded by scripts/arm-sysroot.sh
#
# --dry-run prints the packages that would be installed and installs nothing.
set -euo pipefail

declare -A groups=(
  [run]="cmake g++ make pkg-config libfreetype-dev libpng-dev libsdl2-dev fonts-wine binutils-mingw-w64-x86-64"
  [test]="libgtest-dev xvfb xdotool"
  [wine]="cmake g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 fonts-wine xvfb"
  [wince]="clang lld llvm gcab cabextract zlib1g-dev"
  [fuzz]="clang libclang-rt-14-dev"
  [bench]="libbenchmark-dev valgrind"
  [arm]="g++-arm-linux-gnueabi qemu-user libgtest-dev"
)
order=(run test wine wince fuzz bench arm)

dry=0
if [ "${1:-}" = "--dry-run" ]; then
  dry=1
  shift
fi
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=("${order[@]}")

packages=()
for g in "${wanted[@]}"; do
  if [ -z "${groups[$g]+x}" ]; then
    echo "scripts/deps.sh: no group '$g' (groups: ${order[*]})" >&2
    exit 2
  fi
  # Every group builds on the simulator's own build.
  [ "$g" = run ] || [ "$g" = wine ] || [ "$g" = wince ] || packages+=(${groups[run]})
  packages+=(${groups[$g]})
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++'); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "$dry" -eq 1 ]; then
  echo "groups: ${wanted[*]}"
  echo "packages: $(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++' | tr '\n' ' ')"
  echo "missing: ${missing[*]:-(none)}"
  exit 0
fi
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "scripts/deps.sh: installing ${missing[*]} needs root, and sudo is not there" >&2
    exit 1
  fi
  SUDO=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
