#!/usr/bin/env bash
# Runs a command (the Windows tests) inside a virtual screen of 1920 x 1080
# whose work area stops 48 pixels above the bottom, as a task bar would: a
# maximised window then differs from a full-screen one, as on a desktop.
# The server is not reset between clients, so the work area stays set.
#   xvfb-tests.sh <command> [args]
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" sh -c \
  'xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, 1920, 1032" && exec "$@"' \
  xvfb-tests "$@"
