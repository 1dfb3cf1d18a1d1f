#!/usr/bin/env bash
# Builds the sample book from demo/book with leafpack, then lists and verifies
# it. The viewer does not exist yet: a small stand-in file takes its place, and
# book.swf is generated here (an empty movie) rather than kept in the repo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack >/dev/null

out=build/demo/out
rm -rf "$out"
mkdir -p "$out"
cp -r demo/book "$out/book"
# The smallest valid movie: header (version 6, 17 bytes, empty frame, 12 fps,
# one frame), ShowFrame, End.
printf 'FWS\x06\x11\x00\x00\x00\x00\x00\x0c\x01\x00\x40\x00\x00\x00' >"$out/book/book.swf"
printf 'MZ Leafbook viewer stand-in\n' >"$out/viewer-stand-in.exe"

leafpack=build/demo/tools/leafpack/leafpack
"$leafpack" build "$out/book" --viewer "$out/viewer-stand-in.exe" -o "$out/book.exe"
"$leafpack" list "$out/book.exe"
"$leafpack" verify "$out/book.exe"
echo "demo: $out/book.exe"
