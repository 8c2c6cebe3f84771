#!/usr/bin/env bash
# Builds the static Windows (x86_64, MinGW-w64) libraries that scripts/build-windows.sh builds
# against, from Debian 12's own source packages, into one relocatable folder, and packs it as
#   OUTDIR/mingw-sysroot-qt6.4.2.tar.xz  (+ .sha256)
# Contents: Qt 6.4.2 qtbase (Core, Gui, Widgets, Test, the qwindows platform plugin, the Windows
# styles), libjpeg-turbo 2.1.5 (the IJG version-62 API, with its SIMD code), zstd 1.5.4, libpng 1.6.39,
# GoogleTest/GoogleMock 1.12, Qt's French texts. zlib comes from Debian's libz-mingw-w64-dev.
#
# Usage: scripts/build-mingw-sysroot.sh WORKDIR OUTDIR
# About 3 GB in WORKDIR and an hour of two cores. Then build with the new archive:
#   KAP_MINGW_ARCHIVE=OUTDIR/mingw-sysroot-qt6.4.2.tar.xz \
#   KAP_MINGW_ARCHIVE_SHA256=<its SHA-256> scripts/build-windows.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
# shellcheck source=scripts/mingw-sources.sh
. "$root/scripts/mingw-sources.sh"
work=$(realpath -m "${1:?WORKDIR}")
out=$(realpath -m "${2:?OUTDIR}")
mkdir -p "$work" "$out"
prefix="$work/mingw-sysroot"
jobs=${KAP_JOBS:-$(nproc)}

kap_install_missing g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools \
    libz-mingw-w64-dev cmake ninja-build nasm dpkg-dev xz-utils qt6-base-dev qt6-base-dev-tools \
    qt6-translations-l10n googletest debian-archive-keyring

# Debian source packages, without touching the system's apt configuration.
src="$work/src"
kap_debian_source "$work" qt6-base libjpeg-turbo libzstd libpng1.6
qtsrc=$(find "$src" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
jpsrc=$(find "$src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
zstdsrc=$(find "$src" -maxdepth 1 -type d -name 'libzstd-*' | head -n1)
pngsrc=$(find "$src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)

# The project's own toolchain file, pointed at the folder being filled.
export KAP_MINGW_SYSROOT="$prefix"
mkdir -p "$prefix"
tc="$root/cmake/mingw-w64.cmake"

kap_build_mingw_jpeg "$jpsrc" "$work/b-jpeg" "$prefix"

# zstd, static, single-threaded (the program compresses on its user-interface thread).
cmake -S "$zstdsrc/build/cmake" -B "$work/b-zstd" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DZSTD_BUILD_PROGRAMS=OFF \
    -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_TESTS=OFF \
    -DZSTD_MULTITHREAD_SUPPORT=OFF >/dev/null
cmake --build "$work/b-zstd" -j "$jobs" >/dev/null
cmake --install "$work/b-zstd" >/dev/null

# libpng, static, over MinGW's zlib: an independent PNG decoder for tests.
cmake -S "$pngsrc" -B "$work/b-png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
cmake --build "$work/b-png" -j "$jobs" >/dev/null
cmake --install "$work/b-png" >/dev/null

# GoogleTest and GoogleMock, static.
cmake -S /usr/src/googletest -B "$work/b-gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work/b-gtest" -j "$jobs" >/dev/null
cmake --install "$work/b-gtest" >/dev/null

# Qt 6 qtbase, static. Debian's +dfsg source lacks the tablet (wintab) headers, hence
# tabletevent off; dynamicgl must be switched off with opengl. No JPEG/GIF image plugins:
# Qt's bundled libjpeg (API 80) would clash with libjpeg-turbo's symbols in a static link.
cmake -S "$qtsrc" -B "$work/b-qt" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_testlib=ON >"$work/qt-configure.log" 2>&1
nice -n 5 cmake --build "$work/b-qt" -j "$jobs" >"$work/qt-build.log" 2>&1
cmake --install "$work/b-qt" >/dev/null

# French translations of Qt's own dialogs (platform-independent .qm files).
mkdir -p "$prefix/translations"
cp /usr/share/qt6/translations/qtbase_fr.qm "$prefix/translations/" 2>/dev/null || true

# pkg-config files relative to where the archive is unpacked.
for pc in "$prefix"/lib/pkgconfig/*.pc; do
    sed -i -E "s|^prefix=.*|prefix=\${pcfiledir}/../..|; s|$prefix|\${prefix}|g" "$pc"
    grep -q '^prefix=' "$pc" || sed -i '1i prefix=${pcfiledir}/../..' "$pc"
done

name=mingw-sysroot-qt6.4.2
tar -C "$work" --transform "s|^mingw-sysroot|$name|" -cJf "$out/$name.tar.xz" mingw-sysroot
(cd "$out" && sha256sum "$name.tar.xz" >"$name.tar.xz.sha256")
echo "packed $out/$name.tar.xz, SHA-256 $(cut -d' ' -f1 "$out/$name.tar.xz.sha256")"
