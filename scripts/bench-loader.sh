#!/usr/bin/env bash
# Times mapping a module of a few megabytes from memory with TDLLLoader next
# to LoadLibrary of the same file, under Wine, and prints the medians (the last
# line a tab-separated figure line). Prints figures; not a test.
#   scripts/bench-loader.sh [rounds]   (default 20)
# Uses the viewer's 32-bit build and module; where this machine cannot run
# 32-bit programs, the 64-bit test build and the same module built for x86-64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=build/bench-loader toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh 2>/dev/null && scripts/wine-check.sh win64; then
  dir=build/bench-loader-win64 toolchain=mingw-x86_64 arch=win64
  echo "bench-loader: this machine runs no 32-bit programs; timing the 64-bit build"
fi
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target module_load_bench >/dev/null
prefix=$root/$dir/wineprefix
scripts/wine-prefix.sh "$prefix" $arch >/dev/null
cd "$dir/tests/runtime"
"$root/scripts/wine-run.sh" "$prefix" ./module_load_bench.exe fx_big.dll "${1:-20}"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
