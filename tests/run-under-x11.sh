#!/usr/bin/env bash
# Runs one test program on its own Xvfb server with the openbox window manager, so that active
# windows, frames and work areas exist as on a real desktop.
#
# The server picks a free display number itself (-displayfd) instead of xvfb-run's guess from
# the lock files: two runs starting at the same moment could otherwise both take the same
# number, and the loser would run its tests on the other's server.
#
# KAP_X11_OUTPUTS: several displays instead of Xvfb's one, a space-separated list of
# WIDTHxHEIGHT+X+Y with a trailing * on the primary one ("640x480+0+0 1024x768+640+100*"). They
# run on an Xorg server with the dummy video driver, laid out with xrandr.
# KAP_X11_COMPOSITOR: a compositing manager started after openbox ("xcompmgr -c -f").
set -euo pipefail
# Window titles are matched with accents (xdotool's patterns follow the locale): the tests run in
# a UTF-8 locale whatever the caller's.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset LANGUAGE
prog="$1"; shift

dir=$(mktemp -d "${TMPDIR:-/tmp}/kap-x11.XXXXXX")
xvfb=
wm=
compositor=
cleanup() {
    set +e
    [ -n "$compositor" ] && kill "$compositor" 2>/dev/null
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
if [ -n "${KAP_X11_OUTPUTS:-}" ]; then
    cat >"$dir/xorg.conf" <<'CONF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 4096 4096
    EndSubSection
EndSection
CONF
    Xorg -displayfd 3 -config "$dir/xorg.conf" -noreset -nolisten tcp -novtswitch -sharevts \
        -auth "$dir/server-auth" -logfile "$dir/xorg.log" 3>"$dir/display" 2>"$dir/xvfb.log" &
else
    # -noreset: by default the server starts afresh whenever its last client leaves, and drops
    # whoever is connecting at that moment (openbox, racing the readiness probe below).
    Xvfb -displayfd 3 -screen 0 "${KAP_X11_SCREEN:-1280x1024x24}" -nolisten tcp -noreset \
        -auth "$dir/server-auth" 3>"$dir/display" 2>"$dir/xvfb.log" &
fi
xvfb=$!
# The number is written, then a line feed, once the server takes connections.
for _ in $(seq 200); do
    [ "$(wc -l <"$dir/display")" -ge 1 ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        cat "$dir/xvfb.log" >&2
        echo "the X server did not start" >&2
        exit 1
    fi
    sleep 0.05
done
if [ "$(wc -l <"$dir/display")" -lt 1 ]; then
    echo "the X server did not report its display" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$dir/display")"
export XAUTHORITY="$dir/client-auth"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"

if [ -n "${KAP_X11_OUTPUTS:-}" ]; then
    # The dummy driver's outputs are DUMMY0, DUMMY1...; all but the first start disconnected
    # and take a mode only once it has been added to them.
    layout=()
    i=0
    for output in $KAP_X11_OUTPUTS; do
        geometry=${output%\*}
        mode=${geometry%%+*}
        position=${geometry#*+}
        xrandr --addmode "DUMMY$i" "$mode" 2>/dev/null || true
        layout+=(--output "DUMMY$i" --mode "$mode" --pos "${position/+/x}")
        if [ "$geometry" != "$output" ]; then
            layout+=(--primary)
        fi
        i=$((i + 1))
    done
    if ! xrandr "${layout[@]}"; then
        echo "xrandr could not lay out the displays $KAP_X11_OUTPUTS" >&2
        exit 1
    fi
fi

openbox >"$dir/wm.log" 2>&1 &
wm=$!
# Tests that make the window manager slow (by stopping it a moment) find it here.
export KAP_X11_WM_PID="$wm"
# Openbox is ready once it announces what it supports, active windows included; a loaded machine
# may take a while. Tests need it, so a window manager that never comes up stops the run here
# rather than as a puzzling failure later.
ready=
for _ in $(seq 300); do
    if xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_ACTIVE_WINDOW'; then
        ready=1
        break
    fi
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$ready" ]; then
    cat "$dir/wm.log" >&2
    echo "the window manager (openbox) did not start on $DISPLAY" >&2
    exit 1
fi

if [ -n "${KAP_X11_COMPOSITOR:-}" ]; then
    # The test waits until the compositor owns its selection.
    # shellcheck disable=SC2086
    $KAP_X11_COMPOSITOR >/dev/null 2>&1 &
    compositor=$!
fi

set +e
"$prog" "$@"
exit $?
