#!/usr/bin/env bash
# The keyboard and the windows after the commands that take them away. After each way a region
# capture can end (a drag, a click without drag, Escape, a release that ends in an error box),
# typing reaches the configuration window's "Nom:" field. After the external program and after
# the program chooser, both of which send the program to the task bar, the windows brought back
# by the user come up normal at the next capture or Ctrl+R. A window fitted to a tall region
# stays inside the work area.
set -euo pipefail
program="$1"
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
# shellcheck source=../support/e2e.sh
. "$(dirname "$0")/../support/e2e.sh"

# A program registered for BMP pictures that only notes it ran.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
printf '#!/bin/sh\ntouch "%s/opened"\n' "$work" >"$work/viewer"
chmod +x "$work/viewer"
printf '[Desktop Entry]\nType=Application\nName=Visionneuse\nExec=%s %%f\nMimeType=image/bmp;\n' \
    "$work/viewer" >"$XDG_DATA_HOME/applications/kaptest-viewer.desktop"
update-desktop-database "$XDG_DATA_HOME/applications"
printf '[Default Applications]\nimage/bmp=kaptest-viewer.desktop\n' >"$XDG_CONFIG_HOME/mimeapps.list"

start_program "$program"

# Opens the configuration window, types into "Nom:" (at 193, 256 of the window) and reads the
# field back through the clipboard.
name_field_takes() {
    find_main
    press "$main" ctrl+r
    local config
    config=$(window_named '^Configuration$') || fail "$2: Ctrl+R did not open the configuration window"
    sleep 0.3
    xdotool mousemove --window "$config" 193 256 click 1
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$1"
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.2
    [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$1" ] ||
        fail "$2: the name field holds '$(xclip -selection clipboard -o 2>&1)', not '$1'"
    xdotool mousemove --window "$config" 287 436 click 1 # Ok
    sleep 0.3
}

overlay() {
    toolbar 108 # region capture
    window_named '^Form3$' >/dev/null || fail "the region overlay did not show"
    sleep 0.3
}

# A region nearly as tall as the screen: the window fitted to it stays inside the work area.
overlay
xdotool mousemove 100 100 mousedown 1 mousemove 500 500 mousemove 1000 750 mouseup 1
wait_main_shown_normal || fail "the main window did not come back after a drag"
sleep 0.5
# xwininfo's absolute position is the client area's (xdotool's counts the frame twice).
y=$(xwininfo -id "$main" | awk '/Absolute upper-left Y/ {print $4}')
h=$(xwininfo -id "$main" | awk '/Height:/ {print $2}')
read -r _ _ _ fb < <(xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
screen_h=$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[2]}')
[ $((y + h + fb)) -le "$screen_h" ] ||
    fail "the main window reaches row $((y + h + fb)), below the screen's $screen_h"
name_field_takes glisser "after a drag"

overlay
xdotool mousemove 300 300 click 1
wait_main_shown_normal || fail "the main window did not come back after a click"
name_field_takes clic "after a click without drag"

overlay
xdotool key Escape
wait_main_shown_normal || fail "the main window did not come back after Escape"
name_field_takes echap "after Escape"

# The grabbed capture file cannot be written where a folder of its name stands: an error box.
rm -f "$TMPDIR/kaptoramao.bmp"
mkdir "$TMPDIR/kaptoramao.bmp"
overlay
xdotool mousemove 100 100 mousedown 1 mousemove 300 250 mouseup 1
box=$(window_named '^Kaptorama$') || fail "no error box when the capture file could not be written"
sleep 0.3
xdotool key Return
for _ in $(seq 30); do xdotool search --onlyvisible --name '^Kaptorama$' >/dev/null || break; sleep 0.1; done
xdotool search --onlyvisible --name '^Kaptorama$' >/dev/null && fail "Return did not close the error box"
rmdir "$TMPDIR/kaptoramao.bmp"
wait_main_shown_normal || fail "the main window did not come back after the error box"
name_field_takes erreur "after an error box"

# The external program: the program goes to the task bar; the user brings it back; the next
# desktop capture shows the main window normal.
toolbar 24
sleep 2
toolbar 234
for _ in $(seq 50); do [ -e "$work/opened" ] && break; sleep 0.1; done
[ -e "$work/opened" ] || fail "the external program did not start"
sleep 0.5
xdotool windowactivate "$main"
wait_main_shown_normal || fail "the main window did not come back from the task bar"
toolbar 24
sleep 2.5
wait_main_shown_normal || fail "after the external program, a capture left the main window minimised"

# The chooser, opened by "?" in the configuration window: after it, Ctrl+R shows the
# configuration window normal.
find_main
press "$main" ctrl+r
config=$(window_named '^Configuration$') || fail "Ctrl+R did not open the configuration window"
sleep 0.3
rm -f "$work/opened"
xdotool mousemove --window "$config" 171 178 click 1
chooser=$(window_named '^Ouvrir avec$') || fail "the program chooser did not open"
sleep 0.5
xdotool key --clearmodifiers Down Return
for _ in $(seq 50); do [ -e "$work/opened" ] && break; sleep 0.1; done
[ -e "$work/opened" ] || fail "the chosen program did not start"
sleep 0.5
xdotool windowactivate "$main"
wait_main_shown_normal || fail "the main window did not come back from the task bar"
press "$main" ctrl+r
sleep 1
shown_normal "$config" || fail "after the chooser, Ctrl+R left the configuration window minimised"
name_field_takes choix "after the chooser"

close_program
echo "1 passed, 0 failed"
