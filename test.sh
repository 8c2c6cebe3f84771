#!/usr/bin/env bash
# Installs what is missing, builds Kaptorama with its tests into build/ and runs every test;
# then, where the MinGW sysroot archive is at hand, cross-builds the Windows programs into
# build-windows/ and runs their tests under Wine (KAP_WINDOWS_STAGE=0 leaves that stage out).
# Arguments go to both runs of CTest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"

kap_install_missing "${KAP_BUILD_PACKAGES[@]}" "${KAP_RUN_PACKAGES[@]}" "${KAP_TEST_PACKAGES[@]}"
KAP_CMAKE_FLAGS="${KAP_CMAKE_FLAGS:-} -DKAP_BUILD_TESTS=ON -DKAP_BUILD_BENCH=ON -DKAP_WERROR=ON" \
    kap_configure_and_build "$root"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
skipped=0
# Runs CTest in a build folder and adds its counts to the totals; returns CTest's status.
run_ctest() {
    local folder="$1" status
    shift
    set +e
    (cd "$folder" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    local summary
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$summary" ]; then
        local f t s
        f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
        t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
        s=$(grep -cE '\(Skipped\)$' "$log" || true)
        passed=$((passed + t - f - s))
        failed=$((failed + f))
        skipped=$((skipped + s))
    elif [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    return "$status"
}

status=0
run_ctest "$root/build" -j "$(nproc)" "$@" || status=$?

archive="${KAP_MINGW_ARCHIVE:-$root/../shared/toolchains/mingw-sysroot-qt6.4.2.tar.xz}"
if [ "${KAP_WINDOWS_STAGE:-1}" = 0 ]; then
    echo "Windows stage skipped: KAP_WINDOWS_STAGE=0"
elif [ ! -f "$archive" ]; then
    echo "Windows stage skipped: no MinGW sysroot archive at $archive (scripts/build-mingw-sysroot.sh makes one)"
else
    started=$(date +%s)
    if "$root/scripts/build-windows.sh"; then
        # Wine programs are heavy: two at a time.
        run_ctest "$root/build-windows" -j 2 "$@" || status=$?
    else
        echo "Windows build failed"
        failed=$((failed + 1))
        status=1
    fi
    echo "Windows stage: $(($(date +%s) - started)) s"
fi
# Closing line: the counts of both stages, alone on the last line.
echo "$passed passed, $failed failed, $skipped skipped"
exit "$status"
