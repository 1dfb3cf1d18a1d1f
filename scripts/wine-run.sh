#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh <prefix> <program.exe> [args...]
# CTest uses it as the cross-compiling emulator; the prefix lives in the build tree.
# Exits 77 (CTest's "skipped") on a machine that cannot run 32-bit programs.
set -euo pipefail
if ! "$(dirname "$0")/wine-check.sh"; then
  echo "wine-run: skipped $2" >&2
  exit 77
fi
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
