#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the project is not formatted as .clang-format says.
set -euo pipefail
clang_format="$1"
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null ||
    find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    "$clang_format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'Not formatted (run clang-format -i): %s\n' "${bad[@]}"
    exit 1
fi
echo "${#files[@]} files formatted"
