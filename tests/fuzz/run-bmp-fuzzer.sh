#!/usr/bin/env bash
# Builds the BMP reader's libFuzzer target with clang and runs it on one core, seeded with the
# BMP corpus and the saved regression inputs.
#
#   tests/fuzz/run-bmp-fuzzer.sh [seconds]        (default 900)
#
# Build folder: $KAP_FUZZ_BUILD, else build-fuzz at the top of the checkout. The growing corpus,
# the log (fuzz-0.log) and any crashing input (crash-*, leak-*, oom-*, timeout-*) end up in
# <build>/fuzz-bmp/. Replay one input with: <build>/fuzz_bmp_reader <file>
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${KAP_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-900}
shared=${KAP_SHARED_DIR:-$root/../shared}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKAP_BUILD_FUZZ=ON -DKAP_BUILD_TESTS=OFF -DKAP_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_bmp_reader -j2

work=$build/fuzz-bmp
mkdir -p "$work/corpus"
seeds=()
for dir in "$shared/bmpsuite/g" "$shared/bmpsuite/q" "$shared/bmpsuite/b" \
           "$root/tests/bmp/regressions"; do
    [ -d "$dir" ] && seeds+=("$dir")
done

cd "$work"
# -malloc_limit_mb: a file of at most 64 KiB never justifies a large allocation.
status=0
"$build/fuzz_bmp_reader" \
    -max_total_time="$seconds" -jobs=1 -workers=1 \
    -max_len=65536 -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
    -dict="$root/tests/fuzz/bmp.dict" -artifact_prefix="$work/" -print_final_stats=1 \
    "$work/corpus" "${seeds[@]}" || status=$?
tail -n 30 "$work/fuzz-0.log"
exit $status
