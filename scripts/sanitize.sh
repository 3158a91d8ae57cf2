#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds with a sanitizer in its own directory and runs the tests under it.
# Usage: scripts/sanitize.sh asan|tsan [ctest option...]
#   asan: AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer in build-asan/, the
#         whole suite.
#   tsan: ThreadSanitizer in build-tsan/, the tests that run link, timer and discovery threads
#         (links, devices, discovery, telemetry).
# Any finding fails its test; the report is in the test's output.
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-}"
shift || true

case "$kind" in
  asan)
    dir=build-asan
    option=-DSKYVARN_ASAN=ON
    targets=()
    selections=("")
    # Discovery of the tests runs the test programs during the build, so the options hold there too.
    export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  tsan)
    dir=build-tsan
    option=-DSKYVARN_TSAN=ON
    targets=(--target link_tests --target discovery_tests --target telemetry_tests
             --target focuser_device_tests --target dew_device_tests)
    selections=("-R ^link\.|\.device\." "-L discovery|telemetry")
    export TSAN_OPTIONS="second_deadlock_stack=1"
    ;;
  *)
    echo "usage: scripts/sanitize.sh asan|tsan [ctest option...]" >&2
    exit 2
    ;;
esac

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYVARN_BENCHMARKS=OFF "$option" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"

cd "$dir"
export QT_QPA_PLATFORM=offscreen
status=0
for selection in "${selections[@]}"; do
  # shellcheck disable=SC2086 # a selection is an option and its pattern
  ctest --output-on-failure -j2 --timeout 600 $selection "$@" || status=1
done
exit $status
