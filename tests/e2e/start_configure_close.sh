#!/usr/bin/env bash
# Starts the program, checks its main window's title and outer size, opens the configuration
# window with Ctrl+R, presses "Ok", checks the settings file written beside the executable, then
# closes the program and checks that it ends.
set -euo pipefail
program="$1"
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$work/kaptorama"
export TMPDIR="$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$work/kaptorama" &
pid=$!

main=$(timeout 20 xdotool search --sync --name '^-=\[Kaptorama 2 Beta 58\]=-$' | head -n1) ||
    fail "the main window did not appear"
sleep 1

# Outer size: the client area plus the frame the window manager reports.
eval "$(xdotool getwindowgeometry --shell "$main")"
read -r fl fr ft fb < <(xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
outer_w=$((WIDTH + fl + fr))
outer_h=$((HEIGHT + ft + fb))
[ "$outer_w" = 442 ] && [ "$outer_h" = 423 ] || fail "outer size ${outer_w}x${outer_h}, not 442x423"
xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the main window is not on top"
[ ! -e "$work/Kaptorama.ini" ] || fail "a settings file exists before the configuration window closed"

xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers ctrl+r
config=$(timeout 10 xdotool search --sync --onlyvisible --name '^Configuration$' | head -n1) ||
    fail "Ctrl+R did not open the configuration window"
sleep 0.5
xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE &&
    fail "the main window stayed on top of the configuration window"

# "Ok" is 75 x 25 at (250, 424) in the configuration window.
xdotool mousemove --window "$config" 287 436 click 1
for _ in $(seq 50); do [ -e "$work/Kaptorama.ini" ] && break; sleep 0.1; done
expected=$(printf '[Options]\r\njpg=0\r\nbmp=0\r\npng_8=0\r\npng_256=1\r\njpg_compression=100\r\nsize_stylet=3\r\nsize_surligneur=16\r\nlargeur_px=400\r\n' | od -c)
[ "$(od -c < "$work/Kaptorama.ini")" = "$expected" ] || fail "unexpected settings file: $(cat -A "$work/Kaptorama.ini")"
sleep 0.5
xdotool search --onlyvisible --name '^Configuration$' >/dev/null && fail "the configuration window is still shown"
xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the main window did not take back stay-on-top"

if [ -n "${KAP_E2E_SHOT:-}" ]; then
    import -window root "$KAP_E2E_SHOT"
fi

xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end when its main window closed"
wait "$pid" || fail "the program exited with an error"
echo "1 passed, 0 failed"
