#!/usr/bin/env bash
# What the two Windows build scripts share (sourced by build-mingw-sysroot.sh and
# build-windows.sh): Debian 12's source packages fetched without touching the system's apt
# configuration, and libjpeg-turbo's static Windows build.
kap_mingw_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# kap_debian_source WORKDIR PACKAGE...: unpacks the source packages in WORKDIR/src.
kap_debian_source() {
    local work="$1"
    shift
    local src="$work/src"
    mkdir -p "$src/apt/lists/partial" "$src/apt/cache/archives/partial"
    # The same archive the machine's apt already uses, for source packages.
    local mirror
    mirror=$(grep -h -m1 -E '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
    [ -n "$mirror" ] || mirror=$(grep -h -m1 -E '^deb ' /etc/apt/sources.list 2>/dev/null | awk '{print $2}' || true)
    [ -n "$mirror" ] || { echo "no apt source found" >&2; return 1; }
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" \
        >"$src/apt/sources.list"
    local aptsrc=(-o Dir::Etc::SourceList="$src/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o Dir::State::Lists="$src/apt/lists" -o Dir::Cache="$src/apt/cache")
    apt-get "${aptsrc[@]}" update -qq &&
        (cd "$src" && apt-get "${aptsrc[@]}" source -qq "$@" >/dev/null 2>&1)
}

# kap_build_mingw_jpeg SOURCE BUILDDIR PREFIX: libjpeg-turbo, static, the version-62 API, with its
# SIMD code (nasm): without it JPEG encoding takes about three times as long.
kap_build_mingw_jpeg() {
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$kap_mingw_root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$3" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF >/dev/null &&
        cmake --build "$2" -j "${KAP_JOBS:-$(nproc)}" >/dev/null &&
        cmake --install "$2" >/dev/null
}

# Whether the static libjpeg at $1 has libjpeg-turbo's SIMD code.
kap_jpeg_has_simd() {
    # grep -c reads to the end: grep -q would stop nm with SIGPIPE, a failure under pipefail.
    [ "$(x86_64-w64-mingw32-nm "$1" 2>/dev/null | grep -c ' T jsimd_.*_avx2' || true)" -gt 0 ]
}
