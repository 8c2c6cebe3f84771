#!/usr/bin/env bash
# Installs whatever the build, the program and the tests need on Debian 12 and is missing.
# Sourced by run.sh and test.sh; installs through sudo when not root.
set -euo pipefail

KAP_BUILD_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-translations-l10n libgl-dev
    zlib1g-dev libjpeg62-turbo-dev libzstd-dev
    libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-randr0-dev libxcb-damage0-dev
    libglib2.0-dev
    dpkg-dev file
)
KAP_RUN_PACKAGES=(xdg-utils fonts-dejavu-core fonts-liberation2 qt6-wayland)
KAP_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
    xvfb xauth xdotool openbox x11-utils imagemagick pngcheck libjpeg-turbo-progs clang-format
    xcompmgr xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
    desktop-file-utils appstream man-db python3 xclip dbus-daemon
    # The Wayland captures' test: a headless sway, pipewire and the desktop portal with its
    # wlroots back end (screenshots by grim); the portal offers screenshots only beside an
    # implementation of its access dialogs, the GTK one.
    sway swaybg grim pipewire pipewire-bin dbus-bin xdg-desktop-portal xdg-desktop-portal-wlr
    xdg-desktop-portal-gtk
)

kap_install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installation des paquets manquants : ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

kap_configure_and_build() {
    local root="$1"
    local flags=("-DCMAKE_BUILD_TYPE=${KAP_BUILD_TYPE:-RelWithDebInfo}")
    if [ -n "${KAP_CMAKE_FLAGS:-}" ]; then
        # shellcheck disable=SC2206
        flags+=(${KAP_CMAKE_FLAGS})
    fi
    cmake -S "$root" -B "$root/build" -G Ninja "${flags[@]}"
    cmake --build "$root/build"
}
