#!/usr/bin/env bash
# Builds the program and the simulator in build/ and packs them into the Debian package
# build/skyvarn_<version>_<arch>.deb (install it with: sudo apt install ./build/skyvarn_*.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --target skyvarn --target skyvarn-sim "$@"
cd build
cpack -G DEB
