#!/usr/bin/env bash
# desktop_clipboard_mail_close.sh WINE-RUN PREFIX PROGRAM.exe MAPI32.dll RECORDER.exe:
# kaptorama.exe under Wine on an X server with a solid-colour root window. A desktop capture
# followed by the clipboard button leaves one bitmap on the clipboard (offered to X as image/bmp
# alone), of the screen's size and equal to the screen pixel for pixel; the e-mail button hands
# the attachment to Simple MAPI (a recording stand-in for MAPI32.DLL beside the program), and a
# refused logon gives the error box; the external program button opens kaptorama.bmp with the
# program associated with BMP pictures (a recorder, registered for the run) and sends the program
# to the task bar, from which its windows come back normal, as do those shown later; closing the
# main window ends the program within 10 s and leaves no working file in the temporary folder.
set -euo pipefail
wine_run="$1"
prefix="$2"
work=$(mktemp -d)
pid=
bmp_type='HKLM\Software\Classes\.bmp'
recorder_type='HKLM\Software\Classes\KaptoramaTest.bmp'
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    # The prefix's own association comes back.
    if [ -n "${old_bmp_type:-}" ]; then
        "$wine_run" "$prefix" reg add "$bmp_type" /ve /d "$old_bmp_type" /f >/dev/null 2>&1
    else
        "$wine_run" "$prefix" reg delete "$bmp_type" /ve /f >/dev/null 2>&1
    fi
    "$wine_run" "$prefix" reg delete "$recorder_type" /f >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
cp "$3" "$work/kaptorama.exe"
cp "$4" "$work/MAPI32.dll"
export WINEDLLOVERRIDES="mapi32=n,b"
export KAP_MAPI_RECORD="Z:$work/mapi.txt" KAP_MAPI_LOGON_RESULT="Z:$work/logon-result"
cp "$5" "$work/open_recorder.exe"
export KAP_OPEN_RECORD="Z:$work/opened.txt"
old_bmp_type=$("$wine_run" "$prefix" reg query "$bmp_type" /ve 2>/dev/null |
    sed -n 's/^.*REG_SZ\s*//p' | tr -d '\r' || true)
"$wine_run" "$prefix" reg add "$bmp_type" /ve /d KaptoramaTest.bmp /f >/dev/null
"$wine_run" "$prefix" reg add "$recorder_type\shell\open\command" /ve \
    /d "\"Z:$work/open_recorder.exe\" \"%1\"" /f >/dev/null

# shellcheck source=tests/support/e2e.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"
click() { xdotool mousemove --window "$main" "$1" 21 click 1; }
# Brings the main window back from the task bar, and gives Wine and the program time to see it.
bring_back() {
    xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
    for _ in $(seq 50); do xwininfo -id "$main" | grep -q IsViewable && break; sleep 0.1; done
    sleep 1
}
working_files() { find "$prefix/drive_c/users" -ipath '*/Temp/kaptorama*' "$@" 2>/dev/null; }

xsetroot -solid '#3a6ea5'
import -window root "$work/screen.png"
working_files -delete # those of a run that was stopped

start_program_under_wine "$wine_run" "$prefix" "$work/kaptorama.exe"

capture_under_wine "$prefix"
click 192 # copy to the clipboard
targets=
for _ in $(seq 100); do
    targets=$(xclip -selection clipboard -o -t TARGETS 2>/dev/null || true)
    grep -qx image/bmp <<<"$targets" && break
    sleep 0.1
done
grep -qx image/bmp <<<"$targets" || fail "no image/bmp on the clipboard: $targets"
grep -qiE 'png|text|string|x-qt' <<<"$targets" && fail "more than the bitmap on the clipboard: $targets"
xclip -selection clipboard -o -t image/bmp >"$work/pasted.bmp"
differing=$(compare -metric AE "$work/screen.png" "$work/pasted.bmp" null: 2>&1 || true)
[ "$differing" = 0 ] || fail "the pasted picture differs from the screen: $differing pixels"

click 276 # e-mail
for _ in $(seq 50); do grep -q '^logoff' "$work/mapi.txt" 2>/dev/null && break; sleep 0.1; done
grep -q '^logoff' "$work/mapi.txt" || fail "no mail handed to Simple MAPI"
sed -i 's/^\(file 0 0 -1 \)[A-Z]:\\.*\\kaptorama\.png|/\1TEMP\\kaptorama.png|/' "$work/mapi.txt"
expected="logon '' '' 3 0
send 7 8 0 subject (none) note (none) recipients 0 files 1
file 0 0 -1 TEMP\\kaptorama.png|kaptorama.png|(none)
logoff 7 0 0"
[ "$(cat "$work/mapi.txt")" = "$expected" ] || fail "Simple MAPI was asked: $(cat "$work/mapi.txt")"

echo 2 >"$work/logon-result"
sleep 1.5 # the program back from the task bar
click 276
box=$(window_named '^Error$' 20) ||
    fail "no error box when the logon failed"
xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"
sleep 0.3
xdotool key --clearmodifiers Return
sleep 1

click 213 # the external program
for _ in $(seq 100); do [ -s "$work/opened.txt" ] && break; sleep 0.1; done
grep -qE '^[A-Z]:\\.*\\kaptorama\.bmp$' "$work/opened.txt" ||
    fail "the associated program was given: $(cat "$work/opened.txt" 2>&1)"
shown_normal "$main" && fail "the program did not go to the task bar for the external program"

# Back from the task bar the windows are normal, and so are those shown later.
bring_back
shown_normal "$main" || fail "the main window did not come back normal from the task bar"
capture_under_wine "$prefix"
shown_normal "$main" || fail "after the external program, a capture left the main window minimised"
press "$main" ctrl+r
config=$(window_named '^Configuration$') || fail "Ctrl+R did not open the configuration window"
sleep 0.5
shown_normal "$config" || fail "the configuration window came up minimised"
press "$config" alt+F4
sleep 1

bring_back
xdotool key --clearmodifiers alt+F4
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end within 10 s of closing"
wait "$pid" || fail "the program exited with an error"
pid=
[ -z "$(working_files)" ] || fail "working files left: $(working_files)"
echo "1 passed, 0 failed"
