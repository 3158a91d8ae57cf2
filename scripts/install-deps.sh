#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Skyvarn need, if missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth fonts-liberation
  clang-format
  dpkg-dev
  libzxing-dev
  qcoro-qt6-dev
  chromium chromium-driver python3-selenium
)
[ "${SKYVARN_EXTRA_PACKAGES:-}" ] && packages+=(${SKYVARN_EXTRA_PACKAGES})

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
