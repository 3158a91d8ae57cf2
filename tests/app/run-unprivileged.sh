#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test as an unprivileged user when started as root (root opens every port, so what
# a normal user meets cannot be seen as root). Runs it as it is when that is not possible.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
   setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$1"; then
  export XDG_RUNTIME_DIR="$(mktemp -d)" && chown 65534:65534 "$XDG_RUNTIME_DIR"
  exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
fi
exec "$@"
