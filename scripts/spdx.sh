#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence line "SPDX-License-Identifier: GPL-3.0-or-later" at the top of the project's
# source files that lack it: C++ sources and headers, CMake files and scripts (after their #!
# line). Data files (fuzz seeds, images, the menu entry) are left as they are.
# Usage: scripts/spdx.sh          add the line where it is missing
#        scripts/spdx.sh --check  only list the files without it; fails if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: scripts/spdx.sh [--check]" >&2; exit 2 ;;
esac
id="SPDX-License-Identifier: GPL-3.0-or-later"

missing=0
while IFS= read -r file; do
  [ -s "$file" ] || continue # an empty file has nothing to license
  head -3 "$file" | grep -q "SPDX-License-Identifier:" && continue
  missing=$((missing + 1))
  if $check; then
    echo "$file"
    continue
  fi
  case "$file" in
    *.cpp | *.h) comment="// $id" ;;
    *) comment="# $id" ;;
  esac
  if head -1 "$file" | grep -q '^#!'; then
    sed -i "1a $comment" "$file"
  else
    sed -i "1i $comment" "$file"
  fi
done < <(git ls-files -- '*.cpp' '*.h' '*.cmake' 'CMakeLists.txt' '*/CMakeLists.txt' '*.sh' \
  '*.py' run.sh test.sh .ci/run)
if $check && [ $missing -gt 0 ]; then
  echo "spdx.sh: $missing files without the licence line" >&2
  exit 1
fi
