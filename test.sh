#!/usr/bin/env bash
# Installs what is missing, builds Kaptorama with its tests into build/ and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"

kap_install_missing "${KAP_BUILD_PACKAGES[@]}" "${KAP_RUN_PACKAGES[@]}" "${KAP_TEST_PACKAGES[@]}"
KAP_CMAKE_FLAGS="${KAP_CMAKE_FLAGS:-} -DKAP_BUILD_TESTS=ON -DKAP_BUILD_BENCH=ON" \
    kap_configure_and_build "$root"

cd "$root/build"
exec ctest --output-on-failure -j "$(nproc)" "$@"
