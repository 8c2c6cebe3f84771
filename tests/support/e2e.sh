# Shell helpers for the end-to-end scripts, which drive the real program with xdotool on an X
# server of their own (tests/run-under-x11.sh). Sourced; the script sets `work` first.

fail() { echo "FAIL: $*" >&2; exit 1; }

kMainTitle='^-=\[Kaptorama 2 Beta 58\]=-$'

# Starts a copy of the program in $work (so that its settings file lands there) and sets `pid`
# and `main`, the main window.
start_program() {
    cp "$1" "$work/kaptorama"
    "$work/kaptorama" &
    pid=$!
    main=$(timeout 20 xdotool search --sync --name "$kMainTitle" | head -n1) ||
        fail "the main window did not appear"
    sleep 1
}

# Starts a Windows program under Wine (runner $1, prefix $2, program $3) and sets `pid` and
# `main`, the main window, then gives Wine a moment to settle the program's windows.
start_program_under_wine() {
    "$1" "$2" "$3" &
    pid=$!
    main=$(window_named "$kMainTitle" 90) || fail "the main window did not appear"
    sleep 2
}

# Captures the desktop with the toolbar button, in a program started under Wine with prefix $1,
# and waits up to 30 s for the capture's file in the prefix's temporary folder (written once the
# capture shows), then a moment for the program's windows.
capture_under_wine() {
    local file=
    find "$1/drive_c/users" -ipath '*/Temp/kaptoramao.bmp' -delete 2>/dev/null
    toolbar 24
    for _ in $(seq 300); do
        file=$(find "$1/drive_c/users" -ipath '*/Temp/kaptoramao.bmp' 2>/dev/null)
        [ -n "$file" ] && break
        sleep 0.1
    done
    [ -n "$file" ] || fail "no capture within 30 s"
    sleep 1
}

# Clicks the toolbar button whose centre is `x` pixels from the main window's left edge.
toolbar() {
    find_main
    xdotool mousemove --window "$main" "$1" 21 click 1
}

# Sets `main` to the main window shown now: Qt may give it a new X window when it shows it again.
find_main() {
    local shown
    shown=$(xdotool search --onlyvisible --name "$kMainTitle" 2>/dev/null | head -n1)
    if [ -n "$shown" ]; then main=$shown; fi
}

# Gives a window the keyboard and presses keys on it.
press() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    sleep 0.2
    xdotool key --clearmodifiers "${@:2}"
}

# Waits up to $2 seconds (default 10) for a visible window whose name matches, and prints its id.
# xdotool's own waiting (--sync) gives up with an X error when a window it looks at goes away
# meanwhile, as an installer's or Wine's own windows do: this asks again instead.
window_named() {
    local found deadline=$((SECONDS + ${2:-10}))
    while [ "$SECONDS" -le "$deadline" ]; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
        if [ -n "$found" ]; then
            echo "$found"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Whether a window is mapped, viewable and not minimised.
shown_normal() {
    xwininfo -id "$1" | grep -q 'Map State: IsViewable' &&
        ! xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN
}

# Waits up to 5 s for a window to be shown normal again.
wait_shown_normal() {
    for _ in $(seq 50); do
        shown_normal "$1" && return 0
        sleep 0.1
    done
    return 1
}

# Waits up to 5 s for the main window to be shown normal, and sets `main` to it.
wait_main_shown_normal() {
    for _ in $(seq 50); do
        find_main
        shown_normal "$main" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Closes the main window and checks that the program ends.
close_program() {
    find_main
    press "$main" alt+F4
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end when its main window closed"
    wait "$pid" || fail "the program exited with an error"
    pid=
}

# Closes the main window of a program started under Wine and checks that it ends. Wine drops a
# key that comes while it is still setting up the desktop of a freshly started server, so the
# key is pressed again every 3 s, for up to 30 s.
close_program_under_wine() {
    local round
    for round in $(seq 10); do
        find_main
        press "$main" alt+F4
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break 2; sleep 0.1; done
    done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end within 30 s of closing it"
    [ "$round" -eq 1 ] || echo "note: the program ended after $round presses of Alt+F4" >&2
    wait "$pid" || fail "the program exited with an error"
    pid=
}
