#!/usr/bin/env bash
# Builds Windows benchmark targets in an optimised build and prepares its Wine
# prefix; prints the build's folder (relative to the repo) on stdout.
#   scripts/bench-windows-build.sh <target>...
# The viewer's 32-bit build; where this machine cannot run 32-bit programs,
# the 64-bit test build of the same sources.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=build/bench-loader toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh 2>/dev/null && scripts/wine-check.sh win64; then
  dir=build/bench-loader-win64 toolchain=mingw-x86_64 arch=win64
  echo "bench: this machine runs no 32-bit programs; timing the 64-bit build" >&2
fi
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target "$@" >/dev/null
scripts/wine-prefix.sh "$root/$dir/wineprefix" $arch >/dev/null
echo "$dir"
