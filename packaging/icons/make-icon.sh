#!/bin/sh
# Redraws the application icon into packaging/icons/hicolor/.
# Usage: packaging/icons/make-icon.sh [preview.png]
# With an argument, also writes a sheet of every size side by side (needs ImageMagick).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -std=c++20 -O1 -Wall -Wextra -fPIC -o "$work/make_icon" "$here/make_icon.cpp" \
    $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$work/make_icon" "$here/hicolor"

if [ $# -ge 1 ]; then
    # shellcheck disable=SC2046
    montage $(ls "$here"/hicolor/*/apps/kaptorama.png | sort -t/ -k1 -V) -background '#f0f0f0' \
        -geometry +8+8 -gravity south -tile x1 "$1"
    echo "$1"
fi
