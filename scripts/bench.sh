#!/usr/bin/env bash
# Runs every benchmark and ends with one table of all figures, each beside its
# anchor measured in the same run: MD5 against OpenSSL (natively and in the
# 32-bit Windows build), one page request against the same request made the
# old way (books of 64, 256 and 1024 MiB), the first request of a page whose
# blocks were never read in a 1 GiB book with block digests against the same
# book without a digest (natively and under Wine), `leafpack verify` (MD5 and
# block digests on two threads) against `openssl md5`, a large entry
# delivered to the runtime side against memcpy, mapping a module from memory
# against LoadLibrary, the sample book's start against an empty program's, a
# digested book's start against the same book built without a digest (the
# sample book, 256, 1024 and 2000 MiB of content), and a book's size over its
# content against the viewer's own size. The Windows figures are taken under
# Wine. Prints figures; asserts nothing (the exit status only says whether
# every benchmark ran). Not part of the test command; takes about ten
# minutes, more on the first run (builds).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
figures=$(mktemp)
trap 'rm -f "$figures"' EXIT
failed=0

# Each benchmark's own lines go by as they come; its figure lines are kept.
run() {
  echo "== $*"
  if ! { "$@" | tee -a "$figures" | { grep -v $'^figure\t' || true; }; }; then
    echo "bench: $* failed" >&2
    failed=1
  fi
}

# MD5 over 1 MiB blocks against OpenSSL's assembly (one anchor, measured
# once): the native build, and the viewer's own 32-bit Windows build under
# Wine (where this machine runs no 32-bit programs, that line is left out).
md5_figure() {
  cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF \
    -DLEAFBOOK_BENCH=ON >/dev/null
  cmake --build build/bench -j "${JOBS:-2}" --target md5_bench package_bench >/dev/null
  local ours theirs wine="" dir
  ours=$(build/bench/bench/md5_bench 3 | tee /dev/stderr |
    sed -E 's/^md5_bench: ([0-9]+) bytes.*/\1/')
  if scripts/wine-check.sh; then
    dir=$(scripts/bench-windows-build.sh md5_bench)
    # Wine's programs end their lines with CR LF; its services keep stderr open.
    wine=$(scripts/wine-run.sh "$PWD/$dir/wineprefix" "$dir/bench/md5_bench.exe" 3 2>/dev/null |
      tr -d '\r' | tee /dev/stderr | sed -E 's/^md5_bench: ([0-9]+) bytes.*/\1/')
    WINEPREFIX=$PWD/$dir/wineprefix wineserver -k 2>/dev/null || true
  else
    echo "bench: md5: no figure of the 32-bit Windows build (this machine runs no 32-bit programs)" >&2
  fi
  theirs=$(openssl speed -mr -evp md5 -seconds 3 -bytes 1048576 2>/dev/null |
    sed -n 's/^+F:[0-9]*:md5:\([0-9.]*\).*/\1/p')
  awk -v o="$ours" -v w="$wine" -v t="$theirs" 'BEGIN {
    printf "figure\tMD5 over 1 MiB blocks vs openssl speed -evp md5\t%.0f MB/s\t%.0f MB/s\t%.2f\t≥ 0.95×\n",
      o / 1e6, t / 1e6, o / t
    if (w != "")
      printf "figure\tMD5 over 1 MiB blocks, 32-bit Windows build under Wine vs openssl speed -evp md5\t%.0f MB/s\t%.0f MB/s\t%.2f\t≥ 0.95×\n",
        w / 1e6, t / 1e6, w / t }'
}

# The first reads of fresh blocks again in the Windows build, under Wine.
package_bench_wine() {
  local dir
  dir=$(scripts/bench-windows-build.sh package_bench)
  # Wine's programs end their lines with CR LF; its services keep stderr open.
  scripts/wine-run.sh "$PWD/$dir/wineprefix" "$dir/bench/package_bench.exe" --first-read 1024 \
    2>/dev/null | tr -d '\r'
  WINEPREFIX=$PWD/$dir/wineprefix wineserver -k 2>/dev/null || true
}

run md5_figure
run build/bench/bench/package_bench 64 256 1024
run build/bench/bench/package_bench --first-read 1024
run package_bench_wine
run scripts/bench-verify.sh 512
run scripts/bench-delivery.sh 64 5
run scripts/bench-loader.sh 20
run scripts/bench-startup.sh 5
run scripts/bench-open.sh 5
run scripts/bench-book-size.sh

echo
echo "Figures ($(uname -m), $(nproc) cores, $(date -u +%Y-%m-%d)); ratio is ours / anchor:"
echo
grep $'^figure\t' "$figures" | tr -d '\r' | awk -F'\t' '
  BEGIN { print "| measure | ours | anchor | ratio | goal |"; print "|---|---|---|---|---|" }
  { printf "| %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6 }'
exit $failed
