#!/usr/bin/env bash
# Closing the main window ends the program at once, whatever else is open: with the configuration
# window open (and with automatic saving ticked but no name or folder, which would keep that
# window open on its own close), the program ends within a second, shows no box, and leaves the
# settings file as it was. The working files are deleted as before.
set -euo pipefail
program="$1"
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cp "$program" "$work/kaptorama"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

fail() { echo "FAIL: $*" >&2; exit 1; }

start() {
    "$work/kaptorama" &
    pid=$!
    main=$(timeout 20 xdotool search --sync --onlyvisible --name '^-=\[Kaptorama 2 Beta 58\]=-$' | head -n1) ||
        fail "the main window did not appear"
    sleep 0.5
    xdotool windowactivate --sync "$main"
    xdotool key --clearmodifiers ctrl+r
    config=$(timeout 10 xdotool search --sync --onlyvisible --name '^Configuration$' | head -n1) ||
        fail "Ctrl+R did not open the configuration window"
    sleep 0.3
}

# Closes the main window through the window manager and expects the process gone within a second.
close_main_and_expect_end() {
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
    for _ in $(seq 10); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        xdotool search --onlyvisible --name '^Kaptorama$' >/dev/null 2>&1 &&
            fail "$1: a message box is shown instead of the program ending"
        fail "$1: the program did not end within a second of closing its main window"
    fi
    wait "$pid" || fail "$1: the program exited with an error"
    pid=
}

# A settings file the user has (with LF line ends, which a rewrite would make CR LF): it must come
# out byte for byte the same.
printf '[Options]\njpg=0\nbmp=1\npng_8=0\npng_256=0\njpg_compression=80\nsize_stylet=3\nsize_surligneur=16\nlargeur_px=640\n' >"$work/Kaptorama.ini"
cp "$work/Kaptorama.ini" "$work/expected.ini"
echo "leftover" >"$TMPDIR/kaptorama.bmp"

# 1. The configuration window open, nothing changed.
start
close_main_and_expect_end "configuration window open"
cmp -s "$work/Kaptorama.ini" "$work/expected.ini" || fail "the settings file was written at exit"
[ ! -e "$TMPDIR/kaptorama.bmp" ] || fail "the working files were not deleted"

# 2. Automatic saving ticked with no name and no folder: a close of the configuration window would
# show two boxes and keep it open; closing the main window shows none and ends the program.
start
# "Validé" lies at (12, 20) in the group at (5, 200); ticking it opens the folder dialog at once.
xdotool mousemove --window "$config" 22 226 click 1
folder=$(timeout 10 xdotool search --sync --onlyvisible --name '^Choisissez le dossier de sauvegarde$' | head -n1) ||
    fail "ticking automatic saving did not open the folder dialog"
xdotool windowactivate --sync "$folder" key --clearmodifiers Escape
sleep 0.3
close_main_and_expect_end "automatic saving ticked with no name"
cmp -s "$work/Kaptorama.ini" "$work/expected.ini" || fail "the settings file was written at exit"

echo "2 passed, 0 failed"
