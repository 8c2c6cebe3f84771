#!/usr/bin/env bash
# Runs one test program on its own Xvfb server with the openbox window manager,
# so that active windows, frames and work areas exist as on a real desktop.
set -euo pipefail
prog="$1"; shift
exec xvfb-run -a -s "-screen 0 ${KAP_X11_SCREEN:-1280x1024x24} -nolisten tcp" \
    bash -c 'openbox >/dev/null 2>&1 & wm=$!
             for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
             "$@"; rc=$?; kill $wm 2>/dev/null; exit $rc' _ "$prog" "$@"
