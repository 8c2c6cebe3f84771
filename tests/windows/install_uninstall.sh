#!/usr/bin/env bash
# install_uninstall.sh WINE-RUN PREFIX SETUP.exe: the installer run silently under Wine installs
# kaptorama.exe for the user alone, with a Start-menu entry and an uninstaller; the installed
# program starts and closes; the silent uninstaller removes all of it.
set -euo pipefail
wine_run="$1"
prefix="$2"
setup="$3"
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; true' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
users="$prefix/drive_c/users"
installed() { find "$users" -ipath '*/AppData/Local/Programs/Kaptorama*' 2>/dev/null | sort; }
menu_entry() { find "$users" -ipath '*/Start Menu/Programs/Kaptorama.lnk' 2>/dev/null; }

[ -z "$(installed)" ] || fail "already installed: $(installed)"
"$wine_run" "$prefix" "$setup" /S
program=$(installed | grep -i '/kaptorama.exe$') || fail "no kaptorama.exe installed"
[ -n "$(installed | grep -i '/uninstall.exe$')" ] || fail "no uninstaller installed"
[ -n "$(menu_entry)" ] || fail "no Start-menu entry"

"$wine_run" "$prefix" "$program" &
pid=$!
main=$(timeout 90 xdotool search --sync --onlyvisible --name '^-=\[Kaptorama 2 Beta 58\]=-$' |
    head -n1) || fail "the installed program did not start"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+F4
wait "$pid" || fail "the installed program exited with an error"
pid=

# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
"$wine_run" "$prefix" "$(dirname "$program")/uninstall.exe" /S
for _ in $(seq 200); do
    [ -z "$(installed)$(menu_entry)" ] && break
    sleep 0.1
done
[ -z "$(menu_entry)" ] || fail "the Start-menu entry is left"
# The settings file the program wrote beside itself is the user's: the folder stays for it alone.
left=$(installed | grep -viE '/Kaptorama$|\.ini$' || true)
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "1 passed, 0 failed"
