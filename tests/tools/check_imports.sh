#!/usr/bin/env bash
# check_imports.sh PROGRAM.exe: the program is one self-contained file. It may import only
# what every Windows has: no DLL of Qt, of the compiler's run-time (libstdc++, libgcc,
# winpthread) or of the image libraries.
set -euo pipefail
imports=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
if [ -z "$imports" ]; then
    echo "no import table read from $1" >&2
    exit 1
fi
echo "$imports"
foreign=$(grep -iE 'qt|stdc\+\+|libgcc|pthread|zlib|libz|jpeg|png|zstd|gtest' <<<"$imports" || true)
if [ -n "$foreign" ]; then
    echo "imports DLLs a bare Windows lacks: $foreign" >&2
    exit 1
fi
