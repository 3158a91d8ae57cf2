#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The package as Debian and software centres see it: lintian without an error or a warning, a
# manual page for each program that names every option its --help lists, a machine-readable
# copyright file, and AppStream metadata that appstreamcli accepts and that names the menu
# entry the package carries.
# Usage: tests/packaging/deb_check.sh PACKAGE.deb (amd64, or arm64 with qemu-user-static)
# Needs lintian, appstream and man-db (scripts/install-deps.sh).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: tests/packaging/deb_check.sh PACKAGE.deb" >&2; exit 2; }
deb="$(realpath "$1")"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
work="$(mktemp -d /tmp/skyvarn-deb-check.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# Errors and warnings only; infos and pedantic hints are advice.
lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
  fail "lintian: $(cat "$work/lintian")"
echo "ok: lintian, no error and no warning"

root="$work/root"
dpkg-deb -x "$deb" "$root"
run=()
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
  run=(qemu-aarch64-static -L /)
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
for program in skyvarn skyvarn-sim; do
  page="$root/usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || fail "no manual page $program(1)"
  MANWIDTH=200 man -l "$page" 2>"$work/man.err" >"$work/man" || fail "man -l $page"
  [ ! -s "$work/man.err" ] || fail "man -l $page: $(cat "$work/man.err")"
  "${run[@]}" "$root/usr/bin/$program" --help >"$work/help"
  options="$(grep -o -- '--[a-z][a-z-]*' "$work/help" | sort -u)"
  [ -n "$options" ] || fail "$program --help lists no option"
  for option in $options; do
    grep -q -- "$option" "$work/man" || fail "$program(1) does not describe $option"
  done
  echo "ok: $program(1) describes" $options
done

copyright="$root/usr/share/doc/skyvarn/copyright"
head -1 "$copyright" |
  grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
  fail "the copyright file is not machine-readable: $(head -1 "$copyright")"
grep -qx "License: GPL-3+" "$copyright" || fail "the copyright file names no GPL-3+"
echo "ok: DEP-5 copyright file, GPL-3+"

metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metadata in /usr/share/metainfo"
appstreamcli validate --no-net "${metainfo[0]}" >"$work/appstream" 2>&1 ||
  fail "appstreamcli validate: $(cat "$work/appstream")"
for desktop in "$root"/usr/share/applications/*.desktop; do
  grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" \
    "${metainfo[0]}" || fail "the AppStream metadata does not launch $(basename "$desktop")"
done
for tag in screenshot project_license description; do
  grep -q "<$tag" "${metainfo[0]}" || fail "the AppStream metadata has no $tag"
done
echo "ok: AppStream metadata valid: $(basename "${metainfo[0]}")"
