#!/usr/bin/env bash
# desktop_clipboard_close.sh WINE-RUN PREFIX PROGRAM.exe: kaptorama.exe under Wine on an X server
# with a solid-colour root window. A desktop capture followed by the clipboard button leaves one
# bitmap on the clipboard (offered to X as image/bmp alone), of the screen's size and equal to the
# screen pixel for pixel; closing the main window ends the program within 10 s and leaves no
# working file in the temporary folder.
set -euo pipefail
wine_run="$1"
prefix="$2"
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cp "$3" "$work/kaptorama.exe"

fail() { echo "FAIL: $*" >&2; exit 1; }
click() { xdotool mousemove --window "$main" "$1" 21 click 1; }
working_files() { find "$prefix/drive_c/users" -ipath '*/Temp/kaptorama*' 2>/dev/null | sort; }

xsetroot -solid '#3a6ea5'
import -window root "$work/screen.png"
before=$(working_files)

"$wine_run" "$prefix" "$work/kaptorama.exe" &
pid=$!
main=$(timeout 90 xdotool search --sync --onlyvisible --name '^-=\[Kaptorama 2 Beta 58\]=-$' |
    head -n1) || fail "the main window did not appear"
sleep 2

click 24 # Capturer le bureau
sleep 3
click 192 # copy to the clipboard
sleep 1
targets=$(xclip -selection clipboard -o -t TARGETS)
grep -qx image/bmp <<<"$targets" || fail "no image/bmp on the clipboard: $targets"
grep -qiE 'png|text|string|x-qt' <<<"$targets" && fail "more than the bitmap on the clipboard: $targets"
xclip -selection clipboard -o -t image/bmp >"$work/pasted.bmp"
differing=$(compare -metric AE "$work/screen.png" "$work/pasted.bmp" null: 2>&1 || true)
[ "$differing" = 0 ] || fail "the pasted picture differs from the screen: $differing pixels"

xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+F4
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end within 10 s of closing"
wait "$pid" || fail "the program exited with an error"
pid=
[ "$(working_files)" = "$before" ] || fail "working files left: $(working_files)"
echo "1 passed, 0 failed"
