#!/bin/sh
# Redraws the toolbar glyphs and tool cursors into resources/.
# Usage: tools/make-glyphs/make-glyphs.sh [preview.png]
# With an argument, also writes a contact sheet of every image at 1x and 4x on a light grey
# button face (needs ImageMagick).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -std=c++20 -O1 -Wall -Wextra -fPIC -o "$work/make_glyphs" "$here/make_glyphs.cpp" \
    $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$work/make_glyphs" "$root/resources"

if [ $# -ge 1 ]; then
    files="$root/resources/glyphs/*.png $root/resources/cursors/*.png"
    # shellcheck disable=SC2086
    montage $files -background '#f0f0f0' -geometry 32x32+6+6 -tile 15x "$work/x1.png"
    # shellcheck disable=SC2086
    montage $files -filter point -resize 400% -background '#f0f0f0' -geometry 128x128+8+8 \
        -tile 5x "$work/x4.png"
    convert "$work/x1.png" "$work/x4.png" -background '#f0f0f0' -gravity west -append "$1"
    echo "$1"
fi
