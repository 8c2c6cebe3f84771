#!/usr/bin/env bash
# Start-up of the program to its main window mapped, beside a bare Qt window with a ten-button
# tool bar and a status bar, in alternated rounds on an X server and openbox of their own.
#
#   bench/startup/run.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 9)
#
# KAP_STARTUP_PROGRAM names another build of the program to time (an earlier one, say).
# Both programs start with the same fresh home folder: no settings file, the program's defaults.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
rounds=${2:-9}

home=$(mktemp -d "${TMPDIR:-/tmp}/kap-startup.XXXXXX")
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The X11 platform, whatever session the caller runs in.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$here/../../tests/run-under-x11.sh" "$build/startup_bench" --rounds "$rounds" \
    "${KAP_STARTUP_PROGRAM:-$build/kaptorama}" "$build/startup_bare_window"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
