#!/usr/bin/env bash
# Builds the sample book from demo/book with leafpack onto the real viewer,
# with the stand-in runtime inside as "flash.ocx" so that nothing needs to be
# installed, lists and verifies it, then runs it under Wine: on the display
# when there is one, otherwise under Xvfb, saving pictures of page 1 and of
# page 2 after a key press. book.swf is generated here with swfwriter rather
# than kept in the repo. Where this machine cannot run 32-bit programs, the
# 64-bit test build of the same sources stands in for the viewer.
#   BUILD=<folder> scripts/demo.sh   uses that Windows build (build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack swfwriter >/dev/null

build=${BUILD:-build/win32} toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh && scripts/wine-check.sh win64; then
  build=${BUILD:-build/win64} toolchain=mingw-x86_64 arch=win64
  echo "demo: this machine runs no 32-bit programs; using the 64-bit test build"
fi
if [ ! -f $build/CMakeCache.txt ]; then
  cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
fi
cmake --build $build -j "${JOBS:-2}" --target leafbook miniplayer viewer_screenshot >/dev/null

out=build/demo/out
scripts/sample-book.sh $build "$out"
leafpack=build/demo/tools/leafpack/leafpack
"$leafpack" list "$out/book.exe"
"$leafpack" verify "$out/book.exe"

prefix=$root/$build/wineprefix
if [ -n "${DISPLAY:-}" ]; then
  scripts/wine-prefix.sh "$prefix" $arch
  echo "demo: running $out/book.exe (log: $out/demo.log)"
  scripts/wine-run.sh "$prefix" "$out/book.exe" -D "-FZ:$(realpath "$out")/demo.log"
else
  BUILD=$build ARCH=$arch scripts/screenshot.sh "$out/book.exe" "$out/page-1.png" \
    --then-key 39 "Z:$(realpath "$out")/page-2.png" -D "-FZ:$(realpath "$out")/demo.log"
  echo "demo: page 1 in $out/page-1.png, page 2 (after the right arrow key) in $out/page-2.png"
fi
