#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM.exe ARGS...: runs a Windows program under Wine in a private prefix
# (made at the first run), the way the tests of the Windows build run theirs. Nothing is asked
# of the desktop (no Mono or Gecko download, no menu entries) and Wine's own chatter is off.
set -euo pipefail
prefix="$1"
shift
export WINEPREFIX="$prefix"
# A caller's own overrides (a test's stand-in DLL) are kept.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Paths and messages with accents: a UTF-8 locale whatever the caller's.
export LC_ALL=C.UTF-8
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    # Two tests may start at once: one makes the prefix, the other waits for it.
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$prefix.lock"
fi
# Wine's server and its own background programs are started apart, their output away from the
# caller's: started by the program's wine, they would keep the caller's output open, and CTest
# would count that test as running until the server ends. The server stays ten seconds after
# the last program, so that the next test finds it.
if ! pgrep -x wineserver >/dev/null; then
    wineserver -p10 </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
