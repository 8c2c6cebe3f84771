#!/usr/bin/env bash
# compare_with_linux.sh [ROUNDS]: the Windows build under Wine against the Linux build on the
# same machine, on the encoders and the resampler applied to real screens. Rounds alternate the
# two builds (Linux first in even rounds, Windows first in odd ones), so that a change of the
# machine's load falls on both; the medians over the rounds are printed per case.
#
# 1. The work itself: image-work-timer (a case's median of 3 runs inside one process), the
#    Linux build's and the Windows one's.
# 2. kaptorama-image as a user runs it, one process per case: Wine starts a process in about a
#    third of a second where Linux takes milliseconds. "startup" is a run that does nothing
#    (--help); "less startup" is a case's time less its program's startup.
#
# Needs build/ and build-windows/ (scripts/build-windows.sh) with kaptorama-image and
# image-work-timer built, and ../shared/screens. Environment: KAP_SHARED_DIR, WINEPREFIX (default:
# the test prefix in build-windows/wine), KAP_BENCH_ONLY (only the cases whose name contains it).
set -euo pipefail
trap 'echo "compare_with_linux.sh: failed at line $LINENO" >&2' ERR
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
rounds="${1:-5}"
only="${KAP_BENCH_ONLY:-}"
linux="$root/build"
windows="$root/build-windows"
screens="${KAP_SHARED_DIR:-$root/../shared}/screens"
for f in "$linux/kaptorama-image" "$linux/image-work-timer" "$windows/kaptorama-image.exe" \
    "$windows/image-work-timer.exe" "$screens/desktop-1080.png" "$screens/desktop-2160.png"; do
    [ -e "$f" ] || { echo "compare_with_linux.sh: missing $f" >&2; exit 1; }
done
export LC_ALL=C.UTF-8
export WINEPREFIX="${WINEPREFIX:-$windows/wine}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

work=$(mktemp -d "${TMPDIR:-/tmp}/kap-wine-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
# BMP inputs for kaptorama-image: both builds read them with the same code in milliseconds.
"$linux/kaptorama-image" bmp "$screens/desktop-1080.png" "$work/d1080.bmp"
"$linux/kaptorama-image" bmp "$screens/desktop-2160.png" "$work/d2160.bmp"
# One Wine server for the whole run, kept 30 s after the last program: a server started by a
# plain `wine` would end with each program and be started again by the next one. One that runs
# already is waited for first.
if ! wineserver -p30 2>/dev/null; then
    timeout 60 wineserver -w || true
    wineserver -p30
fi
wine "$windows/kaptorama-image.exe" --help >/dev/null 2>&1 || true

# Wall time of a command, in milliseconds.
elapsed_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
order() { if (($1 % 2)); then echo windows linux; else echo linux windows; fi; }

cases=(
    "png 1080p|png IN1080 OUT.png"
    "png 2160p|png IN2160 OUT.png"
    "png8 1080p|png8 IN1080 OUT.png"
    "jpeg 1080p|jpeg IN1080 OUT.jpg"
    "jpeg 2160p|jpeg IN2160 OUT.jpg"
    "bmp 2160p|bmp IN2160 OUT.bmp"
    "resize 1080p up 3840x2160|resize IN1080 OUT.bmp 3840 2160"
    "resize 1080p down 1333x750|resize IN1080 OUT.bmp 1333 750"
    "resize 2160p down 1920x1080|resize IN2160 OUT.bmp 1920 1080"
    "resize 2160p up 5000x2813|resize IN2160 OUT.bmp 5000 2813"
)

# ---- 1. The work inside one process ---------------------------------------------------------
declare -A work_ms
names=()
for ((r = 0; r < rounds; r++)); do
    for build in $(order "$r"); do
        if [ "$build" = linux ]; then
            out=$("$linux/image-work-timer" "$screens" "$work/linux" 3 "$only")
        else
            out=$(wine "$windows/image-work-timer.exe" "$screens" "$work/windows" 3 "$only")
        fi
        while IFS=$'\t' read -r name wall _; do
            [ -n "$name" ] || continue
            [ -n "${work_ms[$name/linux]+x}${work_ms[$name/windows]+x}" ] || names+=("$name")
            work_ms["$name/$build"]+=" $wall"
        done <<<"${out//$'\r'/}"
    done
    echo "work inside one process: round $((r + 1))/$rounds" >&2
done
echo "The work inside one process (ms, median of $rounds rounds of medians of 3)"
printf '  %-30s %8s %8s %6s\n' case Linux Wine ratio
for name in "${names[@]}"; do
    l=$(median <<<"${work_ms[$name/linux]}")
    w=$(median <<<"${work_ms[$name/windows]}")
    printf '  %-30s %8s %8s %6s\n' "$name" "$l" "$w" "$(ratio "$w" "$l")"
done

# ---- 2. kaptorama-image, one process per case -----------------------------------------------
run_tool() {
    local build="$1"
    shift
    local args=() a
    for a in "$@"; do
        case "$a" in
        IN1080) args+=("$work/d1080.bmp") ;;
        IN2160) args+=("$work/d2160.bmp") ;;
        OUT.*) args+=("$work/$build/out.${a#OUT.}") ;;
        *) args+=("$a") ;;
        esac
    done
    if [ "$build" = linux ]; then
        elapsed_ms "$linux/kaptorama-image" "${args[@]}"
    else
        elapsed_ms wine "$windows/kaptorama-image.exe" "${args[@]}"
    fi
}
declare -A tool_ms
kept=("startup|--help")
for c in "${cases[@]}"; do
    [[ "${c%%|*}" == *"$only"* ]] && kept+=("$c")
done
for ((r = 0; r < rounds; r++)); do
    for c in "${kept[@]}"; do
        read -r -a command <<<"${c#*|}"
        for build in $(order "$r"); do
            tool_ms["${c%%|*}/$build"]+=" $(run_tool "$build" "${command[@]}")"
        done
    done
    echo "kaptorama-image: round $((r + 1))/$rounds" >&2
done
start_l=$(median <<<"${tool_ms[startup/linux]}")
start_w=$(median <<<"${tool_ms[startup/windows]}")
echo "kaptorama-image, one process per case (ms, median of $rounds rounds)"
printf '  %-30s %8s %8s %6s %12s %12s %6s\n' case Linux Wine ratio "Linux less" "Wine less" ratio
printf '  %-30s %8s %8s %6s %12s %12s %6s\n' "" "" "" "" startup startup ""
printf '  %-30s %8s %8s\n' startup "$start_l" "$start_w"
for c in "${kept[@]:1}"; do
    name="${c%%|*}"
    l=$(median <<<"${tool_ms[$name/linux]}")
    w=$(median <<<"${tool_ms[$name/windows]}")
    printf '  %-30s %8s %8s %6s %12s %12s %6s\n' "$name" "$l" "$w" "$(ratio "$w" "$l")" \
        $((l - start_l)) $((w - start_w)) "$(ratio $((w - start_w)) $((l - start_l)))"
done
