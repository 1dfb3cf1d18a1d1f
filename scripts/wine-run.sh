#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh <prefix> <program.exe> [args...]
# CTest uses it as the cross-compiling emulator; the prefix lives in the build tree.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
