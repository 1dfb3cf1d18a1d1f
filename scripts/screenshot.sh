#!/usr/bin/env bash
# Runs a book executable under Wine in Xvfb and saves a picture of the screen:
#   scripts/screenshot.sh <book.exe> <out.png> [viewer arguments...]
# Uses (and if needed builds) the Windows build in build/win32.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 <book.exe> <out.png> [viewer arguments...]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
book=$(realpath "$1")
out=$(realpath -m "$2")
shift 2

if [ ! -f "$root/build/win32/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$root/build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$root/build/win32" -j "${JOBS:-2}" --target viewer_screenshot >/dev/null
prefix=$root/build/win32/wineprefix
"$root/scripts/wine-prefix.sh" "$prefix"

export WINEPREFIX=$prefix WINEDEBUG=-all
# Wine's Z: drive is the Unix root. (winepath would start a Wine session
# without a display, and a session left from another display refuses the
# windows of this one.)
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
xvfb-run -a -s "-screen 0 ${SCREEN:-1920x1080}x24" \
  "$root/scripts/wine-run.sh" "$prefix" "$root/build/win32/tests/app/viewer_screenshot.exe" \
  "$(windows_path "$book")" "$(windows_path "$out")" "$@"
echo "screenshot: $out"
