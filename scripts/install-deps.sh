#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing Skyvarn need, if missing.
# Usage: scripts/install-deps.sh [--arch arm64]
#   --arch arm64: also what cross-building for arm64 and its smoke test under qemu need: the
#   cross compiler and, through multiarch (dpkg --add-architecture arm64), the arm64 libraries.
set -euo pipefail
arch=""
case "${1:-}" in
  --arch) arch="${2:-}" ;;
  --arch=*) arch="${1#--arch=}" ;;
  "") ;;
  *) echo "usage: scripts/install-deps.sh [--arch arm64]" >&2; exit 2 ;;
esac
[ -z "$arch" ] || [ "$arch" = arm64 ] || { echo "install-deps.sh: only --arch arm64" >&2; exit 2; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth fonts-liberation
  clang-format
  dpkg-dev
  help2man lintian appstream man-db
  libzxing-dev
  qcoro-qt6-dev
  libindi-dev
  chromium chromium-driver python3-selenium
  locales
)
[ "${SKYVARN_EXTRA_PACKAGES:-}" ] && packages+=(${SKYVARN_EXTRA_PACKAGES})
if [ "$arch" = arm64 ]; then
  packages+=(
    g++-aarch64-linux-gnu
    qt6-base-dev:arm64 libgl-dev:arm64 libzxing-dev:arm64 qcoro-qt6-dev:arm64
    qemu-user-static file curl systemd
  )
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # Another install on this machine holds dpkg's lock for a while: wait for it instead of
  # failing.
  wait_lock=(-o DPkg::Lock::Timeout=600)
  $sudo apt-get "${wait_lock[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait_lock[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
fi

# A desktop with a decimal comma is tested under this locale.
if ! locale -a 2>/dev/null | grep -qix 'fr_FR.utf8'; then
  echo "Generating the fr_FR.UTF-8 locale"
  $sudo sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
