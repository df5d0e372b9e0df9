#!/usr/bin/env bash
# Installs the Debian packages that building and testing vesk need, skipping
# those already present. Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libfreetype-dev libpng-dev libsdl2-dev fonts-wine
  binutils-mingw-w64-x86-64
  libgtest-dev libbenchmark-dev
  xvfb xdotool
  clang libclang-rt-14-dev valgrind
  lld llvm
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "These Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
