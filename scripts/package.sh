#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and the simulator and packs them into a Debian package:
#   scripts/package.sh [CMake option...]
#     for this machine, in build/: build/skyvarn_<version>-<revision>_<arch>.deb
#   scripts/package.sh --arch arm64 [CMake option...]
#     cross-built for 64-bit ARM (a Raspberry Pi on 64-bit Debian), in build-arm64/:
#     build-arm64/skyvarn_<version>-<revision>_arm64.deb, its Depends read from the arm64
#     libraries
# Install it with: sudo apt install ./build/skyvarn_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
arch=""
options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --arch)
      [ $# -ge 2 ] || { echo "package.sh: --arch needs a name" >&2; exit 2; }
      arch="$2"
      shift 2
      ;;
    --arch=*)
      arch="${1#--arch=}"
      shift
      ;;
    *)
      options+=("$1")
      shift
      ;;
  esac
done

if [ -z "$arch" ] || [ "$arch" = "$(dpkg --print-architecture)" ]; then
  scripts/install-deps.sh
  scripts/build.sh --target skyvarn --target skyvarn-sim --target manpages "${options[@]}"
  cd build
  # One package in the folder, whatever an earlier version was called.
  rm -f skyvarn_*.deb
  cpack -G DEB
  exit
fi
[ "$arch" = arm64 ] || { echo "package.sh: cross-builds for arm64 only, not '$arch'" >&2; exit 2; }

scripts/install-deps.sh --arch arm64
# The two programs only: tests and benchmarks of arm64 could not run here.
cmake -S . -B build-arm64 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DSKYVARN_TESTS=OFF -DSKYVARN_BENCHMARKS=OFF "${options[@]}" >/dev/null
cmake --build build-arm64 -j"$(nproc)" --target skyvarn --target skyvarn-sim --target manpages
cd build-arm64
rm -f skyvarn_*.deb
cpack -G DEB
