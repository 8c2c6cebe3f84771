#!/usr/bin/env bash
# Runs one test program on its own Xvfb server with the openbox window manager, so that active
# windows, frames and work areas exist as on a real desktop.
#
# The server picks a free display number itself (-displayfd) instead of xvfb-run's guess from
# the lock files: two runs starting at the same moment could otherwise both take the same
# number, and the loser would run its tests on the other's server.
set -euo pipefail
prog="$1"; shift

dir=$(mktemp -d "${TMPDIR:-/tmp}/kap-x11.XXXXXX")
xvfb=
wm=
cleanup() {
    set +e
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

# The server accepts every cookie of its authority file, whatever display the entry names.
cookie=$(mcookie)
touch "$dir/server-auth" "$dir/client-auth"
xauth -q -f "$dir/server-auth" add :0 . "$cookie"
Xvfb -displayfd 3 -screen 0 "${KAP_X11_SCREEN:-1280x1024x24}" -nolisten tcp \
    -auth "$dir/server-auth" 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
# The number is written, then a line feed, once the server takes connections.
for _ in $(seq 200); do
    [ "$(wc -l <"$dir/display")" -ge 1 ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        cat "$dir/xvfb.log" >&2
        echo "Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.05
done
if [ "$(wc -l <"$dir/display")" -lt 1 ]; then
    echo "Xvfb did not report its display" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$dir/display")"
export XAUTHORITY="$dir/client-auth"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"

openbox >/dev/null 2>&1 &
wm=$!
# Openbox is ready once it names its check window ("window id # 0x...").
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

set +e
"$prog" "$@"
exit $?
