#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each one for SECONDS (default 20)
# from its committed seeds in tests/fuzz/corpus/. Prints the executions of
# every target; exits non-zero when any target finds a crash, a leak, a
# timeout or a violated property. The inputs that did are kept in
# build/fuzz/artifacts/, the logs in build/fuzz/logs/.
#
# Usage: tools/ci/fuzz.sh [SECONDS] [TARGET...]
# ZX_FUZZ_CXX names the clang to build with (default: the preset's clang++-14).
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-20}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)

all=(fuzz_split_command_line fuzz_text_reader fuzz_utf8 fuzz_ansi fuzz_wildcard fuzz_rewrite
     fuzz_journal fuzz_palette_line fuzz_screen fuzz_deflate_runs)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all[@]}"); fi

# The longest input each target reads: screens of any size up to 20000
# bytes, tried at once rather than grown to slowly; text past the reader's
# 64 KiB buffer comes from a filler the text target prepends itself.
length_options() {
  case $1 in
    fuzz_screen) echo "-max_len=20000 -len_control=0" ;;
    # Past one block of the coder (16,384 symbols) and several long runs.
    fuzz_deflate_runs) echo "-max_len=40000" ;;
    fuzz_text_reader) echo "-max_len=4096" ;;
    fuzz_rewrite | fuzz_wildcard) echo "-max_len=512" ;;
    *) echo "-max_len=1024" ;;
  esac
}

start=$SECONDS
echo "=== fuzz: configure and build"
cmake --preset fuzz -DCMAKE_CXX_COMPILER="${ZX_FUZZ_CXX:-clang++-14}" >/dev/null
cmake --build --preset fuzz -j "$jobs"

mkdir -p build/fuzz/artifacts build/fuzz/logs
failed=()
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus in the build tree (the first
  # directory); the committed seeds are only read.
  work=build/fuzz/work/$target
  log=build/fuzz/logs/$target.log
  mkdir -p "$work"
  # The converter targets print their messages on standard output; only
  # libFuzzer's own report (standard error) is kept.
  # shellcheck disable=SC2046
  build/fuzz/bin/"$target" -max_total_time="$seconds" $(length_options "$target") \
    -timeout=15 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/"$target"- \
    "$work" tests/fuzz/corpus/"$target" >/dev/null 2>"$log" &
  pid=$!
  status=0
  wait "$pid" || status=$?
  # A target that stopped early leaves its scratch files behind.
  rm -f /dev/shm/zx-fuzz-"$pid"-*
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  slowest=$(sed -n 's/^stat::slowest_unit_time_sec: *//p' "$log" | tail -n 1)
  printf '%-24s %10s executions in %s s, slowest input %s s, exit %s\n' "$target" "${runs:-?}" \
    "$seconds" "${slowest:-?}" "$status"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    grep -E 'PROPERTY VIOLATED|ERROR:|SUMMARY:|Test unit written|^artifact_prefix' "$log" | head -n 20 || true
  fi
done

echo "fuzz: $(( SECONDS - start )) s in all"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: FINDINGS in ${failed[*]} (inputs in build/fuzz/artifacts/, logs in build/fuzz/logs/)" >&2
  exit 1
fi
echo "fuzz: no findings"
