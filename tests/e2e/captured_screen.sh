# Sourced by the end-to-end scripts that annotate a capture: shows a real screen (a photograph of
# a desktop) full size, starts the program from a work folder that is also its temporary folder,
# and captures the desktop with "Capturer le bureau". Then offers stroke and save.
# Sets: work, main (the main window), pid; the helpers of tests/support/e2e.sh.
work=$(mktemp -d)
pid=
viewer=
trap 'kill $pid $viewer 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$work/kaptorama"
export TMPDIR="$work"

# shellcheck source=../support/e2e.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"

screen_png="${KAP_SHARED_DIR:?the shared reference folder is not set}/screens/desktop-1080.png"

display -geometry +0+0 "$screen_png" &
viewer=$!
timeout 20 xdotool search --sync --onlyvisible --name 'desktop-1080' >/dev/null ||
    fail "could not put a screen on the desktop"
sleep 0.5

"$work/kaptorama" &
pid=$!
main=$(timeout 20 xdotool search --sync --name "$kMainTitle" | head -n1) ||
    fail "the main window did not appear"
sleep 1

# "Capturer le bureau" is the first toolbar button, 42 x 42 at (3, 0).
xdotool mousemove --window "$main" 24 21 click 1
for _ in $(seq 100); do [ -e "$work/kaptoramao.bmp" ] && break; sleep 0.1; done
[ -e "$work/kaptoramao.bmp" ] || fail "the capture wrote no grabbed capture file"
sleep 1.5

# A drag with button 1 through the given picture points (in the main window's client area the
# scroll area lies at (3, 45) with a one-pixel frame), STROKE_PAUSE seconds between moves.
stroke() {
    xdotool mousemove --window "$main" $((4 + $1)) $((46 + $2)) sleep 0.05 mousedown 1
    shift 2
    local moves=()
    while [ $# -ge 2 ]; do
        moves+=(sleep "${STROKE_PAUSE:-0}" mousemove --window "$main" $((4 + $1)) $((46 + $2)))
        shift 2
    done
    xdotool "${moves[@]}" sleep 0.05 mouseup 1
    sleep 0.2
}

# The save button (the last one, at 381), then the path typed into its dialog and Enter; the
# format configured at start is 24-bit PNG. Saves $work/<name>.png.
save() {
    xdotool mousemove --window "$main" 402 21 click 1
    timeout 10 xdotool search --sync --onlyvisible --name "^Enregistrer la capture d'écran$" \
        >/dev/null || fail "the save dialog did not open"
    sleep 0.7
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$work/$1.png"
    xdotool key Return
    for _ in $(seq 100); do [ -s "$work/$1.png" ] && break; sleep 0.1; done
    [ -s "$work/$1.png" ] || fail "the save wrote no $1.png"
    sleep 0.5
}
