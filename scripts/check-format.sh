#!/usr/bin/env bash
# Fails when a tracked C or C++ source is not formatted with the repo's
# .clang-format. Run from anywhere; lists the files to run `clang-format -i` on.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "not formatted (clang-format -i): ${bad[*]}" >&2
  exit 1
fi
echo "format: ${#files[@]} sources formatted"
