#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs of it: both
# programs and the clipboard keeper, the menu entry and its metadata (passed through their validators), the icon at every
# size, the manual pages in French and English, the copyright file.
set -euo pipefail
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/kaptorama bin/kaptorama-image libexec/kaptorama/kaptorama-clipboard; do
    [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
done

desktops=("$prefix"/share/applications/*.desktop)
[ ${#desktops[@]} = 1 ] && [ -f "${desktops[0]}" ] || fail "expected one desktop entry"
desktop="${desktops[0]}"
id=$(basename "$desktop" .desktop)
desktop-file-validate "$desktop" || fail "desktop-file-validate found faults"
[ -z "$(desktop-file-validate "$desktop")" ] || fail "desktop-file-validate has remarks"
key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = kaptorama ] || fail "Exec is not the program"
[ "$(key StartupWMClass)" = Kaptorama ] || fail "StartupWMClass is not the window class"
[ -n "$(key 'GenericName\[fr\]')" ] && [ -n "$(key 'Comment\[fr\]')" ] ||
    fail "no French generic name or comment"
[ -n "$(key 'Keywords\[fr\]')" ] && [ -n "$(key Keywords)" ] || fail "keywords missing"
[ -z "$(key MimeType)" ] || fail "the program opens no file, yet the entry names MIME types"
icon=$(key Icon)

metainfo="$prefix/share/metainfo/$id.metainfo.xml"
[ -f "$metainfo" ] || fail "no metadata named after the desktop entry"
out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || fail "appstreamcli: $out"
grep -qE '^[A-Z]: ' <<<"$out" && fail "appstreamcli has remarks: $out"
grep -q "<id>$id</id>" "$metainfo" || fail "component id differs from the desktop entry"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not launch the desktop entry"
grep -q '<summary xml:lang="fr">' "$metainfo" || fail "no French summary"
grep -q 'main-window.png</image>' "$metainfo" || fail "no screenshot"
grep -q '<release version=' "$metainfo" || fail "no release"

for size in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || fail "no $size px icon"
    file "$png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "$png is not a $size x $size RGBA PNG"
done

for page in kaptorama kaptorama-image; do
    for dir in man1 fr/man1; do
        gz="$prefix/share/man/$dir/$page.1.gz"
        [ -f "$gz" ] || fail "no manual page $dir/$page"
        warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l - 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$dir/$page: $warnings"
    done
done
zcat "$prefix/share/man/fr/man1/kaptorama.1.gz" | grep -q '^\.SH NOM' || fail "the French page is not French"
[ -s "$prefix/share/doc/kaptorama/copyright" ] || fail "no copyright file"

echo "1 passed, 0 failed"
