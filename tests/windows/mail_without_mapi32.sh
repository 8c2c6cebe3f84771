#!/usr/bin/env bash
# mail_without_mapi32.sh WINE-RUN PREFIX PROGRAM.exe MAPI32.dll: kaptorama.exe under Wine with
# MAPI32.DLL disabled (WINEDLLOVERRIDES=mapi32=d), the recording stand-in beside the program
# notwithstanding. The e-mail button minimises the program, gives the error box of a refused
# logon ("Error", over the program's windows) without a Simple MAPI call, and brings the program
# back normal once the box is closed; the program then closes cleanly.
set -euo pipefail
wine_run="$1"
prefix="$2"
work=$(mktemp -d "${TMPDIR:-/tmp}/kap-no-mapi.XXXXXX")
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=tests/support/e2e.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"

cp "$3" "$work/kaptorama.exe"
cp "$4" "$work/MAPI32.dll"
export WINEDLLOVERRIDES="mapi32=d"
export KAP_MAPI_RECORD="Z:$work/mapi.txt"

xsetroot -solid '#3a6ea5'
start_program_under_wine "$wine_run" "$prefix" "$work/kaptorama.exe"
capture_under_wine "$prefix" # Capturer le bureau
wait_main_shown_normal || fail "the main window is not back after the capture"

toolbar 276 # e-mail
box=$(window_named '^Error$' 20) || fail "no error box without MAPI32.DLL"
shown_normal "$main" && fail "the main window was not minimised during the e-mail"
[ -e "$work/mapi.txt" ] && fail "a disabled MAPI32.DLL was called: $(cat "$work/mapi.txt")"
press "$box" Return
wait_main_shown_normal || fail "the main window did not come back normal after the error box"
window_named '^Error$' 1 >/dev/null && fail "the error box is still there"

close_program
echo "1 passed, 0 failed"
