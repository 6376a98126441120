#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, once:
# the mingw-w64 i686 cross compiler, 32-bit Wine, Xvfb, CMake, Ninja,
# GoogleTest's sources and a TrueType font. Safe to run again.
set -euo pipefail

packages=(g++-mingw-w64-i686 wine wine32:i386 xvfb xauth cmake ninja-build
          googletest fonts-dejavu-core zip unzip)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
else SUDO=; fi
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update -q || { echo "setup: apt-get update failed; check the package sources" >&2; exit 1; }
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" \
  || { echo "setup: apt-get could not install ${missing[*]}" >&2; exit 1; }
