#!/usr/bin/env bash
# Installs what is missing, builds Kaptorama with its tests into build/ and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"

kap_install_missing "${KAP_BUILD_PACKAGES[@]}" "${KAP_RUN_PACKAGES[@]}" "${KAP_TEST_PACKAGES[@]}"
KAP_CMAKE_FLAGS="${KAP_CMAKE_FLAGS:-} -DKAP_BUILD_TESTS=ON -DKAP_BUILD_BENCH=ON -DKAP_WERROR=ON" \
    kap_configure_and_build "$root"

cd "$root/build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
set +e
ctest --output-on-failure -j "$(nproc)" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
# Closing line: the counts of CTest's summary, alone on the last line.
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
if [ -n "$summary" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    skipped=$(grep -cE '\(Skipped\)$' "$log" || true)
    echo "$((total - failed - skipped)) passed, $failed failed, $skipped skipped"
fi
exit "$status"
