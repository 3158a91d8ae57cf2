#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and the simulator (not the tests), and starts
# Skyvarn with simulated accessories.
# Without a display Skyvarn runs offscreen, connects the accessories and serves the phone
# control page, whose address and QR code it prints here.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh --target skyvarn --target skyvarn-sim

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cleanup() { [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT INT TERM

if [ -x build/sim/skyvarn-sim ]; then
  build/sim/skyvarn-sim "$@" &
  sim=$!
  sleep 1
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: Skyvarn connects the accessories and serves the phone control page; Ctrl-C ends it"
  QT_QPA_PLATFORM=offscreen build/skyvarn --connect --remote
else
  build/skyvarn
fi
