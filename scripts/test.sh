#!/usr/bin/env bash
# The project's test command: installs what is missing, checks the sources'
# formatting, then builds and tests
#  - build/native: the portable parts on Linux with AddressSanitizer and UBSan;
#  - build/win32:  everything for 32-bit Windows, tests run under Wine in Xvfb;
#  - build/win64:  only where 32-bit programs cannot run: the same sources for
#    64-bit Windows, whose tests (less those of 32-bit module images) run
#    under 64-bit Wine.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}

scripts/setup.sh

echo "== formatting"
scripts/check-format.sh

echo "== native build (sanitizers)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DLEAFBOOK_SANITIZE=ON >/dev/null
cmake --build build/native -j "$jobs"
(cd build/native && ctest --output-on-failure -j "$jobs")

echo "== Windows build (mingw-w64 i686, tests under Wine)"
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/win32 -j "$jobs"

# One private prefix for the build tree, made before the tests run so that
# parallel tests do not race to create it.
prefix=$root/build/win32/wineprefix
wine_runs=yes
scripts/wine-check.sh || wine_runs=no
[ $wine_runs = yes ] && scripts/wine-prefix.sh "$prefix"
status=0
(cd build/win32 && "$root/scripts/xvfb-tests.sh" ctest --output-on-failure -j "$jobs") ||
  status=$?
[ $wine_runs = yes ] && { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; }

# Where 32-bit programs cannot run, the same sources built for 64-bit Windows
# run the tests that do not depend on 32-bit module images under 64-bit Wine.
if [ $wine_runs = no ] && scripts/wine-check.sh win64; then
  echo "== 64-bit Windows test build (this machine cannot run 32-bit programs)"
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/win64 -j "$jobs"
  prefix64=$root/build/win64/wineprefix
  scripts/wine-prefix.sh "$prefix64" win64
  (cd build/win64 && "$root/scripts/xvfb-tests.sh" ctest --output-on-failure -j "$jobs") ||
    status=$?
  WINEPREFIX=$prefix64 wineserver -k 2>/dev/null || true
fi
if [ $wine_runs = no ]; then
  echo "== WARNING: the 32-bit Windows tests were built but skipped: this machine cannot run them"
fi
exit $status
