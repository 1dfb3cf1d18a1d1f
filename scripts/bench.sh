#!/usr/bin/env bash
# Runs every benchmark and ends with one table of all figures, each beside its
# anchor measured in the same run: MD5 against OpenSSL, one page request
# against the same request made the old way (books of 64, 256 and 1024 MiB),
# `leafpack verify` against `openssl md5`, a large entry delivered to the
# runtime side against memcpy, mapping a module from memory against
# LoadLibrary, the sample book's start against an empty program's, and a
# book's size over its content against the viewer's own size. The
# Windows figures are taken under Wine. Prints figures; asserts nothing (the
# exit status only says whether every benchmark ran). Not part of the test
# command; takes a few minutes, more on the first run (builds).
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

md5_figure() {
  cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF \
    -DLEAFBOOK_BENCH=ON >/dev/null
  cmake --build build/bench -j "${JOBS:-2}" --target md5_bench package_bench >/dev/null
  local ours theirs
  ours=$(build/bench/bench/md5_bench 3 | tee /dev/stderr |
    sed -E 's/^md5_bench: ([0-9]+) bytes.*/\1/')
  theirs=$(openssl speed -mr -evp md5 -seconds 3 -bytes 1048576 2>/dev/null |
    sed -n 's/^+F:[0-9]*:md5:\([0-9.]*\).*/\1/p')
  awk -v o="$ours" -v t="$theirs" 'BEGIN {
    printf "figure\tMD5 over 1 MiB blocks vs openssl speed -evp md5\t%.0f MB/s\t%.0f MB/s\t%.2f\t-\n",
      o / 1e6, t / 1e6, o / t }'
}

run md5_figure
run build/bench/bench/package_bench 64 256 1024
run scripts/bench-verify.sh 512
run scripts/bench-delivery.sh 64 5
run scripts/bench-loader.sh 20
run scripts/bench-startup.sh 5
run scripts/bench-book-size.sh

echo
echo "Figures ($(uname -m), $(nproc) cores, $(date -u +%Y-%m-%d)); ratio is ours / anchor:"
echo
grep $'^figure\t' "$figures" | tr -d '\r' | awk -F'\t' '
  BEGIN { print "| measure | ours | anchor | ratio | goal |"; print "|---|---|---|---|---|" }
  { printf "| %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6 }'
exit $failed
