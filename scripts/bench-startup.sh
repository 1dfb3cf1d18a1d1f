#!/usr/bin/env bash
# Times the start of the sample book to its first page drawn, under Wine with
# the stand-in runtime packed as flash.ocx, beside the start of an empty
# Windows program (bench/empty_window.cpp) to its first window: same measuring
# program (viewer_screenshot), same Wine prefix, same Xvfb screen, runs taken
# in turn after one untimed run of each. Prints the medians, the last line a
# tab-separated figure line. Prints figures; not a test.
#   scripts/bench-startup.sh [runs]   (default 5)
# Uses the viewer's 32-bit build; where this machine cannot run 32-bit
# programs, the 64-bit test build of the same sources, as scripts/demo.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
[ "$runs" -ge 1 ] || {
  echo "usage: $0 [runs]   (runs >= 1)" >&2
  exit 2
}

cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack swfwriter >/dev/null
build=build/win32 toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh 2>/dev/null && scripts/wine-check.sh win64; then
  build=build/win64 toolchain=mingw-x86_64 arch=win64
  echo "bench-startup: this machine runs no 32-bit programs; timing the 64-bit test build"
fi
# Configured again (as it was) so that the build knows of empty_window.
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
cmake --build $build -j "${JOBS:-2}" --target leafbook miniplayer viewer_screenshot \
  empty_window >/dev/null

# The sample book as scripts/demo.sh makes it.
out=$root/$build/bench-startup
scripts/sample-book.sh $build "$out" >/dev/null
# Beside the book: both programs start from the same folder.
cp $build/tests/app/empty_window.exe "$out/empty_window.exe"

prefix=$root/$build/wineprefix
scripts/wine-prefix.sh "$prefix" $arch >/dev/null
export WINEPREFIX=$prefix WINEDEBUG=-all root runs out
export measure=$root/$build/tests/app/viewer_screenshot.exe

# shellcheck source=scripts/viewer-runs.sh
source "$root/scripts/viewer-runs.sh"
run_programs book empty_window >"$out/runs.txt"

# Lines "<program> <run> viewer_screenshot: window after W ms, first page after P ms"
# (Windows line ends) become "<program> <run> W P".
pattern='^([a-z_]+) ([0-9]+) viewer_screenshot: window after ([0-9-]+) ms, first page after ([0-9-]+) ms$'
tr -d '\r' <"$out/runs.txt" | sed -nE "s/$pattern/\\1 \\2 \\3 \\4/p" >"$out/times.txt"
if [ "$(awk '$2 > 0' "$out/times.txt" | wc -l)" -ne $((2 * runs)) ] ||
  awk '$1 == "book" && $4 < 0 { bad = 1 } END { exit !bad }' "$out/times.txt"; then
  echo "bench-startup: some runs did not show their window or page:" >&2
  cat "$out/runs.txt" >&2
  exit 1
fi
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
values() { awk -v p="$1" -v c="$2" '$1 == p && $2 > 0 { print $c }' "$out/times.txt"; }
book_window=$(values book 3 | median)
book_page=$(values book 4 | median)
empty_window=$(values empty_window 3 | median)
rm -f "$out"/*.png

echo "bench-startup: book, window (ms): $(values book 3 | xargs); first page (ms): $(values book 4 | xargs)"
echo "bench-startup: empty program, window (ms): $(values empty_window 3 | xargs)"
awk -v o="$book_page" -v w="$book_window" -v t="$empty_window" -v runs="$runs" -v arch="$arch" 'BEGIN {
  printf "bench-startup: medians: book window %d ms, book first page %d ms, empty program window %d ms\n", w, o, t
  printf "figure\tstart of the sample book to its first page drawn (under Wine, %s, stand-in runtime as flash.ocx) vs start of an empty Windows program to its first window, same Wine prefix (median of %d)\t%d ms\t%d ms\t%.2f\t≤ 1.5×\n",
    arch, runs, o, t, o / t
}'
