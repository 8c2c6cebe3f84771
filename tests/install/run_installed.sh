#!/usr/bin/env bash
# Installs the build into a temporary prefix made read-only, with a read-only Kaptorama.ini
# beside the executable, and starts the program by its menu entry's Exec line. Checks the main
# window's class and icon, opens the configuration window with Ctrl+R, presses "Ok", and finds
# the settings, seeded from the read-only file, under a temporary XDG_CONFIG_HOME; the prefix is
# left as it was. A capture copied before closing is still on the clipboard afterwards. Run by an X server of its own (tests/run-under-x11.sh). As root, which may
# write anywhere, the program runs as the user nobody so that the prefix is read-only to it.
set -euo pipefail
build="$1"
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
desktop=$(ls "$prefix"/share/applications/*.desktop)
printf '[Options]\r\njpg=1\r\npng_256=0\r\nsize_stylet=7\r\n' >"$prefix/bin/Kaptorama.ini"
seed=$(od -c <"$prefix/bin/Kaptorama.ini")
chmod -R a-w "$prefix"
chmod 755 "$work"

home="$work/home"
mkdir -p "$home"
export HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home"
run_as=()
if [ "$(id -u)" = 0 ]; then
    # The X server's cookie, readable by the user the program runs as.
    xauth -f "$XAUTHORITY" extract "$home/Xauthority" "$DISPLAY"
    export XAUTHORITY="$home/Xauthority"
    chown -R nobody: "$home"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

exec_line=$(sed -n 's/^Exec=//p' "$desktop")
PATH="$prefix/bin:$PATH" "${run_as[@]}" sh -c "exec $exec_line" &
pid=$!

main=$(timeout 20 xdotool search --sync --name '^-=\[Kaptorama 2 Beta 58\]=-$' | head -n1) ||
    fail "the main window did not appear"
sleep 1
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
xprop -id "$main" WM_CLASS | grep -q "\"$wm_class\"\$" ||
    fail "window class $(xprop -id "$main" WM_CLASS) is not the entry's $wm_class"
# Qt hands the window manager the icon's sizes up to 128 pixels.
for _ in $(seq 50); do
    icons=$(xprop -id "$main" _NET_WM_ICON | grep -ao 'Icon ([0-9]* x [0-9]*)' | sort -u | wc -l)
    [ "$icons" = 7 ] && break
    sleep 0.1
done
[ "$icons" = 7 ] || fail "the main window carries $icons icon sizes, not 16 to 128 pixels"

xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers ctrl+r
config=$(timeout 10 xdotool search --sync --onlyvisible --name '^Configuration$' | head -n1) ||
    fail "Ctrl+R did not open the configuration window"
sleep 0.5
# "Ok" is 75 x 25 at (250, 424) in the configuration window.
xdotool mousemove --window "$config" 287 436 click 1
ini="$XDG_CONFIG_HOME/kaptorama/Kaptorama.ini"
for _ in $(seq 50); do [ -e "$ini" ] && break; sleep 0.1; done
[ -e "$ini" ] || fail "no settings file under XDG_CONFIG_HOME"
expected=$(printf '[Options]\r\njpg=1\r\nbmp=0\r\npng_8=0\r\npng_256=0\r\njpg_compression=100\r\nsize_stylet=7\r\nsize_surligneur=16\r\nlargeur_px=400\r\n' | od -c)
[ "$(od -c <"$ini")" = "$expected" ] || fail "unexpected settings file: $(cat -A "$ini")"
[ "$(od -c <"$prefix/bin/Kaptorama.ini")" = "$seed" ] || fail "the read-only file changed"
sleep 0.5
xdotool search --onlyvisible --name '^Configuration$' >/dev/null &&
    fail "the configuration window is still shown"

if [ -n "${KAP_E2E_SHOT:-}" ]; then
    import -window root "$KAP_E2E_SHOT"
fi

# A desktop capture copied to the clipboard stays pasteable once the program has closed: the
# installed keeper takes it over (no clipboard manager runs here).
xdotool mousemove --window "$main" 24 21 click 1
sleep 2
xdotool mousemove --window "$main" 192 21 click 1
sleep 0.5
xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end when its main window closed"
wait "$pid" || fail "the program exited with an error"
pid=
xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -qx image/png ||
    fail "the copied picture left the clipboard with the program"
[ -z "$(find "$prefix" -newer "$desktop" -name '*.ini' ! -path "$prefix/bin/Kaptorama.ini")" ] ||
    fail "the program wrote into its prefix"
echo "1 passed, 0 failed"
