#!/usr/bin/env bash
# Installs what is missing, builds the program and the simulator (not the tests), and starts
# Skyvarn with simulated accessories.
# Without a display it starts a virtual one (Xvfb) so the program still runs.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh --target skyvarn --target skyvarn-sim

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cleanup() { [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT INT TERM

if [ -x build/sim/skyvarn-sim ]; then
  build/sim/skyvarn-sim "$@" &
  sim=$!
  sleep 1
fi
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:73
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  echo "No display: Skyvarn runs on the virtual display $DISPLAY"
fi
build/skyvarn
