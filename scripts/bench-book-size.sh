#!/usr/bin/env bash
# Benchmark: what a book costs readers to download beyond its own files. Packs
# a one-file book onto the viewer the Windows build makes (the 32-bit one; the
# 64-bit test build where this machine runs no 32-bit programs) and prints the
# book's size less its content, beside the viewer's own size and the size of
# the debug information kept out of it (leafbook.debug).
#   scripts/bench-book-size.sh [windows-build]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-}
if [ -z "$build" ]; then
  build=build/win32 toolchain=mingw-i686
  if ! scripts/wine-check.sh && scripts/wine-check.sh win64; then
    build=build/win64 toolchain=mingw-x86_64
  fi
  [ -f $build/CMakeCache.txt ] ||
    cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
fi
cmake --build $build -j "${JOBS:-2}" --target leafbook >/dev/null
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/book"
head -c 4096 /dev/urandom >"$tmp/book/book.swf"
build/demo/tools/leafpack/leafpack build "$tmp/book" --viewer $build/app/leafbook.exe \
  -o "$tmp/book.exe" --quiet
book=$(stat -c %s "$tmp/book.exe")
viewer=$(stat -c %s $build/app/leafbook.exe)
debug=$(stat -c %s $build/app/leafbook.debug)
awk -v b="$book" -v v="$viewer" -v d="$debug" -v build="$build" 'BEGIN {
  o = b - 4096
  printf "bench-book-size: %s: viewer %d bytes, debug information beside it %d bytes\n", build, v, d
  printf "figure\ta book'"'"'s size over its content (%s viewer) vs the viewer alone\t%.2f MiB\t%.2f MiB\t%.3f\t< 1 MiB\n",
    build, o / 1048576, v / 1048576, o / v }'
