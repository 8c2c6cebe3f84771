#!/usr/bin/env bash
# Captures the desktop with the real program, copies it to the clipboard and reads it back with
# xclip, sends it by e-mail through a stub xdg-email placed first on the PATH (once succeeding,
# once failing with the error box), then closes the program and pastes the picture again.
set -euo pipefail
program="$1"
keeper="$2"
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$program" "$work/kaptorama"
cp "$keeper" "$work/kaptorama-clipboard"
export TMPDIR="$work/t m p \$x"
mkdir -p "$TMPDIR" "$work/bin"
cat >"$work/bin/xdg-email" <<STUB
#!/bin/sh
printf '%s\n' "\$@" > "$work/email-args"
exit "\$(cat "$work/email-exit")"
STUB
chmod +x "$work/bin/xdg-email"
export PATH="$work/bin:$PATH"

fail() { echo "FAIL: $*" >&2; exit 1; }
click() { xdotool mousemove --window "$main" "$1" 21 click 1; }
minimised() { xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
# Gives a window the keyboard and presses a key on it.
press() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    sleep 0.2
    xdotool key --clearmodifiers "$2"
}
png_size() { xclip -selection clipboard -o -t image/png | identify -format '%wx%h' png:-; }

"$work/kaptorama" &
pid=$!
main=$(timeout 20 xdotool search --sync --name '^-=\[Kaptorama 2 Beta 58\]=-$' | head -n1) ||
    fail "the main window did not appear"
sleep 1
screen=$(xdpyinfo | awk '/dimensions:/ {print $2}')

click 24 # Capturer le bureau
sleep 2
click 192 # copy to the clipboard
sleep 0.5
xclip -selection clipboard -o -t TARGETS | grep -qx image/png || fail "no image/png on the clipboard"
xclip -selection clipboard -o -t TARGETS | grep -q STRING && fail "text left on the clipboard"
[ "$(png_size)" = "$screen" ] || fail "pasted $(png_size), not $screen"

echo 0 >"$work/email-exit"
click 276 # e-mail
for _ in $(seq 50); do [ -e "$work/email-args" ] && break; sleep 0.1; done
expected=$(printf '%s\n' --utf8 --attach "$TMPDIR/kaptorama.png")
[ "$(cat "$work/email-args")" = "$expected" ] || fail "xdg-email got: $(cat -A "$work/email-args")"
pngcheck -q "$TMPDIR/kaptorama.png" >/dev/null || fail "the attachment is not a valid PNG"
sleep 0.5
minimised && fail "the program stayed minimised after the e-mail"

rm -f "$work/email-args"
echo 3 >"$work/email-exit"
click 276
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Error$' | head -n1) ||
    fail "no error box when xdg-email failed"
if [ -n "${KAP_E2E_SHOT:-}" ]; then
    import -window root "$KAP_E2E_SHOT"
fi
press "$box" Return
sleep 0.5
minimised && fail "the program stayed minimised after the failed e-mail"

press "$main" alt+F4
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end within 3 s of closing"
wait "$pid" || fail "the program exited with an error"
[ "$(png_size)" = "$screen" ] || fail "after closing, pasted $(png_size 2>&1), not $screen"
echo "1 passed, 0 failed"
