#!/usr/bin/env bash
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh <prefix> <program.exe> [args...]
# CTest uses it as the cross-compiling emulator; the prefix lives in the build
# tree. A 64-bit program (the test build of scripts/test.sh on a machine
# without 32-bit support) runs under 64-bit Wine. Exits 77 (CTest's
# "skipped") when this machine cannot run the program's kind.
set -euo pipefail
here=$(dirname "$0")
prefix=$1
program=$2
shift

# The PE header's machine field: 8664 for x86-64.
arch=win32
if [ -f "$program" ]; then
  header=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
  if [ -n "$header" ] && [ "$(od -An -tx2 -j$((header + 4)) -N2 "$program" | tr -d ' ')" = 8664 ]; then
    arch=win64
  fi
fi
if ! "$here/wine-check.sh" $arch; then
  echo "wine-run: skipped $program" >&2
  exit 77
fi

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=$arch
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ $arch = win64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
