#!/usr/bin/env bash
# Times a 64 MiB entry of a book delivered to the runtime side through a
# content provider's stream, beside memcpy of as many bytes in the same
# process, under Wine (bench/delivery_bench.cpp). Prints the medians and where
# the time goes, the last line a tab-separated figure line. Not a test.
#   scripts/bench-delivery.sh [MiB] [runs]   (default 64, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(scripts/bench-windows-build.sh delivery_bench)
prefix=$root/$dir/wineprefix
# Wine's programs end their lines with CR LF; its services keep stderr open.
"$root/scripts/wine-run.sh" "$prefix" "$dir/bench/delivery_bench.exe" "${1:-64}" "${2:-5}" \
  2>/dev/null | tr -d '\r'
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
