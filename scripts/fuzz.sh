#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer harnesses of the input parsers in build-fuzz/ and runs each in turn:
#   scripts/fuzz.sh [seconds] [target...]    (default: 60 s each, every target)
# Targets: focuser_rx focuser_settings dew_rx web_client alpaca_http indi_reader. Each corpus grows in
# build-fuzz/corpus/<target>, starting from a copy of fuzz/seeds/<target>. Exits non-zero when a
# harness crashes, leaks, runs out of memory or hangs; the input that did it is kept in
# build-fuzz/artifacts/<target>/ and replays with build-fuzz/fuzz/fuzz_<target> FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(focuser_rx focuser_settings dew_rx web_client alpaca_http indi_reader)
seconds=60
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "unknown target: $t (${all[*]})" >&2; exit 2; }
done

SKYVARN_EXTRA_PACKAGES="clang libclang-rt-14-dev llvm" scripts/install-deps.sh
# Debug: Qt's own index checks in its inline code stay on.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DSKYVARN_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

# The parsers read reals with the regional separator: run them with the point.
export LC_ALL=C.UTF-8
# A smaller hold on freed memory than AddressSanitizer's 256 MB, so that the memory limit
# measures the parsers rather than the sanitizer.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}
failed=()
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t
  log=build-fuzz/fuzz-$t.log
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/seeds/"$t"/* "$corpus"/
  # A connection may leave 8 KiB waiting: its inputs must be able to go past that.
  max_len=4096
  [ "$t" = web_client ] && max_len=12288
  # Past the Alpaca reader's line and head bounds (8 and 16 KiB).
  [ "$t" = alpaca_http ] && max_len=24576
  echo "== $t: $seconds s (log: $log)"
  if ! "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=512 -max_len=$max_len \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    failed+=("$t")
    grep -E -A30 '^==[0-9]+==|^(ERROR|SUMMARY)|broken:' "$log" | head -60 || tail -40 "$log"
  fi
  awk '/(DONE|INITED|pulse|NEW|REDUCE) +cov:/ { for (i = 1; i < NF; ++i) {
         if ($i == "cov:") cov = $(i + 1); if ($i == "ft:") ft = $(i + 1); if ($i == "corp:") corp = $(i + 1) } }
       /stat::number_of_executed_units/ { runs = $2 }
       /stat::average_exec_per_sec/ { speed = $2 }
       /stat::peak_rss_mb/ { rss = $2 }
       END { printf "   %s executions (%s/s), cov %s, ft %s, corpus %s, peak RSS %s MB\n",
               runs, speed, cov ? cov : "-", ft ? ft : "-", corp ? corp : "-", rss }' "$log"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "No crash, leak, out-of-memory or hang."
