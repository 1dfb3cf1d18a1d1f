#!/usr/bin/env bash
# Times the start of a book that carries a digest to its first page drawn,
# beside the start of the same book built with --no-digest, at several sizes
# of content: what checking the package costs before the first page. The
# books are the sample book (scripts/sample-book.sh: the stand-in runtime
# packed as flash.ocx) as it is, under 1 MiB of content, so checked whole by
# its MD5; and the sample book plus one entry of random bytes making N MiB of
# content, which leafpack gives a table of block digests by default (above
# 16 MiB), so that the viewer checks at open only the trailer, the table and
# the directory's blocks. At 1024 MiB a third book is timed beside them, built
# with --no-block-digests (the whole package digested at open, as before the
# table), printed apart and not as a figure. Measured as
# scripts/bench-startup.sh does: viewer_screenshot under Wine in one Xvfb
# screen, the books of a size taken in turn after one untimed run of each;
# medians. One figure line per size. Prints figures; not a test.
#   scripts/bench-open.sh [runs] [MiB...]   (default 5; 256 1024 2000)
# Sizes stay under 2048 MiB: a package's block length is a 32-bit size. One
# size is made at a time and deleted before the next (a 2000 MiB pair takes
# 4 GB of disk). Uses the viewer's 32-bit build; where this machine cannot run
# 32-bit programs, the 64-bit test build of the same sources.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
[ "$runs" -ge 1 ] 2>/dev/null || {
  echo "usage: $0 [runs] [MiB...]   (runs >= 1)" >&2
  exit 2
}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(256 1024 2000)
command -v openssl >/dev/null || {
  echo "bench-open: openssl is not installed (it makes the random bytes)" >&2
  exit 1
}

cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF >/dev/null
cmake --build build/demo -j "${JOBS:-2}" --target leafpack swfwriter >/dev/null
leafpack=$root/build/demo/tools/leafpack/leafpack
build=build/win32 toolchain=mingw-i686 arch=win32
if ! scripts/wine-check.sh 2>/dev/null && scripts/wine-check.sh win64; then
  build=build/win64 toolchain=mingw-x86_64 arch=win64
  echo "bench-open: this machine runs no 32-bit programs; timing the 64-bit test build"
fi
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
cmake --build $build -j "${JOBS:-2}" --target leafbook miniplayer viewer_screenshot >/dev/null

# The sample book as scripts/demo.sh makes it: book.exe, the default build.
out=$root/$build/bench-open
scripts/sample-book.sh $build "$out" >/dev/null
trap 'rm -f "$out"/*.exe "$out/book/big.bin"' EXIT
mv "$out/book.exe" "$out/sample-digest.exe"
"$leafpack" build "$out/book" --viewer $build/app/leafbook.exe -o "$out/sample-plain.exe" \
  --no-digest --quiet
content=$(find "$out/book" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')

# Its own prefix, not the build's: the Wine session is ended before and after
# the runs, which must not end tests running in the build's prefix.
prefix=$root/$build/wineprefix-bench-open
scripts/wine-prefix.sh "$prefix" $arch >/dev/null
export WINEPREFIX=$prefix WINEDEBUG=-all root runs out
export measure=$root/$build/tests/app/viewer_screenshot.exe

# The books were just written, so every run reads them from the page cache,
# the one with a digest as the one without.
# shellcheck source=scripts/viewer-runs.sh
source "$root/scripts/viewer-runs.sh"

# Times the books named (files <name>.exe in $out) in turn; leaves
# "<name> <run> <window ms> <first page ms>" lines in $out/times.txt.
time_books() {
  run_programs "$@" >"$out/runs.txt"
  rm -f "$out"/*.png
  local pattern='^([a-z0-9_-]+) ([0-9]+) viewer_screenshot: window after ([0-9-]+) ms, first page after ([0-9-]+) ms$'
  tr -d '\r' <"$out/runs.txt" | sed -nE "s/$pattern/\\1 \\2 \\3 \\4/p" >"$out/times.txt"
  if [ "$(awk '$2 > 0' "$out/times.txt" | wc -l)" -ne $(($# * runs)) ] ||
    awk '$4 < 0 { bad = 1 } END { exit !bad }' "$out/times.txt"; then
    echo "bench-open: some runs did not show their window or page:" >&2
    cat "$out/runs.txt" >&2
    exit 1
  fi
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
pages() { awk -v b="$1" '$1 == b && $2 > 0 { print $4 }' "$out/times.txt"; }
# What a book carries, as leafpack list's first line says it.
carries() { "$leafpack" list "$out/$1.exe" | sed -n '1s/^[^:]*: //p'; }

# Prints the line of the times taken and the figure line of one size.
report() {
  local label=$1 digested=$2 plain=$3
  local o t
  o=$(pages "$digested" | median)
  t=$(pages "$plain" | median)
  echo "bench-open: $label: $digested ($(carries "$digested")), first page (ms): $(pages "$digested" | xargs); $plain ($(carries "$plain")): $(pages "$plain" | xargs)"
  awk -v o="$o" -v t="$t" -v label="$label" -v runs="$runs" -v arch="$arch" 'BEGIN {
    printf "figure\tstart of a digested book to its first page drawn, %s (under Wine, %s) vs the same book built with --no-digest, same run (median of %d)\t%d ms\t%d ms\t%.2f\t≤ 1.1×\n",
      label, arch, runs, o, t, o / t
  }'
}

# The sample book as it is: below the threshold, so the whole MD5 is checked.
time_books sample-digest sample-plain
report "the sample book as it is: $(awk -v c="$content" 'BEGIN { printf "%.2f", c / 1048576 }') MiB of content, whole-package MD5" \
  sample-digest sample-plain
rm -f "$out"/sample-*.exe

for mib in "${sizes[@]}"; do
  bytes=$((mib * 1048576 - content))
  [ "$bytes" -gt 0 ] || {
    echo "bench-open: $mib MiB is no larger than the sample book" >&2
    exit 2
  }
  # Random bytes from AES in counter mode over zeros: as good as random for a
  # package (nothing compresses or is stored once) and far quicker than
  # /dev/urandom. Counter mode gives exactly as many bytes as it is fed.
  head -c "$bytes" /dev/zero | openssl enc -aes-128-ctr -K "$(printf '%032x' "$mib")" \
    -iv "$(printf '%032x' 0)" -out "$out/book/big.bin"
  books=(digest-"$mib" plain-"$mib")
  "$leafpack" build "$out/book" --viewer $build/app/leafbook.exe -o "$out/digest-$mib.exe" --quiet
  "$leafpack" build "$out/book" --viewer $build/app/leafbook.exe -o "$out/plain-$mib.exe" \
    --no-digest --quiet
  if [ "$mib" = 1024 ]; then
    "$leafpack" build "$out/book" --viewer $build/app/leafbook.exe -o "$out/whole-$mib.exe" \
      --no-block-digests --quiet
    books+=(whole-"$mib")
  fi
  # Only the books are read from now on.
  rm -f "$out/book/big.bin"
  time_books "${books[@]}"
  if [ "$mib" = 1024 ]; then
    # The figure from before the table: the whole check's cost, in this run.
    w=$(pages whole-"$mib" | median)
    t=$(pages plain-"$mib" | median)
    echo "bench-open: $mib MiB, whole-package MD5 at open (--no-block-digests, $(carries whole-"$mib")), first page (ms): $(pages whole-"$mib" | xargs)"
    awk -v w="$w" -v t="$t" -v mib="$mib" 'BEGIN {
      printf "bench-open: %d MiB, before the table: --no-block-digests %d ms vs --no-digest %d ms (%.2f×), median\n",
        mib, w, t, w / t
    }'
  fi
  report "$mib MiB of content: the sample book and one entry of random bytes, block digests" \
    digest-"$mib" plain-"$mib"
  rm -f "$out"/*-"$mib".exe
done
