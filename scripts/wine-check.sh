#!/usr/bin/env bash
# Tells whether this machine can run Windows tests under Wine.
#   wine-check.sh          32-bit programs (the viewer's own kind)
#   wine-check.sh win64    64-bit programs
# Exit 0 when Wine's loader of that kind starts, 1 (with the reason) when not.
# A kernel booted without its 32-bit emulation refuses every 32-bit program
# ("Exec format error"): the 32-bit tests are then built but cannot run.
set -uo pipefail
if [ "${1:-win32}" = win64 ]; then
  loader=/usr/lib/wine/wine64
  if [ ! -x "$loader" ]; then
    echo "64-bit Wine is not installed" >&2
    exit 1
  fi
  if ! out=$("$loader" --version 2>&1); then
    echo "64-bit Wine does not start: $out" >&2
    exit 1
  fi
  exit 0
fi
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed" >&2
  exit 1
fi
if ! out=$(wine --version 2>&1); then
  echo "this machine cannot run 32-bit programs (${out##*: }); the kernel's 32-bit emulation is off" >&2
  exit 1
fi
exit 0
