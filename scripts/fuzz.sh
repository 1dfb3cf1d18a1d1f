#!/usr/bin/env bash
# Fuzzes one parser of outside bytes with libFuzzer (clang), under
# AddressSanitizer and UndefinedBehaviorSanitizer:
#   scripts/fuzz.sh <target> [seconds]        (default 300)
# Targets: package (trailer, sizes, digest, block digest table and the block
# checks of every entry read, directory and its lookup), memorypath (the
# in-memory path parser), movie (the stand-in runtime's movie reader), image
# (module image checks, layout, relocation, imports, exports, resources and the
# product version), identity (PE headers and resource tree rebuilt for the
# book's identity, .ico and PNG icon files, the PE checksum).
# The working corpus, build/fuzz/corpus/<target>, is seeded from the committed
# inputs in tests/fuzz/<target> (and fixture DLLs or generated movies) and grows
# across runs. Crashes land in build/fuzz/findings/<target>; a reproducer
# copied into tests/fuzz/<target> replays in the normal tests from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-}
seconds=${2:-300}
case "$target" in
  package) binary=package/package_fuzzer max_len=65536 ;;
  memorypath) binary=content/memorypath_fuzzer max_len=4096 ;;
  movie) binary=miniplayer/movie_fuzzer max_len=65536 ;;
  image) binary=runtime/image_fuzzer max_len=262144 ;;
  identity) binary=tools/leafpack/identity_fuzzer max_len=262144 ;;
  *)
    echo "usage: $0 package|memorypath|movie|image|identity [seconds]" >&2
    exit 2
    ;;
esac
dir=build/fuzz
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DLEAFBOOK_SANITIZE=ON -DLEAFBOOK_FUZZ=ON >/dev/null
fuzzer=$(basename "$binary")
extra=()
[ "$target" = image ] && extra=(runtime_fixtures)
[ "$target" = movie ] && extra=(swfwriter)
cmake --build "$dir" -j "${JOBS:-2}" --target "$fuzzer" "${extra[@]}" >/dev/null

corpus=$dir/corpus/$target findings=$dir/findings/$target
mkdir -p "$corpus" "$findings"
cp -r tests/fuzz/"$target"/. "$corpus/"
# Whole modules and movies as seeds, made by the build (not kept in the repo).
if [ "$target" = image ]; then
  cp "$dir"/tests/runtime/*.dll "$corpus/"
elif [ "$target" = movie ]; then
  "$dir/tools/swfwriter/swfwriter" book -o "$corpus/seed-book" --pages 3 --pattern "./pages/%d.png" \
    --first "pages/1.png"
  "$dir/tools/swfwriter/swfwriter" book -o "$corpus/seed-plain" --pages 2 --plain --fullscreen
fi
log=$dir/$target-last-run.log
"$dir/$binary" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1 || true
grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)" "$log" || true
echo "fuzz: $target, $seconds s; corpus $(find "$corpus" -type f | wc -l) inputs;" \
  "findings in $findings: $(find "$findings" -type f | wc -l)"
