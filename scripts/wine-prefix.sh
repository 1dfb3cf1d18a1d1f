#!/usr/bin/env bash
# Creates the private Wine prefix of a build tree once: 32-bit, no Mono or
# Gecko dialogs, and windows decorated by Wine itself (there is no window
# manager under Xvfb), so that captions, frames and maximised windows look and
# measure as on Windows.
#   wine-prefix.sh <prefix>
set -euo pipefail
prefix=$1
[ -f "$prefix/.leafbook-ready" ] && exit 0
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "== creating the Wine prefix $prefix"
wineboot --init >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.leafbook-ready"
