#!/usr/bin/env bash
# Cross-builds Kaptorama for 64-bit Windows into build-windows/: kaptorama.exe, its installer and
# portable zip, kaptorama-image.exe, the display-free test suites, and the private Wine prefix
# the tests run in.
#
# Needs the MinGW sysroot archive, ../shared/toolchains/mingw-sysroot-qt6.4.2.tar.xz by default
# (KAP_MINGW_ARCHIVE names another; scripts/build-mingw-sysroot.sh makes it from Debian's source
# packages). Installs the Debian packages it needs, as scripts/deps.sh does.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
# shellcheck source=scripts/mingw-sources.sh
. "$root/scripts/mingw-sources.sh"

KAP_WINDOWS_PACKAGES=(
    cmake ninja-build pkg-config xz-utils
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-tools libz-mingw-w64-dev
    qt6-base-dev qt6-base-dev-tools
    wine wine64 nsis
    nasm dpkg-dev debian-archive-keyring
)
# The archive this build was made with; another one is refused rather than half-trusted.
KAP_MINGW_ARCHIVE_SHA256=${KAP_MINGW_ARCHIVE_SHA256:-64c4325a53ad854d2cb70659ff01d8d649422f6ef4dd2cc51c134f98715e1866}
archive="${KAP_MINGW_ARCHIVE:-$root/../shared/toolchains/mingw-sysroot-qt6.4.2.tar.xz}"
build="$root/build-windows"
sysroot="$build/mingw-sysroot-qt6.4.2"

if [ ! -f "$archive" ]; then
    echo "build-windows.sh: no MinGW sysroot archive at $archive" >&2
    exit 3
fi
kap_install_missing "${KAP_WINDOWS_PACKAGES[@]}"

sum=$(sha256sum "$archive" | cut -d' ' -f1)
if [ "$sum" != "$KAP_MINGW_ARCHIVE_SHA256" ]; then
    echo "build-windows.sh: $archive has SHA-256 $sum, not $KAP_MINGW_ARCHIVE_SHA256" >&2
    exit 1
fi
# Unpacked once per archive: a stamp names the one in place.
if [ "$(cat "$sysroot/.kaptorama-sha256" 2>/dev/null)" != "$sum" ]; then
    rm -rf "$sysroot"
    mkdir -p "$build"
    tar -C "$build" -xJf "$archive"
    echo "$sum" >"$sysroot/.kaptorama-sha256"
fi

# libjpeg-turbo with its SIMD code where the archive's lacks it (the archive of Qt 6.4.2 was made
# without): built once from Debian's source package into build-windows/libjpeg-turbo/. Where the
# source cannot be fetched, the archive's serves, and JPEG encoding takes about three times as long.
jpeg="$sysroot"
if ! kap_jpeg_has_simd "$sysroot/lib/libjpeg.a"; then
    if ! kap_jpeg_has_simd "$build/libjpeg-turbo/lib/libjpeg.a"; then
        echo "Construction de libjpeg-turbo avec son code SIMD : $build/libjpeg-turbo"
        work="$build/libjpeg-turbo-work"
        rm -rf "$build/libjpeg-turbo" "$work"
        if ! { kap_debian_source "$work" libjpeg-turbo &&
            kap_build_mingw_jpeg "$(find "$work/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)" \
                "$work/build" "$build/libjpeg-turbo"; }; then
            echo "build-windows.sh: libjpeg-turbo not built with SIMD; the archive's is used" >&2
        fi
        rm -rf "$work"
    fi
    if kap_jpeg_has_simd "$build/libjpeg-turbo/lib/libjpeg.a"; then
        jpeg="$build/libjpeg-turbo"
    fi
fi

cd "$root"
cmake --preset windows -DJPEG_LIBRARY_RELEASE="$jpeg/lib/libjpeg.a" \
    -DJPEG_INCLUDE_DIR="$jpeg/include" >/dev/null
cmake --build build-windows -j "${KAP_JOBS:-$(nproc)}"

# The Wine prefix of the tests, made once per build folder.
prefix="$build/wine"
if [ ! -f "$prefix/system.reg" ]; then
    echo "Préparation du préfixe Wine : $prefix"
    "$root/scripts/wine-run.sh" "$prefix" cmd /c exit 0 >/dev/null 2>&1 || true
fi
