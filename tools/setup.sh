#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, if any is missing.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail

PLOVER_PACKAGES=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  libwine-dev
  googletest
  wine wine64
  xvfb xauth x11-utils x11-apps netpbm
  clang-format
  fonts-wqy-microhei fonts-wine
  wixl zip
)

# 32-bit Wine runs the i686 build's tests beside the 64-bit ones; it needs Debian's i386
# architecture, added once.
add_i386=""
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  PLOVER_PACKAGES+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=1
fi

missing=()
for p in "${PLOVER_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && [ -z "$add_i386" ] && exit 0

echo "plover: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "plover: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if [ -n "$add_i386" ]; then
  echo "plover: adding the i386 architecture for 32-bit Wine" >&2
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
