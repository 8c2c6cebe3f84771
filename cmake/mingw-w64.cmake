# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers (GCC, POSIX threads)
# against the static libraries of the MinGW sysroot archive (Qt, libjpeg-turbo, zstd, libpng,
# GoogleTest), unpacked by scripts/build-windows.sh into build-windows/.
#
# KAP_MINGW_SYSROOT (a CMake variable or an environment variable) names the unpacked folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT KAP_MINGW_SYSROOT)
    if(DEFINED ENV{KAP_MINGW_SYSROOT})
        set(KAP_MINGW_SYSROOT "$ENV{KAP_MINGW_SYSROOT}")
    else()
        set(KAP_MINGW_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build-windows/mingw-sysroot-qt6.4.2")
    endif()
endif()
get_filename_component(KAP_MINGW_SYSROOT "${KAP_MINGW_SYSROOT}" ABSOLUTE)
# Checks of the compiler run in their own projects: they get the folder too.
set(ENV{KAP_MINGW_SYSROOT} "${KAP_MINGW_SYSROOT}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KAP_MINGW_SYSROOT)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${KAP_MINGW_SYSROOT}")
set(CMAKE_PREFIX_PATH "${KAP_MINGW_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's tools (moc, rcc, uic) are the Linux ones of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Static zlib: FindZLIB would take the import library, and the program would need zlib1.dll.
set(ZLIB_LIBRARY /usr/x86_64-w64-mingw32/lib/libz.a)
set(ZLIB_INCLUDE_DIR /usr/x86_64-w64-mingw32/include)

# The archive's pkg-config files (zstd) and none of the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${KAP_MINGW_SYSROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
