#!/usr/bin/env bash
# Puts a real screen on the desktop, captures it with "Capturer le bureau", drags the highlighter
# and then an arrow (Ctrl+F) across the picture, and saves it as PNG through the save dialog. The
# saved pixels are then checked against the grabbed capture file: the highlighter's band has lost
# its blue, the arrow's shaft is red, and nothing else changed (the rubber bands left no trace).
set -euo pipefail
program="$1"
work=$(mktemp -d)
pid=
viewer=
trap 'kill $pid $viewer 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$work/kaptorama"
export TMPDIR="$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

screen_png="${KAP_SHARED_DIR:?the shared reference folder is not set}/screens/desktop-1080.png"

# A real screen (a photograph of a desktop) shown full size behind the program: what the
# capture grabs.
display -geometry +0+0 "$screen_png" &
viewer=$!
timeout 20 xdotool search --sync --onlyvisible --name 'desktop-1080' >/dev/null ||
    fail "could not put a screen on the desktop"
sleep 0.5

"$work/kaptorama" &
pid=$!
main=$(timeout 20 xdotool search --sync --name '^-=\[Kaptorama 2 Beta 58\]=-$' | head -n1) ||
    fail "the main window did not appear"
sleep 1

# "Capturer le bureau" is the first toolbar button, 42 x 42 at (3, 0).
xdotool mousemove --window "$main" 24 21 click 1
for _ in $(seq 100); do [ -e "$work/kaptoramao.bmp" ] && break; sleep 0.1; done
[ -e "$work/kaptoramao.bmp" ] || fail "the capture wrote no grabbed capture file"
sleep 1.5

# Picture points are given in the main window's client area: the scroll area lies at (3, 45)
# with a one-pixel frame.
stroke() { # a drag with button 1 through the given picture points
    local first=1
    while [ $# -ge 2 ]; do
        xdotool mousemove --window "$main" $((4 + $1)) $((46 + $2))
        sleep 0.02
        if [ $first = 1 ]; then xdotool mousedown 1; first=0; sleep 0.05; fi
        shift 2
    done
    sleep 0.05
    xdotool mouseup 1
    sleep 0.3
}

# Highlighter (the tool at start-up, yellow) from (100, 200) to (400, 200), 10 pixels a move:
# each move stamps a 16-pixel square at the position before it.
stroke $(for x in $(seq 100 10 400); do echo "$x 200"; done)
# Arrow (Ctrl+F: arrow, red) from (100, 400) to (500, 400), wandering on the way.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+f
sleep 0.3
stroke 100 400 300 300 450 500 600 420 500 400

# The save button (the last one, at 381): its dialog takes a path typed in and Enter; the format
# configured at start is 24-bit PNG.
xdotool mousemove --window "$main" 402 21 click 1
timeout 10 xdotool search --sync --onlyvisible --name "^Enregistrer la capture d'écran$" \
    >/dev/null || fail "the save dialog did not open"
sleep 0.7
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "$work/annotated.png"
xdotool key Return
for _ in $(seq 100); do [ -s "$work/annotated.png" ] && break; sleep 0.1; done
[ -s "$work/annotated.png" ] || fail "the save wrote no file"
sleep 0.5
convert "$work/kaptoramao.bmp" -depth 8 "rgb:$work/before.rgb"
convert "$work/annotated.png" -depth 8 "rgb:$work/after.rgb"
size=$(identify -format '%w %h' "$work/annotated.png")
[ "$size" = "$(identify -format '%w %h' "$work/kaptoramao.bmp")" ] || fail "the saved picture is $size"

python3 - $size "$work/before.rgb" "$work/after.rgb" <<'PY' || fail "unexpected pixels"
import sys

w, h = int(sys.argv[1]), int(sys.argv[2])
def rows(path):
    data = open(path, 'rb').read()
    return [data[y * w * 3:(y + 1) * w * 3] for y in range(h)]
before, after = rows(sys.argv[3]), rows(sys.argv[4])
px = lambda rows, x, y: tuple(rows[y][x * 3: x * 3 + 3])  # red, green, blue

# The highlighter: the 16 rows above row 200 from column 100 on, AND yellow (blue cleared).
for x in (110, 250, 380):
    for y in (186, 192, 198):
        r0, g0, b0 = px(before, x, y)
        assert px(after, x, y) == (r0, g0, 0), (x, y, px(before, x, y), px(after, x, y))
# The arrow's shaft along row 400 is red.
for x in (150, 300, 450):
    assert any(px(after, x, y) == (255, 0, 0) for y in range(398, 403)), x
# Nothing changed away from the band and the arrow: the previews left no trace.
changed = 0
for y in range(h):
    if before[y] == after[y]:
        continue
    for x in range(w):
        if px(before, x, y) == px(after, x, y):
            continue
        in_band = 100 <= x <= 405 and 184 <= y <= 199
        in_arrow = 80 <= x <= 505 and 385 <= y <= 415
        if not (in_band or in_arrow):
            changed += 1
assert changed == 0, f"{changed} pixels changed elsewhere"
print("pixels as expected")
PY

kill "$pid" 2>/dev/null || true
echo "1 passed, 0 failed"
