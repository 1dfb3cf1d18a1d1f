#!/usr/bin/env bash
# Times mapping a module of a few megabytes from memory with TDLLLoader next
# to LoadLibrary of the same file, under Wine. Prints figures; not a test.
#   scripts/bench-loader.sh [rounds]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=build/bench-loader
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target module_load_bench >/dev/null
prefix=$root/$dir/wineprefix
if [ ! -f "$prefix/system.reg" ]; then
  WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wineboot --init >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w || true
fi
cd "$dir/tests/runtime"
"$root/scripts/wine-run.sh" "$prefix" ./module_load_bench.exe fx_big.dll "${1:-20}"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
