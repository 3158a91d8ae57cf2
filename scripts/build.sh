#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds Skyvarn in build/.
# Usage: scripts/build.sh [--target NAME]... [CMake option...]
# Without --target everything is built (program, simulator, tests, benchmarks); with it only the
# named targets, e.g. --target skyvarn --target skyvarn-sim for what a user runs.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target)
      [ $# -ge 2 ] || { echo "build.sh: --target needs a name" >&2; exit 2; }
      targets+=(--target "$2")
      shift 2
      ;;
    --target=*)
      targets+=(--target "${1#--target=}")
      shift
      ;;
    *)
      options+=("$1")
      shift
      ;;
  esac
done
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build build -j"$(nproc)" "${targets[@]}"
