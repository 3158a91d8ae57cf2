#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The arm64 package as a Raspberry Pi gets it, checked on this machine: its architecture and
# dependencies, its programs (aarch64, run under qemu-user), its user service (systemd-analyze
# verify), and the packaged skyvarn --connect --remote finding the packaged simulator's
# accessories and serving the phone page, fetched on loopback, whose moves reach the focuser.
# Usage: tests/packaging/arm64_smoke.sh PACKAGE.deb
# Needs qemu-user-static, curl, file and systemd (scripts/install-deps.sh --arch arm64) and
# root, or unprivileged user namespaces, for the private mount of the unit check.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: tests/packaging/arm64_smoke.sh PACKAGE.deb" >&2; exit 2; }
deb="$(realpath "$1")"

DEADLINE=60 # seconds, for every wait: the programs run emulated, on a loaded machine
NO_NETWORK="Connexion unavailable, please connect to your WiFi router"

passed=0
skipped=0
pass() {
  echo "ok: $*"
  passed=$((passed + 1))
}
fail() {
  echo "FAIL: $*" >&2
  echo "smoke: $passed passed, 1 failed"
  exit 1
}

work="$(mktemp -d /tmp/skyvarn-arm64-smoke.XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Without binfmt (a container) the arm64 programs are started through qemu explicitly; their
# libraries are the multiarch arm64 ones under /usr/lib/aarch64-linux-gnu, so the root is /.
# A plain command, not a function, so that $! of a start in the background is qemu itself.
arm64=(qemu-aarch64-static -L /)

# Waits until the command succeeds, at most DEADLINE seconds.
wait_for() {
  local end=$((SECONDS + DEADLINE))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}

architecture="$(dpkg-deb -f "$deb" Architecture)"
[ "$architecture" = arm64 ] || fail "the package's Architecture is '$architecture'"
pass "Architecture: arm64"

depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6network6 libzxing2; do
  [[ ", $depends," == *", $library ("* ]] || fail "Depends lacks $library: $depends"
done
pass "Depends: $depends"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for program in skyvarn skyvarn-sim; do
  kind="$(file -b "$root/usr/bin/$program")"
  [[ "$kind" == *"ARM aarch64"* ]] || fail "$program is not aarch64: $kind"
done
pass "skyvarn and skyvarn-sim are aarch64"

run="$work/run"
mkdir -m 700 "$run"
export XDG_RUNTIME_DIR="$run" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

"${arm64[@]}" "$root/usr/bin/skyvarn" --help >"$work/help" 2>&1 ||
  fail "skyvarn --help: $(cat "$work/help")"
grep -q -- "--connect" "$work/help" || fail "skyvarn --help lists no --connect: $(cat "$work/help")"
"${arm64[@]}" "$root/usr/bin/skyvarn-sim" --help >"$work/help" 2>&1 ||
  fail "skyvarn-sim --help: $(cat "$work/help")"
grep -q "^Usage: skyvarn-sim" "$work/help" || fail "skyvarn-sim --help: $(cat "$work/help")"
pass "skyvarn --help and skyvarn-sim --help under qemu-user"

# The unit as the package installs it, verified with the package's program where the unit looks
# for it: a private mount puts the package's /usr/bin over this machine's. verify reports a
# fault as a line but still exits 0, so any line fails.
unit="$root/usr/lib/systemd/user/skyvarn.service"
[ -f "$unit" ] || fail "the package carries no /usr/lib/systemd/user/skyvarn.service"
namespace=(unshare --mount)
[ "$(id -u)" -eq 0 ] || namespace+=(--map-root-user)
if ! "${namespace[@]}" sh -c 'mount -t overlay overlay -o "lowerdir=$1/usr/bin:/usr/bin" /usr/bin &&
    systemd-analyze --user verify "$2"' verify "$root" "$unit" >"$work/verify" 2>&1 ||
  [ -s "$work/verify" ]; then
  fail "systemd-analyze --user verify skyvarn.service: $(cat "$work/verify")"
fi
pass "systemd-analyze --user verify skyvarn.service"

# The simulator's default accessories: two focusers, a dew controller, a panels unit.
"${arm64[@]}" "$root/usr/bin/skyvarn-sim" </dev/null >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for grep -q "running" "$work/sim.out" ||
  fail "the simulator did not start: $(cat "$work/sim.out")"

# Port 0: the program takes a free port itself and prints it.
"${arm64[@]}" "$root/usr/bin/skyvarn" --connect --remote --port 0 </dev/null \
  >"$work/out" 2>"$work/err" &
program=$!
pids+=($program)
started() {
  grep -q "http://" "$work/out" || grep -q -e "$NO_NETWORK" -e "did not start" "$work/err" ||
    ! kill -0 "$program" 2>/dev/null
}
wait_for started || fail "skyvarn printed no address: $(cat "$work/out" "$work/err")"
if grep -q -e "$NO_NETWORK" "$work/err"; then
  echo "skipped: this machine has no network address to serve the phone page on"
  skipped=1
else
  port="$(sed -n 's|^Phone control page: http://[^ ]*:\([0-9]*\)$|\1|p' "$work/out")"
  [ -n "$port" ] || fail "skyvarn printed no address: $(cat "$work/out" "$work/err")"

  get() { curl -fsS --max-time "$DEADLINE" "http://127.0.0.1:$port$1" >"$work/page" 2>&1; }
  shows() { get "$1" && grep -q -e "$2" "$work/page"; }
  # The simulated focuser starts at 30000; the page shows focuser 1's last reading.
  wait_for shows / "current position =</b>30000<" ||
    fail "the page shows no position 30000: $(cat "$work/page" "$work/err")"
  pass "skyvarn --connect --remote found the simulated focuser; its page on 127.0.0.1:$port"

  get "/move_out?value=10" || fail "/move_out: $(cat "$work/page")"
  grep -q "received cmd: move_out value:10" "$work/page" || fail "/move_out: $(cat "$work/page")"
  wait_for shows /refresh "current position =</b>30010<" ||
    fail "after moving out 10 the page shows: $(cat "$work/page" "$work/err")"
  pass "the page moved the simulated focuser out to 30010"
fi

kill "$program"
wait "$program" 2>/dev/null || true
if [ -s "$work/err" ] && [ $skipped -eq 0 ]; then
  fail "skyvarn's error output: $(cat "$work/err")"
fi

if [ $skipped -eq 0 ]; then
  echo "smoke: $passed passed, 0 failed"
else
  echo "smoke: $passed passed, 0 failed, $skipped skipped"
fi
