#!/usr/bin/env bash
# Benchmark of namescourer on fixed generated trees of empty files: the main
# tree has names as people have them (100,000 files in 2,000 directories,
# depth up to 6; tools/gen_renamer_tree.py --style real), a second row uses
# the earlier tree of plain names ("f123_abcdef.txt", --style plain).
#
#   tools/bench_namescourer.sh [path/to/namescourer] [work dir]
#
# Prints:
#   - debug mode (two rules, mask *.*, level 0) against `find TREE -print`,
#     in PAIRS pairs (default 11) whose order alternates, each pair giving
#     one ratio; the figure is the median ratio. Goal on the real tree: at
#     most 2.0 x find's time (both with output to /dev/null). The plain
#     tree follows as a second row;
#   - with BASELINE=path/to/another/namescourer: the same debug run and the
#     working run (a fresh copy of the tree per run) of both programs,
#     paired and alternating, as the median ratio to the baseline; goal for
#     the working run: at most 1.05 x;
#   - the preview (-p 1), which goes down into every directory, against
#     the debug run, paired in the same way; goal: at most 1.2 x; its peak
#     memory on the tree and the 4 times larger one: no growth;
# and, each as the median of RUNS runs (default 5):
#   - the same debug run with -w 1 (names Windows can hold) against it;
#     goal: at most 1.3 x;
#   - working mode on a fresh copy against `detox -r` on another fresh copy
#     (copies made outside the timing); goal: faster than detox;
#   - working mode with -w 1 on a third fresh copy, paired with the working
#     run; goal: at most 1.3 x;
#   - peak resident memory (GNU time) on the tree and on a tree 4 times
#     larger; goal: at most 4 MiB, and no growth with the tree's size;
#   - the journal: working runs with and without -j on fresh copies, paired
#     and in alternating order; goal: with -j at most 1.3 x without; the
#     undo (-u) of that journal; goal: at most 1.5 x the run with -j; peak
#     memory of both on the tree and the 4 times larger one: no growth.
#
#   - the undo of a journal of 10 MiB of ordinary records (renames of
#     files with long names in one folder): its time and peak memory; goal:
#     time linear in the journal, memory that does not grow with it.
#
# ONLY=journal runs the journal figures alone; ONLY=undo10 the 10 MiB undo;
# ONLY=speed the paired debug and working figures and the peak memory alone;
# ONLY=preview the preview's figures alone.
# SPDX-License-Identifier: MIT
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "${1:-$here/../build/native/bin/namescourer}")
work=${2:-${TMPDIR:-/tmp}/namescourer-bench}
runs=${RUNS:-5}
pairs=${PAIRS:-11}
baseline=${BASELINE:-}
[ -z "$baseline" ] || baseline=$(realpath "$baseline")
[ -x "$program" ] || { echo "no program at $program (build the native preset first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed for the memory figures" >&2; exit 2; }

mkdir -p "$work"
tree=$work/tree-real
tree4=$work/tree4-real
plain=$work/tree-plain
only=${ONLY:-}
if [ "$only" != undo10 ]; then
[ -d "$tree" ] || python3 "$here/gen_renamer_tree.py" "$tree" --files 100000 --dirs 2000 --depth 6
[ -d "$tree4" ] || python3 "$here/gen_renamer_tree.py" "$tree4" --files 400000 --dirs 8000 --depth 6
[ -d "$plain" ] || python3 "$here/gen_renamer_tree.py" "$plain" --style plain --files 100000 --dirs 2000 --depth 6
fi
printf '&\r\n[+]\r\n?\r\n_\r\n' >"$work/rules.txt"

# Seconds taken by a command, output discarded. A command that fails ends
# the benchmark: a crash must not pass for a fast run.
seconds() {
  local start end status=0
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || status=$?
  end=$(date +%s%N)
  if [ "$status" -ne 0 ]; then
    echo "bench_namescourer.sh: '$*' failed with exit status $status" >&2
    exit 1
  fi
  echo "scale=3; ($end - $start) / 1000000000" | bc
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ratio() { echo "scale=3; $1 / $2" | bc; }

peak_kib() {
  local report status=0
  report=$(/usr/bin/time -v "$@" 2>&1 >/dev/null) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "bench_namescourer.sh: '$*' failed with exit status $status" >&2
    exit 1
  fi
  awk -F': ' '/Maximum resident set size/ {print $2}' <<<"$report"
}

scour_debug() { "$program" -d "$1" -r "$work/rules.txt" -f '*.*' -b 1 -v 0; }
scour_preview() { "$program" -d "$1" -r "$work/rules.txt" -f '*.*' -p 1 -v 0; }
base_debug() { "$baseline" -d "$1" -r "$work/rules.txt" -f '*.*' -b 1 -v 0; }
base_work() { "$baseline" -d "$1" -r "$work/rules.txt" -f '*.*' -v 0; }

find_print() { find "$1" -print; }

# The median ratio of PAIRS pairs of runs of two commands on one tree, first
# against second, their order alternating from pair to pair; `prepare`,
# when not empty, runs before each command, outside the timing. Prints
# "ratio first second", the last two the median seconds.
paired() {
  local first=$1 second=$2 target=$3 prepare=${4:-} a b ratios=() as=() bs=()
  for i in $(seq "$pairs"); do
    if [ $((i % 2)) -eq 1 ]; then
      [ -z "$prepare" ] || "$prepare"; a=$(seconds "$first" "$target")
      [ -z "$prepare" ] || "$prepare"; b=$(seconds "$second" "$target")
    else
      [ -z "$prepare" ] || "$prepare"; b=$(seconds "$second" "$target")
      [ -z "$prepare" ] || "$prepare"; a=$(seconds "$first" "$target")
    fi
    ratios+=("$(ratio "$a" "$b")") as+=("$a") bs+=("$b")
  done
  echo "$(median "${ratios[@]}") $(median "${as[@]}") $(median "${bs[@]}")"
}

fresh_copy() {
  rm -rf "$work/copy-a"
  cp -a "$tree" "$work/copy-a"
  sync
}
scour_debug_w() { "$program" -d "$1" -r "$work/rules.txt" -f '*.*' -b 1 -v 0 -w 1; }
scour_work() { "$program" -d "$1" -r "$work/rules.txt" -f '*.*' -v 0 "${@:2}"; }

scour_journal() { "$program" -d "$1" -r "$work/rules.txt" -f '*.*' -v 0 -j "$2"; }
undo() { "$program" -u "$1" -v 0; }

echo "program: $program; $pairs pairs, median of $runs runs"

if [ "$only" != undo10 ]; then
echo "tree: $tree ($(find "$tree" -type f | wc -l) files, $(find "$tree" -mindepth 1 -type d | wc -l) directories)"
fi

if [ -z "$only" ] || [ "$only" = preview ]; then
  find "$tree" -print >/dev/null
  scour_preview "$tree" >/dev/null
  read -r r p d <<<"$(paired scour_preview scour_debug "$tree")"
  echo "preview (-p 1):          ${p} s, debug mode ${d} s: ${r} x debug mode (median of $pairs paired ratios; goal <= 1.2)"
  rss1=$(peak_kib "$program" -d "$tree" -r "$work/rules.txt" -f '*.*' -p 1 -v 0)
  rss4=$(peak_kib "$program" -d "$tree4" -r "$work/rules.txt" -f '*.*' -p 1 -v 0)
  echo "peak RSS, preview:       tree ${rss1} KiB, 4x tree ${rss4} KiB (goal: no growth)"
fi
[ "$only" != preview ] || exit 0

if [ -z "$only" ] || [ "$only" = speed ]; then
# Warm the page cache so that neither side pays for the first read.
for t in "$tree" "$plain"; do
  find "$t" -print >/dev/null
  scour_debug "$t" >/dev/null
done

read -r r d f <<<"$(paired scour_debug find_print "$tree")"
echo "debug mode, real names:  ${d} s, find -print ${f} s: ${r} x find (median of $pairs paired ratios; goal <= 2.0)"
read -r r d f <<<"$(paired scour_debug find_print "$plain")"
echo "debug mode, plain names: ${d} s, find -print ${f} s: ${r} x find"
if [ -n "$baseline" ]; then
  read -r r d f <<<"$(paired scour_debug base_debug "$tree")"
  echo "debug mode against $baseline: ${d} s against ${f} s: ${r} x"
  read -r r d f <<<"$(paired scour_work base_work "$work/copy-a" fresh_copy)"
  echo "working run against $baseline: ${d} s against ${f} s: ${r} x (goal <= 1.05)"
  rm -rf "$work/copy-a"
fi
fi

if [ -z "$only" ]; then
debug_times=() windows_times=()
for _ in $(seq "$runs"); do
  debug_times+=("$(seconds scour_debug "$tree")")
  windows_times+=("$(seconds scour_debug_w "$tree")")
done
debug_s=$(median "${debug_times[@]}")
windows_s=$(median "${windows_times[@]}")
echo "debug mode with -w 1:   ${windows_s} s  = $(ratio "$windows_s" "$debug_s") x without (goal <= 1.3)"

work_times=() work_w_times=() detox_times=()
for _ in $(seq "$runs"); do
  rm -rf "$work/copy-a" "$work/copy-b" "$work/copy-c"
  cp -a "$tree" "$work/copy-a"
  cp -a "$tree" "$work/copy-b"
  cp -a "$tree" "$work/copy-c"
  sync
  work_times+=("$(seconds scour_work "$work/copy-a")")
  work_w_times+=("$(seconds scour_work "$work/copy-c" -w 1)")
  if command -v detox >/dev/null; then detox_times+=("$(seconds detox -r "$work/copy-b")"); fi
done
work_s=$(median "${work_times[@]}")
echo "namescourer working:    ${work_s} s"
work_w_s=$(median "${work_w_times[@]}")
echo "  the same with -w 1:    ${work_w_s} s  = $(ratio "$work_w_s" "$work_s") x without (goal <= 1.3)"
if [ ${#detox_times[@]} -gt 0 ]; then
  detox_s=$(median "${detox_times[@]}")
  echo "detox -r:               ${detox_s} s  (namescourer = $(ratio "$work_s" "$detox_s") x detox, goal < 1)"
else
  echo "detox -r:               not installed"
fi
files_before=$(find "$tree" -type f | wc -l)
files_after=$(find "$work/copy-a" -type f | wc -l)
echo "files before/after working run: $files_before / $files_after"
rm -rf "$work/copy-a" "$work/copy-b" "$work/copy-c"
fi

if [ -z "$only" ] || [ "$only" = speed ]; then
rss1=$(peak_kib "$program" -d "$tree" -r "$work/rules.txt" -f '*.*' -b 1 -v 0)
rss4=$(peak_kib "$program" -d "$tree4" -r "$work/rules.txt" -f '*.*' -b 1 -v 0)
echo "peak RSS, debug mode:   tree ${rss1} KiB, 4x tree ${rss4} KiB (goal <= 4096 KiB, no growth)"
cp -a "$tree4" "$work/copy-a"
rss4w=$(peak_kib "$program" -d "$work/copy-a" -r "$work/rules.txt" -f '*.*' -v 0)
rm -rf "$work/copy-a"
echo "peak RSS, working mode: 4x tree ${rss4w} KiB"
fi
[ "$only" != speed ] || exit 0

if [ -z "$only" ] || [ "$only" = journal ]; then
# The journal. Each pair runs on two fresh copies, one with -j and one
# without, the order changing from pair to pair; then the undo of the
# journal on its copy, which must give back the tree.
plain_times=() journal_times=() undo_times=()
for i in $(seq "$runs"); do
  rm -rf "$work/copy-a" "$work/copy-b" "$work/run.journal"
  cp -a "$tree" "$work/copy-a"
  cp -a "$tree" "$work/copy-b"
  sync
  if [ $((i % 2)) -eq 1 ]; then
    plain_times+=("$(seconds scour_work "$work/copy-a")")
    journal_times+=("$(seconds scour_journal "$work/copy-b" "$work/run.journal")")
  else
    journal_times+=("$(seconds scour_journal "$work/copy-b" "$work/run.journal")")
    plain_times+=("$(seconds scour_work "$work/copy-a")")
  fi
  undo_times+=("$(seconds undo "$work/run.journal")")
done
if ! diff -r "$tree" "$work/copy-b" >/dev/null; then
  echo "bench_namescourer.sh: the undo did not give back the tree" >&2
  exit 1
fi
records=$(($(wc -l <"$work/run.journal") - 1))
plain_s=$(median "${plain_times[@]}")
journal_s=$(median "${journal_times[@]}")
undo_s=$(median "${undo_times[@]}")
echo "working, no journal:    ${plain_s} s  (runs: ${plain_times[*]})"
echo "working, -j journal:    ${journal_s} s  = $(ratio "$journal_s" "$plain_s") x without (goal <= 1.3; runs: ${journal_times[*]})"
echo "undo of that journal:   ${undo_s} s  = $(ratio "$undo_s" "$journal_s") x the run (goal <= 1.5; $records records; runs: ${undo_times[*]})"
rm -rf "$work/copy-a" "$work/copy-b"

peaks=()
for source in "$tree" "$tree4"; do
  rm -rf "$work/copy-j" "$work/run.journal"
  cp -a "$source" "$work/copy-j"
  peaks+=("$(peak_kib "$program" -d "$work/copy-j" -r "$work/rules.txt" -f '*.*' -v 0 -j "$work/run.journal")")
  peaks+=("$(peak_kib "$program" -u "$work/run.journal" -v 0)")
done
rm -rf "$work/copy-j" "$work/run.journal"
echo "peak RSS, -j run:       tree ${peaks[0]} KiB, 4x tree ${peaks[2]} KiB"
echo "peak RSS, undo:         tree ${peaks[1]} KiB, 4x tree ${peaks[3]} KiB (goal: no growth)"
fi

if [ -z "$only" ] || [ "$only" = undo10 ]; then
# A journal of about 10 MiB: one folder of files whose long names each
# take one rename (a record of two absolute paths).
flat=$work/flat
[ -d "$flat" ] || python3 - "$flat" <<'PY'
import os, sys
root = sys.argv[1]
os.makedirs(root)
for i in range(40000):
    open(os.path.join(root, "f&%06d_%s" % (i, "x" * 100)), "w").close()
PY
undo10_times=() undo10_peak=0
for _ in $(seq "$runs"); do
  rm -rf "$work/copy-f" "$work/flat.journal"
  cp -a "$flat" "$work/copy-f"
  scour_journal "$work/copy-f" "$work/flat.journal" >/dev/null
  undo10_times+=("$(seconds undo "$work/flat.journal")")
  scour_journal "$work/copy-f" "$work/flat2.journal" >/dev/null
  undo10_peak=$(peak_kib "$program" -u "$work/flat2.journal" -v 0)
  rm -f "$work/flat2.journal"
done
if ! diff -r "$flat" "$work/copy-f" >/dev/null; then
  echo "bench_namescourer.sh: the undo did not give back the folder" >&2
  exit 1
fi
mib=$(echo "scale=1; $(stat -c %s "$work/flat.journal") / 1048576" | bc)
echo "undo of a ${mib} MiB journal: $(median "${undo10_times[@]}") s, peak RSS ${undo10_peak} KiB (runs: ${undo10_times[*]})"
rm -rf "$work/copy-f" "$work/flat.journal"
fi
