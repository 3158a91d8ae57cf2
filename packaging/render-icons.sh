#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders skyvarn.svg into the PNG sizes the desktop icon theme asks for. The PNGs are kept in
# the repository so that building needs no SVG renderer; run this after changing the drawing.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  mkdir -p "icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" -o "icons/${size}x${size}/skyvarn.png" skyvarn.svg
done
