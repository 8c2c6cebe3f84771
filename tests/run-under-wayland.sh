#!/usr/bin/env bash
# Runs a command inside a Wayland session of its own: a headless sway compositor, a private
# D-Bus session bus, pipewire, and the desktop portal with its wlroots back end (whose
# screenshots are taken with grim). The command finds WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
# DBUS_SESSION_BUS_ADDRESS and SWAYSOCK (for swaymsg) set; its exit code is the script's.
#
#   tests/run-under-wayland.sh COMMAND [ARGUMENT...]
#
# sway refuses to run as root: when started by root, the whole session runs as the user nobody,
# with a home, a runtime folder and a temporary folder of its own, and (where the system allows a
# mount namespace) a /tmp of its own. A command that user cannot reach runs from a copy.
#
# Environment: KAP_WAYLAND_SIZE (output size, default 1024x768), KAP_WAYLAND_TIMEOUT (seconds
# the command may run, default 60).
#
# Exit code 77 (the tests' "skipped") when sway cannot start on this machine, with the reason on
# stderr. Every process started here is ended when the script ends, also on failure or timeout.
set -u
# The session and its tests run in a UTF-8 locale whatever the caller's.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset LANGUAGE

readonly kSkip=77
size="${KAP_WAYLAND_SIZE:-1024x768}"
limit="${KAP_WAYLAND_TIMEOUT:-60}"

if [ $# -lt 1 ]; then
    echo "usage: $0 COMMAND [ARGUMENT...]" >&2
    exit 2
fi

if ! command -v sway >/dev/null 2>&1; then
    echo "run-under-wayland: sway is not installed on this machine; test skipped" >&2
    exit $kSkip
fi
# The rest is installed with sway by scripts/deps.sh: missing, it is a failure, not a skip.
for tool in dbus-run-session dbus-update-activation-environment pipewire grim swaymsg setpriv \
    /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run-under-wayland: $tool is missing (scripts/deps.sh installs it)" >&2
        exit 1
    fi
done

# The session starts elsewhere: a command given by a relative path is made absolute.
if [[ "$1" == */* ]] && [ -e "$1" ]; then
    set -- "$(realpath "$1")" "${@:2}"
fi

# The session's own folders: home, runtime (0700, as the protocols ask) and temporary.
base="$(mktemp -d /tmp/kap-wayland.XXXXXX)" || exit 1
chmod 755 "$base"
mkdir -p "$base/home" "$base/run" "$base/tmp"
chmod 700 "$base/run"
chmod 1777 "$base/tmp"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$base/home" "$base/run"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)
fi

# A command in a folder the session's user cannot reach (a build under /root) runs from a
# copy of its own; test programs need nothing of their build folder beside them.
if [ ${#as_user[@]} -gt 0 ] && [ -f "$1" ] && ! "${as_user[@]}" test -x "$1" 2>/dev/null; then
    mkdir -p "$base/bin"
    cp "$1" "$base/bin/"
    chmod 755 "$base/bin" "$base/bin/$(basename "$1")"
    set -- "$base/bin/$(basename "$1")" "${@:2}"
fi

cleanup() {
    # The session runs in a process group of its own: end all of it.
    if [ -n "${session_pid:-}" ]; then
        kill -TERM -- "-$session_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 -- "-$session_pid" 2>/dev/null || break
            sleep 0.2
        done
        kill -KILL -- "-$session_pid" 2>/dev/null
    fi
    rm -rf "$base"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The inner part runs as the session's user, inside dbus-run-session.
cat >"$base/session.sh" <<'EOF'
#!/usr/bin/env bash
set -u
base="$1"; size="$2"; limit="$3"; shift 3
log="$base/run/session.log"
export HOME="$base/home" XDG_RUNTIME_DIR="$base/run" TMPDIR="$base/tmp"
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
unset DISPLAY WAYLAND_DISPLAY

pids=()
stop_all() {
    local pid
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap stop_all EXIT

# pipewire first: the portal's back end will not start without it.
pipewire >"$base/run/pipewire.log" 2>&1 &
pids+=($!)

cat >"$base/run/sway.config" <<CONF
output * resolution $size position 0 0 background #000000 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
CONF
sway --config "$base/run/sway.config" >"$log" 2>&1 &
sway_pid=$!
pids+=($sway_pid)

socket=""
for _ in $(seq 1 100); do
    for candidate in "$XDG_RUNTIME_DIR"/wayland-*; do
        case "$candidate" in *.lock) continue ;; esac
        [ -S "$candidate" ] && socket="$(basename "$candidate")"
    done
    [ -n "$socket" ] && break
    if ! kill -0 "$sway_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ -z "$socket" ]; then
    echo "run-under-wayland: sway could not start on this machine; test skipped:" >&2
    tail -n 15 "$log" >&2
    exit 77
fi
export WAYLAND_DISPLAY="$socket"
# sway's control socket, for swaymsg.
for _ in $(seq 1 50); do
    for candidate in "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; do
        [ -S "$candidate" ] && export SWAYSOCK="$candidate"
    done
    [ -n "${SWAYSOCK:-}" ] && break
    sleep 0.1
done
dbus-update-activation-environment WAYLAND_DISPLAY XDG_RUNTIME_DIR XDG_CURRENT_DESKTOP \
    XDG_SESSION_TYPE HOME TMPDIR PATH

timeout -k 5 "$limit" "$@"
code=$?
if [ "$code" -eq 124 ] || [ "$code" -eq 137 ]; then
    echo "run-under-wayland: the command did not end within $limit s" >&2
fi
if [ "$code" -ne 0 ] && [ "$code" -ne 77 ]; then
    echo "--- sway log (end) ---" >&2
    tail -n 20 "$log" >&2
fi
exit "$code"
EOF
chmod 755 "$base/session.sh"

# A process group of its own, so that nothing it starts outlives the script.
# The session user's environment is a fresh one; the test's own settings go through.
passed=()
while IFS='=' read -r name _; do
    case "$name" in QT_* | KAP_* | GTEST_*) passed+=("$name=${!name}") ;; esac
done < <(env)
# Started by root, the session gets a /tmp of its own where the system allows it: the portal's
# back end writes every screenshot to /tmp/out.png, which other sessions must neither see nor
# hold. The session's folder stays reachable at its path.
private_tmp=()
if [ ${#as_user[@]} -gt 0 ] && unshare --mount --propagation private true 2>/dev/null; then
    private_tmp=(unshare --mount --propagation private sh -c
        'mkdir -p "$1/tmp/$2" && mount --bind "$1" "$1/tmp/$2" && mount --rbind "$1/tmp" /tmp &&
         shift 2 && exec "$@"' sh "$base" "$(basename "$base")")
fi
setsid "${private_tmp[@]}" "${as_user[@]}" env PATH="/usr/local/bin:/usr/bin:/bin" LANG="${LANG:-C.UTF-8}" \
    "${passed[@]}" dbus-run-session -- "$base/session.sh" "$base" "$size" "$limit" "$@" &
session_pid=$!
wait "$session_pid"
code=$?
exit "$code"
