#!/usr/bin/env bash
# text_label_confined.sh WINE-RUN PREFIX PROGRAM.exe: kaptorama.exe under Wine. While the text
# label is held down the system keeps the pointer where the label stays inside the scroll area
# (the pointer sent to the screen's corners stops short of them), and the release frees the
# pointer again.
set -euo pipefail
wine_run="$1"
prefix="$2"
work=$(mktemp -d "${TMPDIR:-/tmp}/kap-label.XXXXXX")
pid=
trap 'xdotool mouseup 1 2>/dev/null; [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=tests/support/e2e.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"

pointer_at() { xdotool getmouselocation | sed -E 's/^x:([0-9]+) y:([0-9]+).*/\1 \2/'; }
# The bounding box "W H X Y" of the black pixels (the label's text) below the toolbar.
black_box() {
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$(($1 - 40))x$(($2 - 180))+10+100" +repage \
        -fill white +opaque black -trim -format '%w %h %X %Y\n' info: | tr -d '+'
}

cp "$3" "$work/kaptorama.exe"
xsetroot -solid '#3a6ea5'
read -r width height < <(xdotool getdisplaygeometry)
start_program_under_wine "$wine_run" "$prefix" "$work/kaptorama.exe"
capture_under_wine "$prefix" # Capturer le bureau: a flat picture, larger than the view
wait_main_shown_normal || fail "the main window is not back after the capture"
press "$main" ctrl+t
dialog=$(window_named '^Insérer du texte$') || fail "no text dialog"
press "$dialog" B o n j o u r
xdotool mousemove $((width / 3)) $((height / 2))
sleep 0.3
press "$dialog" Return
# The label's text: black pixels in a box of more than one pixel (a screen without any trims to
# one pixel), looked for over up to 10 s.
w=0 h=0
for _ in $(seq 20); do
    sleep 0.5
    read -r w h x y < <(black_box "$width" "$height") && ((w > 1 && h > 1)) && break
done
((w > 1 && h > 1)) || fail "no label shown"
x=$((x + 10 + w / 2))
y=$((y + 100 + h / 2))

xdotool mousemove "$x" "$y" mousedown 1
sleep 0.5
xdotool mousemove 0 0
sleep 0.5
read -r left top < <(pointer_at)
xdotool mousemove $((width - 1)) $((height - 1))
sleep 0.5
read -r right bottom < <(pointer_at)
xdotool mouseup 1
sleep 0.5
((left > 0 && top > 0)) || fail "the pointer reached $left,$top while the label was held"
((right < width - 1 && bottom < height - 1)) ||
    fail "the pointer reached $right,$bottom while the label was held"
xdotool mousemove 0 0
sleep 0.5
[ "$(pointer_at)" = "0 0" ] || fail "the pointer is still held after the release: $(pointer_at)"

close_program
echo "1 passed, 0 failed"
