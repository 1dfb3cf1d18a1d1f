#!/usr/bin/env bash
# Fuzzes the module image code (header read, layout, relocation, import,
# export and resource checks) with libFuzzer under AddressSanitizer and UBSan.
#   scripts/fuzz-loader.sh [seconds]        (default 300)
# The corpus is seeded with the fixture DLLs (built here with the i686
# mingw-w64 compiler) and zlib1.dll when installed; it lives in
# build/fuzz-loader/corpus and grows across runs. Crashes land in
# build/fuzz-loader/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
dir=build/fuzz-loader
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DLEAFBOOK_SANITIZE=ON -DLEAFBOOK_FUZZ=ON >/dev/null
cmake --build "$dir" -j "${JOBS:-2}" --target image_fuzzer runtime_fixtures >/dev/null

mkdir -p "$dir/corpus" "$dir/findings"
cp "$dir"/tests/runtime/*.dll "$dir/corpus/"
"$dir/runtime/image_fuzzer" -max_total_time="$seconds" -max_len=262144 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus" 2>&1 |
  tee "$dir/last-run.log" | grep -E "^(#[0-9]+[[:space:]]+(INITED|DONE)|stat::|==[0-9]+==|SUMMARY)" || true
echo "fuzz-loader: findings in $dir/findings: $(find "$dir/findings" -type f | wc -l)"
