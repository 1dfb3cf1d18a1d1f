#!/usr/bin/env bash
# Builds the benchmarks natively (optimised, no sanitizers) and prints figures:
# MD5 throughput beside OpenSSL's on this machine in the same run, and the
# time to open and validate a 256 MiB package. Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLEAFBOOK_TESTS=OFF -DLEAFBOOK_BENCH=ON >/dev/null
cmake --build build/bench -j "${JOBS:-2}" --target md5_bench package_bench >/dev/null

ours=$(build/bench/bench/md5_bench 3 | tee /dev/stderr | sed -E 's/^md5_bench: ([0-9]+) bytes.*/\1/')
theirs=$(openssl speed -mr -evp md5 -seconds 3 -bytes 1048576 2>/dev/null | sed -n 's/^+F:[0-9]*:md5:\([0-9.]*\).*/\1/p')
awk -v o="$ours" -v t="$theirs" 'BEGIN {
  printf "openssl speed -evp md5 (1 MiB blocks): %.1f MB/s\n", t / 1e6;
  printf "MD5 ratio, ours / OpenSSL: %.2f\n", o / t }'
build/bench/bench/package_bench "${1:-256}"
