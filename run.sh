#!/usr/bin/env bash
# Installs what is missing, builds Kaptorama into build/ and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"

kap_install_missing "${KAP_BUILD_PACKAGES[@]}" "${KAP_RUN_PACKAGES[@]}"
KAP_CMAKE_FLAGS="${KAP_CMAKE_FLAGS:-} -DKAP_BUILD_TESTS=OFF -DKAP_BUILD_BENCH=OFF" \
    kap_configure_and_build "$root"

if [ -z "${DISPLAY:-}" ]; then
    echo "Kaptorama a besoin d'un écran X11 : la variable DISPLAY n'est pas définie (lancez-le depuis une session graphique)." >&2
    exit 1
fi
exec "$root/build/kaptorama" "$@"
