#!/usr/bin/env bash
# Captures a real screen and checks, on the pixels saved through the save dialog, that:
# - "Redimensionner" then Ctrl+Z gives back the capture exactly, and Ctrl+Shift+Z the resized
#   picture exactly;
# - after 50 highlighter strokes, 25 undos and a new stroke, one undo gives step 25 exactly;
# - a 1,400-pixel highlighter stroke sent in 24-pixel moves leaves an unbroken band.
# Runs on a 1920 x 1080 screen (KAP_X11_SCREEN).
set -euo pipefail
program="$1"
. "$(dirname "$0")/captured_screen.sh"

keys() {
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key --clearmodifiers "$@"
    sleep 0.3
}

same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; } # byte for byte

# Resize through the context menu (sixth item, "Redimensionner"; 400 pixels wide at start).
xdotool mousemove --window "$main" 300 300 click 3
sleep 0.5
keys Down Down Down Down Down Down Return
sleep 1
save resized
[ "$(identify -format '%w %h' "$work/resized.png")" = "400 225" ] || fail "no resize"
keys ctrl+z
save undone
same "$work/undone.png" "$work/kaptoramao.bmp" || fail "undo did not give the capture back"
keys ctrl+shift+z
save redone
same "$work/redone.png" "$work/resized.png" || fail "redo did not give the resize back"
keys ctrl+z

# 50 strokes, each at its own place, undo to 25, a new stroke, one undo.
for i in $(seq 0 49); do
    x=$((100 + i / 10 * 250)) y=$((100 + i % 10 * 40))
    stroke $x $y $((x + 50)) $y $((x + 100)) $y
done
for _ in $(seq 25); do keys ctrl+z; done
save step25
stroke 100 700 200 700
keys ctrl+z
save back
same "$work/back.png" "$work/step25.png" || fail "one undo after the new stroke is not step 25"

# 1,400 pixels to the right in moves of 24, on row 800.
stroke $(for x in $(seq 200 24 1616); do echo "$x 800"; done)
save brisk
convert "$work/kaptoramao.bmp" -depth 8 "rgb:$work/before.rgb"
convert "$work/brisk.png" -depth 8 "rgb:$work/after.rgb"
python3 - "$work"/{before,after}.rgb <<'PY' || fail "the band has gaps"
import sys
# Row 792, in the 16 rows above the stroke's: blue cleared from column 200 to 1615.
b, a = (open(p, 'rb').read()[(792 * 1920 + 200) * 3:(792 * 1920 + 1616) * 3] for p in sys.argv[1:])
gaps = [x for x in range(0, len(b), 3) if a[x:x + 3] != bytes([b[x], b[x + 1], 0])]
assert not gaps, f"{len(gaps)} columns without the band"
PY

kill "$pid" 2>/dev/null || true
echo "1 passed, 0 failed"
