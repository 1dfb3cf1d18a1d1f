#!/usr/bin/env bash
# Times a 64 MiB entry of a book delivered to the runtime side through a
# content provider's stream, beside memcpy of as many bytes in the same
# process, under Wine (bench/delivery_bench.cpp). Prints the medians and where
# the time goes, the last line a tab-separated figure line. Not a test.
#   scripts/bench-delivery.sh [MiB] [runs]   (default 64, 5)
# Uses the viewer's 32-bit build; where this machine cannot run 32-bit
# programs, the 64-bit test build of the same sources.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=build/bench-loader toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh 2>/dev/null && scripts/wine-check.sh win64; then
  dir=build/bench-loader-win64 toolchain=mingw-x86_64 arch=win64
  echo "bench-delivery: this machine runs no 32-bit programs; timing the 64-bit build"
fi
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target delivery_bench >/dev/null
prefix=$root/$dir/wineprefix
scripts/wine-prefix.sh "$prefix" $arch >/dev/null
# Wine's programs end their lines with CR LF; its services keep stderr open.
"$root/scripts/wine-run.sh" "$prefix" "$dir/bench/delivery_bench.exe" "${1:-64}" "${2:-5}" \
  2>/dev/null | tr -d '\r'
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
