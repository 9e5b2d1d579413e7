#!/usr/bin/env bash
# Converts 1,000 screens with zxraster, one process per screen, and prints
# the median wall time per conversion beside the median time of starting
# /bin/true the same number of times.
#
# For context it also times /bin/touch creating one new file per run: where
# creating a file is slow, that cost alone can outweigh a process start.
#
# Then PNG beside BMP, each over the same screens: a truecolour PNG at scale
# 1 against /bin/true, and a truecolour PNG at scale 4 against a BMP at
# scale 4.
# The screens and BMPs go to a folder under $TMPDIR (default /tmp).
#
# Usage: tools/bench_zxraster.sh [BUILD_DIR] [COUNT] [FORMAT]
#   BUILD_DIR  a native build with zxraster and make_screens (build/native)
#   COUNT      number of screens and of runs (1000)
#   FORMAT     the -c value: 0 for 24-bit, 1 for 4-bit (0)
# SPDX-License-Identifier: MIT
set -euo pipefail
build=${1:-build/native}
count=${2:-1000}
format=${3:-0}
zxraster=$build/bin/zxraster
make_screens=$build/bin/make_screens
for tool in "$zxraster" "$make_screens"; do
  if [ ! -x "$tool" ]; then
    echo "missing $tool: build the targets zxraster and make_screens first" >&2
    exit 2
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_screens" "$work" "$count" 1

# Times are taken with the shell's own clock, so no helper process is
# counted; each figure is one fork and exec of the program measured.
median_us() {
  sort -n | awk '{ t[NR] = $1 } END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.0f", m }'
}
elapsed_us() { # start end, both $EPOCHREALTIME
  local s=${1/[.,]/} e=${2/[.,]/}
  echo $(( 10#$e - 10#$s ))
}

: >"$work/zx.times"
: >"$work/true.times"
: >"$work/touch.times"
for ((i = 0; i < count; i++)); do
  screen=$(printf '%s/screen_%02d.scr' "$work" "$i")
  start=$EPOCHREALTIME
  # Each screen gets its own BMP (the default name), as in a batch run;
  # rewriting one file would time the file system's truncation instead.
  status=0
  "$zxraster" -i "$screen" -c "$format" >/dev/null || status=$?
  end=$EPOCHREALTIME
  if [ "$status" -ne 0 ]; then
    # A failed or crashed conversion must not pass for a fast one.
    echo "bench_zxraster.sh: zxraster failed on $screen with exit status $status" >&2
    exit 1
  fi
  elapsed_us "$start" "$end" >>"$work/zx.times"

  start=$EPOCHREALTIME
  /bin/true -i "$screen" -c "$format" >/dev/null
  end=$EPOCHREALTIME
  elapsed_us "$start" "$end" >>"$work/true.times"

  start=$EPOCHREALTIME
  /bin/touch "$screen.touched"
  end=$EPOCHREALTIME
  elapsed_us "$start" "$end" >>"$work/touch.times"
done

zx=$(median_us <"$work/zx.times")
tr=$(median_us <"$work/true.times")
to=$(median_us <"$work/touch.times")
echo "runs:                 $count (format -c $format, folder $work)"
echo "zxraster median:      ${zx} us per conversion"
echo "/bin/true median:     ${tr} us per start"
echo "/bin/touch median:    ${to} us per new file"
awk -v z="$zx" -v t="$tr" 'BEGIN { printf "ratio zxraster/true:  %.2f (goal: at most 1.50)\n", z / t }'

# The median time of converting every screen once with the given options,
# each into its own new file (the extension is the first argument).
median_conversion_us() {
  local extension=$1 screen status start end
  shift
  : >"$work/run.times"
  for ((i = 0; i < count; i++)); do
    screen=$(printf '%s/screen_%02d.scr' "$work" "$i")
    start=$EPOCHREALTIME
    status=0
    "$zxraster" -i "$screen" -o "$screen.$extension" "$@" >/dev/null || status=$?
    end=$EPOCHREALTIME
    if [ "$status" -ne 0 ]; then
      echo "bench_zxraster.sh: zxraster $* failed on $screen with exit status $status" >&2
      exit 1
    fi
    elapsed_us "$start" "$end" >>"$work/run.times"
  done
  median_us <"$work/run.times"
}

png1=$(median_conversion_us s1.png -f png)
bmp4=$(median_conversion_us s4.bmp -s 4)
png4=$(median_conversion_us s4.png -f png -s 4)
echo "PNG scale 1 median:   ${png1} us per conversion (truecolour)"
echo "BMP scale 4 median:   ${bmp4} us per conversion (24-bit)"
echo "PNG scale 4 median:   ${png4} us per conversion (truecolour)"
awk -v p="$png1" -v t="$tr" 'BEGIN { printf "ratio PNG s1/true:    %.2f (goal: at most 1.50)\n", p / t }'
awk -v p="$png4" -v b="$bmp4" 'BEGIN { printf "ratio PNG s4/BMP s4:  %.2f (goal: at most 2.00)\n", p / b }'
