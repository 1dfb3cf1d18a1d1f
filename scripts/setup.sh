#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Leafbook:
# i386 multiarch, Wine (32-bit), mingw-w64 for i686, Xvfb, CMake, GoogleTest,
# clang-format.
# Idempotent, and quiet when everything is there.
set -euo pipefail

packages=(wine wine32:i386 g++-mingw-w64-i686-posix xvfb xauth cmake make g++ googletest libz-mingw-w64-dev zlib1g-dev
          clang-format git)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
