#!/usr/bin/env bash
# Builds the native programs and runs both on the demo data in samples/.
# Everything it writes goes to samples/out/ (not tracked by git).
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."

tools/native_prerequisites.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc 2>/dev/null || echo 2)" --target namescourer zxraster
bin=build/native/bin
out=samples/out
mkdir -p "$out"

step() { printf '\n=== %s\n' "$*"; }

step "namescourer: the usage text"
"$bin/namescourer"

step "namescourer: the settings summary of a run without rules (nothing is walked)"
"$bin/namescourer" -d "$out" -f '*.txt' -v 1

tree=$out/renamer-demo
list=$out/renamer-demo.list
rm -rf "$tree" "$list"
tools/make_renamer_sample.sh "$tree"

step "namescourer: debug mode at level 2 (decides and reports, renames nothing)"
"$bin/namescourer" -d "$tree" -r samples/renamer/rules.txt -b 1 -v 2

step "namescourer: the same run for real, with a file list"
"$bin/namescourer" -d "$tree" -r samples/renamer/rules.txt -v 2 -n "$list"

step "the tree afterwards"
(cd "$tree" && find . -mindepth 1 | LC_ALL=C sort)
step "the file list ($list)"
cat "$list"
step "every file still holds its original path"
grep -r . "$tree" | LC_ALL=C sort

step "zxraster: the test card as a 24-bit BMP with the built-in palette"
"$bin/zxraster" -i samples/zx/testcard.scr -o "$out/testcard-24bit.bmp" -c 0

step "zxraster: the test card as a 4-bit BMP with the palette of normal level 216"
"$bin/zxraster" -i samples/zx/testcard.scr -o "$out/testcard-4bit.bmp" -c 1 \
  -p samples/zx/palette_216.txt

step "zxraster: the test card as a PNG at three times its size, both flash phases animated"
"$bin/zxraster" -i samples/zx/testcard.scr -o "$out/testcard-flash.png" -f png -s 3 -a 2

step "done"
ls -l "$out"
