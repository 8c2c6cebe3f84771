#!/usr/bin/env bash
# make-ico.sh OUT.ico SIZE=PICTURE.png...: a Windows icon file holding the PNG pictures as they
# are (Windows reads PNG-compressed icon images), one entry per size.
set -euo pipefail
out="$1"
shift
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
{
    le16 0
    le16 1 # an icon
    le16 $#
    offset=$((6 + 16 * $#))
    for entry in "$@"; do
        size=${entry%%=*}
        bytes=$(stat -c %s "${entry#*=}")
        side=$((size >= 256 ? 0 : size)) # 0 stands for 256
        printf "\\x$(printf %02x $side)\\x$(printf %02x $side)\\x00\\x00"
        le16 1  # planes
        le16 32 # bits per pixel
        le32 "$bytes"
        le32 "$offset"
        offset=$((offset + bytes))
    done
    for entry in "$@"; do
        cat "${entry#*=}"
    done
} >"$out.tmp"
mv "$out.tmp" "$out"
