#!/usr/bin/env bash
# Times `leafpack verify` of a large book beside `openssl md5` of the same
# file. Such a book carries a table of block digests by default (leafpack adds
# one above 16 MiB of content), and verify checks both the whole-package MD5
# and every block's digest from one read of the file, the two on two threads:
# the MD5 is the longer of the two, so MD5 over the file is verify's floor.
# Builds leafpack natively (optimised, no sanitizers), makes a book of the
# given size (MiB, default 512) from generated files in a temporary folder,
# times each command three times (the file stays in the page cache: both read
# it warm) and prints the best of each as one tab-separated figure line.
# Prints figures; not a test.
#   scripts/bench-verify.sh [MiB]
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-512}
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF -DLEAFBOOK_BENCH=ON >/dev/null
cmake --build build/bench -j "${JOBS:-2}" --target leafpack >/dev/null
leafpack=$PWD/build/bench/tools/leafpack/leafpack
command -v openssl >/dev/null || {
  echo "bench-verify: openssl is not installed" >&2
  exit 1
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/leafbook-bench-verify.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Files of 4 MiB of random bytes: no two alike, so leafpack stores each one
# (it stores identical files once) and the package is as large as asked.
files=$(((mib + 3) / 4))
mkdir "$tmp/book"
for i in $(seq 1 "$files"); do
  head -c 4M /dev/urandom >"$tmp/book/page-$i.bin"
done
# A tiny placeholder movie, since leafpack warns about a book without one.
printf 'FWS' >"$tmp/book/book.swf"
printf 'MZ a small stand-in viewer\n' >"$tmp/viewer.exe"
# Built as by default, so with the table whenever the book is above 16 MiB.
"$leafpack" build "$tmp/book" --viewer "$tmp/viewer.exe" -o "$tmp/book.exe" >/dev/null
# The pages are no longer needed; only the book is read from now on.
rm -rf "$tmp/book"
size=$(stat -c %s "$tmp/book.exe")
# What the book carries, as list's first line says ("digest on, block digests,
# 256 KiB"), printed so that the figure can be read for what it timed.
kind=$("$leafpack" list "$tmp/book.exe" | sed -n '1s/^[^:]*: //p')

# Wall time of one run of a command, in seconds (its output is dropped).
elapsed() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }'
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

# One untimed run each brings the file into the page cache for both.
"$leafpack" verify "$tmp/book.exe" >/dev/null
openssl md5 "$tmp/book.exe" >/dev/null
ours=() theirs=()
for _ in 1 2 3; do
  ours+=("$(elapsed "$leafpack" verify "$tmp/book.exe")")
  theirs+=("$(elapsed openssl md5 "$tmp/book.exe")")
done
o=$(best "${ours[@]}")
t=$(best "${theirs[@]}")

awk -v o="$o" -v t="$t" -v size="$size" -v mib="$mib" -v runs="${ours[*]}" \
  -v truns="${theirs[*]}" -v kind="$kind" 'BEGIN {
  m = size / 1048576
  printf "bench-verify: a book of %.1f MiB (%s); runs (s): leafpack verify %s; openssl md5 %s\n", m, kind, runs, truns
  printf "bench-verify: best: leafpack verify %.3f s (%.0f MiB/s), openssl md5 %.3f s (%.0f MiB/s)\n",
    o, m / o, t, m / t
  printf "figure\tleafpack verify of a %s MiB book (MD5 and block digests, one read, two threads) vs openssl md5 of the same file (wall, best of 3)\t%.3f s\t%.3f s\t%.2f\t≤ 1.0×\n",
    mib, o, t, o / t
}'
