#!/usr/bin/env bash
# Makes the sample book: demo/book with a generated book.swf and the stand-in
# runtime inside as "flash.ocx", packed with leafpack onto the viewer.
#   scripts/sample-book.sh <windows-build> <out-folder>
# Expects leafpack and swfwriter built natively in build/demo, and leafbook and
# miniplayer in the Windows build. Leaves <out>/book (the folder) and
# <out>/book.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 out=$2
rm -rf "$out"
mkdir -p "$out"
cp -r demo/book "$out/book"
# One frame per page: the cover and four spreads (demo/book/pages, drawn by
# demo/make-pages.py). Page 1 is opened by its path (the asynchronous route);
# the others by URL ("./" + name, which only the URL route retries without).
pages=$(find demo/book/pages -name '[0-9]*.png' | wc -l)
build/demo/tools/swfwriter/swfwriter book -o "$out/book/book.swf" --pages "$pages" \
  --pattern "./pages/%d.png" --first "pages/1.png"
cp "$build/miniplayer/miniplayer.ocx" "$out/book/flash.ocx"
build/demo/tools/leafpack/leafpack build "$out/book" --viewer "$build/app/leafbook.exe" \
  -o "$out/book.exe"
