#!/usr/bin/env bash
# Runs a book executable under Wine in Xvfb and saves a picture of the screen:
#   scripts/screenshot.sh <book.exe> <out.png> [--then-key <vk> <out2.png>] [viewer arguments...]
# Uses (and if needed builds) the Windows build in $BUILD (build/win32; with
# ARCH=win64, a 64-bit one).
set -euo pipefail
[ $# -ge 2 ] || {
  echo "usage: $0 <book.exe> <out.png> [--then-key <vk> <out2.png>] [viewer arguments...]" >&2
  exit 2
}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${BUILD:-build/win32}
arch=${ARCH:-win32}
book=$(realpath "$1")
out=$(realpath -m "$2")
shift 2

if [ ! -f "$build/CMakeCache.txt" ]; then
  toolchain=mingw-i686
  [ "$arch" = win64 ] && toolchain=mingw-x86_64
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
fi
cmake --build "$build" -j "${JOBS:-2}" --target viewer_screenshot >/dev/null
prefix=$build/wineprefix
"$root/scripts/wine-prefix.sh" "$prefix" "$arch"

export WINEPREFIX=$prefix WINEDEBUG=-all
# Wine's Z: drive is the Unix root. (winepath would start a Wine session
# without a display, and a session left from another display refuses the
# windows of this one.)
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
xvfb-run -a -s "-screen 0 ${SCREEN:-1920x1080}x24" \
  "$root/scripts/wine-run.sh" "$prefix" "$build/tests/app/viewer_screenshot.exe" \
  "$(windows_path "$book")" "$(windows_path "$out")" "$@"
echo "screenshot: $out"
