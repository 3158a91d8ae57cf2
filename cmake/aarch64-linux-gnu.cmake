# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit ARM (a Raspberry Pi 4 or 5 on 64-bit Debian) on a Debian machine
# with the cross compiler (g++-aarch64-linux-gnu) and the arm64 libraries installed through
# multiarch (dpkg --add-architecture arm64, then qt6-base-dev:arm64 ...). They live in
# /usr/lib/aarch64-linux-gnu beside the build machine's own, so the root stays / and no sysroot
# is needed; Debian's arm64 Qt packages run the build machine's moc and rcc
# (qt6-base-dev-tools). scripts/package.sh --arch arm64 installs all this and uses this file:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#     -DSKYVARN_TESTS=OFF -DSKYVARN_BENCHMARKS=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
# find_package and find_library look in /usr/lib/aarch64-linux-gnu, not in the build machine's
# library folder.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# pkg-config, which some of Qt's package files ask, answers for arm64.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The package is named for the programs' architecture, not the build machine's.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)

# The programs run here under qemu-user (their --help makes the manual pages).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /)
