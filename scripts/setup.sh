#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Leafbook:
# i386 multiarch, Wine (32-bit), mingw-w64 for i686, Xvfb, CMake, GoogleTest,
# clang-format, CLI11 (leafpack's options), xxHash (the packages' block
# digests), for the tests of published books osslsigncode and
# python3-pefile, and for drawing the sample book's pages
# (demo/make-pages.py) python3-pil with the DejaVu fonts. On a machine that
# cannot run 32-bit programs, also 64-bit Wine and mingw-w64 for x86-64, for
# the 64-bit test build (scripts/test.sh).
# Idempotent, and quiet when everything is there.
set -euo pipefail
here=$(dirname "$0")

packages=(wine wine32:i386 g++-mingw-w64-i686-posix xvfb xauth x11-utils cmake make g++ googletest libz-mingw-w64-dev zlib1g-dev
          clang-format git openssl osslsigncode libcli11-dev libxxhash-dev python3-pefile
          python3-pil fonts-dejavu-core fonts-dejavu-extra)
win64_packages=(wine64 g++-mingw-w64-x86-64-posix)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=no

install_missing() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=no
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ $updated = no ]; then
    $sudo apt-get update -qq
    updated=yes
  fi
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: done"
}

install_missing "${packages[@]}"
if ! "$here/wine-check.sh" 2>/dev/null; then
  install_missing "${win64_packages[@]}"
fi
