#!/usr/bin/env bash
# Puts a real screen on the desktop, captures it with "Capturer le bureau", drags the highlighter
# and then an arrow (Ctrl+F) across the picture, and saves it as PNG through the save dialog. The
# saved pixels are then checked against the grabbed capture file: the highlighter's band has lost
# its blue, the arrow's shaft is red, and nothing else changed (the rubber bands left no trace).
set -euo pipefail
program="$1"
. "$(dirname "$0")/captured_screen.sh"
STROKE_PAUSE=0.02

# Highlighter (the tool at start-up, yellow) from (100, 200) to (400, 200), 10 pixels a move:
# each move stamps a 16-pixel square at the position before it.
stroke $(for x in $(seq 100 10 400); do echo "$x 200"; done)
# Arrow (Ctrl+F: arrow, red) from (100, 400) to (500, 400), wandering on the way.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+f
sleep 0.3
stroke 100 400 300 300 450 500 600 420 500 400

save annotated
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
