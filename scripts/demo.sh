#!/usr/bin/env bash
# Builds the sample book from demo/book with leafpack onto the real viewer,
# lists and verifies it, then runs it under Wine: on the display when there is
# one, otherwise under Xvfb, saving a picture of the screen. book.swf is
# generated here with swfwriter rather than kept in the repo.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack swfwriter >/dev/null
if [ ! -f build/win32/CMakeCache.txt ]; then
  cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build build/win32 -j "${JOBS:-2}" --target leafbook >/dev/null

out=build/demo/out
rm -rf "$out"
mkdir -p "$out"
cp -r demo/book "$out/book"
# The book's movie is generated, not kept in the repo: one frame per page.
build/demo/tools/swfwriter/swfwriter book -o "$out/book/book.swf" --pages 4 --pattern "pages/%d.svg"

leafpack=build/demo/tools/leafpack/leafpack
"$leafpack" build "$out/book" --viewer build/win32/app/leafbook.exe -o "$out/book.exe"
"$leafpack" list "$out/book.exe"
"$leafpack" verify "$out/book.exe"

if [ -n "${DISPLAY:-}" ]; then
  prefix=$root/build/win32/wineprefix
  scripts/wine-prefix.sh "$prefix"
  echo "demo: running $out/book.exe (log: $out/demo.log)"
  scripts/wine-run.sh "$prefix" "$out/book.exe" -D "-FZ:$(realpath "$out")/demo.log"
else
  scripts/screenshot.sh "$out/book.exe" "$out/book.png"
fi
