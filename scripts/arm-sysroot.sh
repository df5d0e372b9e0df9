#!/usr/bin/env bash
# The libraries of the 32-bit ARM build of the simulator (preset arm): Debian's
# armel packages of FreeType, libpng, zlib and brotli, unpacked into one folder
# that cmake/arm-linux-gnueabi.cmake finds them in, for a static link.
#
#   scripts/arm-sysroot.sh [DIR]      DIR: build/arm-sysroot by default
#
# The packages are downloaded and unpacked, not installed: armel's packages
# need not be at the versions of the machine's own (a security update reaches
# one architecture before the other), and apt refuses such a pair. Adding the
# armel architecture to dpkg and reading its package lists need root (through
# sudo when not root); nothing else does. A complete sysroot is left as it is.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SYSROOT=${1:-$ROOT/build/arm-sysroot}
ME=scripts/arm-sysroot.sh
ARCH=armel
TRIPLET=arm-linux-gnueabi

packages=(libfreetype-dev libfreetype6 libpng-dev libpng16-16 zlib1g-dev zlib1g libbrotli-dev libbrotli1)
# What the static link takes from the sysroot, and the headers it compiles with.
needed=(
  usr/lib/$TRIPLET/libfreetype.a usr/lib/$TRIPLET/libpng16.a usr/lib/$TRIPLET/libz.a
  usr/lib/$TRIPLET/libbrotlidec.a usr/lib/$TRIPLET/libbrotlicommon.a
  usr/include/freetype2/ft2build.h usr/include/libpng16/png.h usr/include/zlib.h
)

die() {
  echo "$ME: $*" >&2
  exit 1
}

complete() {
  [ -f "$SYSROOT/.complete" ] || return 1
  for f in "${needed[@]}"; do [ -f "$SYSROOT/$f" ] || return 1; done
}
if complete; then
  echo "ARM sysroot: $SYSROOT is complete"
  exit 0
fi

for tool in apt-get apt-cache dpkg dpkg-deb; do
  command -v $tool >/dev/null || die "needs $tool (a Debian system)"
done
# Runs a command as root: itself when root, otherwise through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    die "$* needs root, and sudo is not there"
  fi
}

# apt knows the armel packages once dpkg has the architecture and the lists are read.
if ! apt-cache show "libfreetype6:$ARCH" >/dev/null 2>&1; then
  if ! dpkg --print-foreign-architectures | grep -qx "$ARCH"; then
    echo "ARM sysroot: adding the $ARCH architecture to dpkg"
    as_root dpkg --add-architecture "$ARCH" || die "dpkg --add-architecture $ARCH failed"
  fi
  echo "ARM sysroot: reading the package lists (apt-get update)"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq || die "apt-get update failed"
  apt-cache show "libfreetype6:$ARCH" >/dev/null 2>&1 ||
    die "the package lists have no $ARCH packages (is the architecture in the sources' Architectures?)"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/arm-sysroot.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debs" "$work/root"
# As root apt downloads through its sandbox user, who cannot write to a
# private temporary folder; the download is made as root instead.
download=(apt-get download -q)
[ "$(id -u)" -ne 0 ] || download+=(-o APT::Sandbox::User=root)
echo "ARM sysroot: downloading ${packages[*]} ($ARCH)"
if ! (cd "$work/debs" && "${download[@]}" "${packages[@]/%/:$ARCH}") >"$work/download.log" 2>&1; then
  cat "$work/download.log" >&2
  die "apt-get download of the $ARCH packages failed"
fi
for deb in "$work"/debs/*.deb; do
  dpkg-deb -x "$deb" "$work/root" || die "cannot unpack $(basename "$deb")"
  dpkg-deb -W --showformat='${Package} ${Version}\n' "$deb" >>"$work/root/.complete"
done
for f in "${needed[@]}"; do
  [ -f "$work/root/$f" ] || die "the $ARCH packages have no $f"
done

rm -rf "$SYSROOT"
mkdir -p "$(dirname "$SYSROOT")"
mv "$work/root" "$SYSROOT"
echo "ARM sysroot: $SYSROOT ($(paste -sd, "$SYSROOT/.complete" | sed 's/,/, /g'))"
