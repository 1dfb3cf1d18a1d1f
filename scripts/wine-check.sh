#!/usr/bin/env bash
# Tells whether this machine can run the 32-bit Windows tests: Wine's 32-bit
# loader must start. A kernel booted without its 32-bit emulation refuses every
# 32-bit program ("Exec format error"); the Windows build is then still made,
# but its tests cannot run here.
#   wine-check.sh          exit 0 when Wine runs, 1 (with the reason) when not
set -uo pipefail
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed" >&2
  exit 1
fi
if ! out=$(wine --version 2>&1); then
  echo "this machine cannot run 32-bit programs (${out##*: }); the kernel's 32-bit emulation is off" >&2
  exit 1
fi
exit 0
