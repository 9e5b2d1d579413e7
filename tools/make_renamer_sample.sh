#!/usr/bin/env bash
# Creates the small messy tree of the namescourer demo in a new directory.
# The names (ampersands, "|", blanks, accents, letters outside Windows-1252,
# a CJK name, collisions) cannot all be kept in git portably, so this script
# describes the tree; samples/renamer/rules.txt is the rule file to use.
#
#   tools/make_renamer_sample.sh DIR      (DIR must not exist)
# SPDX-License-Identifier: MIT
set -euo pipefail
root=${1:?usage: $0 DIR}
if [ -e "$root" ]; then
  echo "$root exists already; give a new directory" >&2
  exit 2
fi

# Each file holds its own original path, so that nothing lost can be seen.
file() {
  mkdir -p "$(dirname "$root/$1")"
  printf '%s\n' "$1" >"$root/$1"
}

file "Reports & Plans/Q1 & Q2.txt"
file "Reports & Plans/budget|draft.txt"
file "Reports & Plans/2024 | archive/old & new.txt"
file "Reports & Plans/Résumé café.txt"
file "Photos & Video/Łódź trip.jpg"
file "Photos & Video/文档 notes.txt"
file "Photos_[+]_Video/already_clean.jpg"
file "R&D.txt"
file "R[+]D.txt"
file "Tom & Jerry.txt"
file ".hidden & cached.txt"
file "plain.txt"
echo "sample tree created in $root"
