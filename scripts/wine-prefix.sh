#!/usr/bin/env bash
# Creates the private Wine prefix of a build tree once: 32-bit (or 64-bit for
# the 64-bit test build), no Mono or Gecko dialogs, and windows decorated by
# Wine itself (there is no window manager under Xvfb), so that captions, frames
# and maximised windows look and measure as on Windows.
#   wine-prefix.sh <prefix> [win32|win64]
set -euo pipefail
prefix=$(realpath -m "$1")
arch=${2:-win32}
[ -f "$prefix/.leafbook-ready" ] && exit 0
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
[ "$arch" = win64 ] && wine=/usr/lib/wine/wine64
echo "== preparing the Wine prefix $prefix"
$wine wineboot.exe --init >/dev/null 2>&1 || true
wineserver -w
key='HKCU\Software\Wine\X11 Driver'
for attempt in 1 2 3; do
  $wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w
  set=$($wine reg query "$key" /v Managed 2>/dev/null || true)
  # Nothing of this Wine session may outlive the script: a display-less
  # desktop process would refuse the tests' windows.
  wineserver -w
  if grep -q 'REG_SZ *N' <<<"$set"; then
    touch "$prefix/.leafbook-ready"
    exit 0
  fi
done
echo "wine-prefix: cannot set up $prefix" >&2
exit 1
