#!/usr/bin/env bash
# Times mapping a module of a few megabytes from memory with TDLLLoader next
# to LoadLibrary of the same file, under Wine, and prints the medians (the last
# line a tab-separated figure line). Prints figures; not a test.
#   scripts/bench-loader.sh [rounds]   (default 20)
# Uses the viewer's 32-bit build and module; where this machine cannot run
# 32-bit programs, the 64-bit build and the same module built for x86-64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(scripts/bench-windows-build.sh module_load_bench)
prefix=$root/$dir/wineprefix
cd "$dir/tests/runtime"
# Wine's programs end their lines with CR LF.
"$root/scripts/wine-run.sh" "$prefix" ./module_load_bench.exe fx_big.dll "${1:-20}" | tr -d '\r'
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
