#!/usr/bin/env bash
# same_output_as_linux.sh LINUX_TOOL SCREENS WINDOWS_TOOL EMULATOR...
# The Windows kaptorama-image, run by EMULATOR (wine), writes every encoder's and the
# resampler's output of the real screens byte for byte as the Linux one does; each output is
# written twice to the same path (the second replaces the first) inside a folder whose name has
# accents.
set -euo pipefail
export LC_ALL=C.UTF-8
linux_tool="$1"
screens="$2"
windows_tool="$3"
shift 3
if [ ! -x "$linux_tool" ]; then
    echo "no Linux build of kaptorama-image at $linux_tool (build it first: ./test.sh)" >&2
    exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kaptorama-same-output.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/Écrans à part"

operations=(
    "png png"
    "png8 png"
    "jpeg jpg --quality 75"
    "bmp bmp"
    "negative bmp"
    "resize bmp 1333 750"
    "resize bmp 2377 1337"
)
failures=0
for screen in desktop-1080 docs-1080 web-1080; do
    cp "$screens/$screen.png" "$work/Écrans à part/$screen.png"
    for operation in "${operations[@]}"; do
        read -r command extension extra <<<"$operation"
        name="${screen}_${command}${extra:+_${extra// /_}}.$extension"
        # shellcheck disable=SC2086
        "$linux_tool" "$command" "$screens/$screen.png" "$work/linux/$name" $extra
        out="$work/Écrans à part/$name"
        for round in 1 2; do
            # shellcheck disable=SC2086
            if ! "$@" "$windows_tool" "$command" "$work/Écrans à part/$screen.png" "$out" $extra; then
                echo "FAILED (write $round): $name" >&2
                failures=$((failures + 1))
            fi
        done
        if ! cmp -s "$work/linux/$name" "$out"; then
            echo "DIFFERENT: $name" >&2
            failures=$((failures + 1))
        fi
    done
done
leftovers=$(find "$work/Écrans à part" -name '.kaptorama-*' | wc -l)
if [ "$leftovers" -ne 0 ]; then
    echo "temporary files left behind: $leftovers" >&2
    failures=$((failures + 1))
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
