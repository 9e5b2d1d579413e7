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
#
# Last, PNG against BMP on one busy screen, whole process wall time: ROUNDS
# rounds (default 7) of 50 runs of each, a BMP run and a PNG run of the same
# options one after the other; each round gives the ratio of the medians,
# and the figure is the median of the rounds' ratios, at scale 1 and at
# scale 4. The screen is laser_screen.scr from the folder ZX_SAMPLES
# (default ../shared/zx-samples beside the repository) when it is there,
# else the first generated screen (random bits, every attribute: busier than
# any real picture). Beside them, the deflate settings weighed for the PNG
# rows (png_candidates): bytes and CPU time of each on that screen.
# The screens and BMPs go to a folder under $TMPDIR (default /tmp).
#
# Usage: tools/bench_zxraster.sh [BUILD_DIR] [COUNT] [FORMAT]
#   BUILD_DIR  a native build with zxraster, make_screens and png_candidates
#              (build/native)
#   COUNT      number of screens and of runs (1000)
#   FORMAT     the -c value: 0 for 24-bit, 1 for 4-bit (0)
# SPDX-License-Identifier: MIT
set -euo pipefail
build=${1:-build/native}
count=${2:-1000}
format=${3:-0}
zxraster=$build/bin/zxraster
make_screens=$build/bin/make_screens
png_candidates=$build/bin/png_candidates
rounds=${ROUNDS:-7}
samples=${ZX_SAMPLES:-$(dirname "$0")/../../shared/zx-samples}
for tool in "$zxraster" "$make_screens" "$png_candidates"; do
  if [ ! -x "$tool" ]; then
    echo "missing $tool: build the targets zxraster, make_screens and png_candidates first" >&2
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

# PNG against BMP of the same options on one busy screen, paired and
# alternating, so that a busy machine slows both alike.
busy=$work/screen_00.scr
busy_name="generated screen_00.scr"
if [ -f "$samples/laser_screen.scr" ]; then
  busy=$samples/laser_screen.scr
  busy_name="laser_screen.scr of $samples"
fi
echo "PNG against BMP:      $busy_name, $rounds rounds of 50 runs each"

# One timed run of zxraster into a new file, removed untimed afterwards;
# prints the microseconds.
timed_run() {
  local out=$1 status=0 start end
  shift
  start=$EPOCHREALTIME
  "$zxraster" -i "$busy" -o "$out" "$@" >/dev/null || status=$?
  end=$EPOCHREALTIME
  if [ "$status" -ne 0 ]; then
    echo "bench_zxraster.sh: zxraster $* failed on $busy with exit status $status" >&2
    exit 1
  fi
  rm -f "$out"
  elapsed_us "$start" "$end"
}

# The median over the rounds of (median PNG time / median BMP time), the
# options after the first argument (the label) given to both.
png_over_bmp() {
  local label=$1 round i bmp png
  shift
  : >"$work/ratios"
  for ((round = 0; round < rounds; round++)); do
    : >"$work/bmp.times"
    : >"$work/png.times"
    for ((i = 0; i < 50; i++)); do
      # Which goes first alternates, so neither always follows the other.
      if (( (round + i) % 2 == 0 )); then
        timed_run "$work/pair.bmp" "$@" >>"$work/bmp.times"
        timed_run "$work/pair.png" -f png "$@" >>"$work/png.times"
      else
        timed_run "$work/pair.png" -f png "$@" >>"$work/png.times"
        timed_run "$work/pair.bmp" "$@" >>"$work/bmp.times"
      fi
    done
    bmp=$(median_us <"$work/bmp.times")
    png=$(median_us <"$work/png.times")
    echo "  $label round $((round + 1)): BMP ${bmp} us, PNG ${png} us" >&2
    awk -v p="$png" -v b="$bmp" 'BEGIN { printf "%.4f\n", p / b }' >>"$work/ratios"
  done
  sort -n "$work/ratios" | awk '{ r[NR] = $1 } END { m = (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2; printf "%.2f", m }'
}

ratio1=$(png_over_bmp "scale 1" -c "$format")
ratio4=$(png_over_bmp "scale 4" -c "$format" -s 4)
echo "ratio PNG/BMP s1:     $ratio1 (median of $rounds rounds; goal: at most 1.20)"
echo "ratio PNG/BMP s4:     $ratio4 (median of $rounds rounds; goal: at most 1.40)"

for scale in 1 4; do
  echo "deflate settings for the truecolour rows at scale $scale (* the program's; CPU time, median):"
  "$png_candidates" "$busy" "$scale" 21
done
