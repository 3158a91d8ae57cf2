#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Applies clang-format to the sources; with --check, only reports files that differ.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror $files
else
  clang-format -i $files
fi
