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

# shellcheck source=tests/support/e2e.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"
users="$prefix/drive_c/users"
installed() { find "$users" -ipath '*/AppData/Local/Programs/Kaptorama*' 2>/dev/null | sort; }
menu_entry() { find "$users" -ipath '*/Start Menu/Programs/Kaptorama.lnk' 2>/dev/null; }

# A run cut short leaves its installation in the shared prefix: it goes first.
if [ -n "$(installed)$(menu_entry)" ]; then
    echo "note: removing an installation left by an earlier run" >&2
    rm -rf "$users"/*/AppData/Local/Programs/Kaptorama "$(menu_entry)"
fi
timeout 120 "$wine_run" "$prefix" "$setup" /S || fail "the installer failed or took over 2 minutes"
program=$(installed | grep -i '/kaptorama.exe$') || fail "no kaptorama.exe installed"
[ -n "$(installed | grep -i '/uninstall.exe$')" ] || fail "no uninstaller installed"
[ -n "$(menu_entry)" ] || fail "no Start-menu entry"

start_program_under_wine "$wine_run" "$prefix" "$program"
close_program_under_wine

# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
timeout 120 "$wine_run" "$prefix" "$(dirname "$program")/uninstall.exe" /S ||
    fail "the uninstaller failed or took over 2 minutes"
for _ in $(seq 200); do
    [ -z "$(installed)$(menu_entry)" ] && break
    sleep 0.1
done
[ -z "$(menu_entry)" ] || fail "the Start-menu entry is left"
# The settings file the program wrote beside itself is the user's: the folder stays for it alone.
left=$(installed | grep -viE '/Kaptorama$|\.ini$' || true)
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "1 passed, 0 failed"
