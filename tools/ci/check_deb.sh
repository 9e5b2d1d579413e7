#!/usr/bin/env bash
# Checks a .deb of namescourer and zxraster without installing it: its
# control fields (dpkg-deb --info), that it holds every file it must
# (--contents), then unpacks it into a scratch folder (dpkg -x) and runs both
# programs from there: the usage texts, one conversion of the test card and
# one renamer run with a shipped rule set. Runs lintian when it is installed
# and fails on its errors (warnings are shown). tools/ci/package.sh calls it.
#
#   tools/ci/check_deb.sh build/packages/namescourer-zxraster_1.0_amd64.deb
# SPDX-License-Identifier: MIT
set -euo pipefail
deb=$(realpath "${1:?usage: tools/ci/check_deb.sh PACKAGE.deb}")
cd "$(dirname "$0")/../.."
root=$PWD
fail() {
  echo "check_deb.sh: $*" >&2
  exit 1
}

echo "=== dpkg-deb --info $(basename "$deb")"
info=$(dpkg-deb --info "$deb")
echo "$info"
for field in "Package: namescourer-zxraster" "Section: utils" "Maintainer: " "Description: "; do
  grep -q "^ $field" <<<"$info" || fail "no control field \"$field\""
done

echo "=== dpkg-deb --contents $(basename "$deb")"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
doc=usr/share/doc/namescourer-zxraster
for path in usr/bin/namescourer usr/bin/zxraster \
  usr/share/man/man1/namescourer.1.gz usr/share/man/man1/zxraster.1.gz \
  $doc/copyright $doc/changelog.gz $doc/README.md $doc/palettes/README.md \
  $doc/palettes/palette_192.txt $doc/palettes/palette_205.txt $doc/palettes/palette_215_hex.txt \
  $doc/palettes/palette_216.txt usr/share/namescourer/rules/README.md \
  usr/share/namescourer/rules/windows-safe.txt usr/share/namescourer/rules/web-safe.txt \
  usr/share/namescourer/rules/ascii.txt; do
  grep -qE " \./$path\$" <<<"$contents" || fail "the package lacks /$path"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
bin=$scratch/root/usr/bin
grep -q "^License: Expat" "$scratch/root/$doc/copyright" || fail "copyright names no licence"
gzip -t "$scratch"/root/usr/share/man/man1/*.gz || fail "a manual page is not gzip data"

echo "=== the programs from the unpacked package"
# Usage texts: no arguments, exit status 0.
"$bin/namescourer" >"$scratch/usage1" || fail "namescourer without arguments failed"
grep -q "rule file (ANSI)" "$scratch/usage1" || fail "namescourer printed no usage text"
"$bin/zxraster" >"$scratch/usage2" || fail "zxraster without arguments failed"
grep -q "^  In File:" "$scratch/usage2" || fail "zxraster printed no usage run"

# The test card as a 24-bit BMP: its header gives 256 x 192 pixels, 24 bits each.
"$bin/zxraster" -i "$root/samples/zx/testcard.scr" -o "$scratch/card.bmp" >"$scratch/zx.out" ||
  fail "zxraster could not convert the test card: $(cat "$scratch/zx.out")"
shape="$(head -c 2 "$scratch/card.bmp") $(od -An -t u4 -j 18 -N 8 "$scratch/card.bmp" | xargs)"
shape="$shape $(od -An -t u2 -j 28 -N 2 "$scratch/card.bmp" | xargs)"
[ "$shape" = "BM 256 192 24" ] || fail "the test card's BMP is $shape, not BM 256 192 24"

# A renamer run with the shipped windows-safe.txt.
mkdir -p "$scratch/tree/a<b>"
echo kept >"$scratch/tree/a<b>/x:y?.txt"
"$bin/namescourer" -d "$scratch/tree" -r "$scratch/root/usr/share/namescourer/rules/windows-safe.txt" \
  -v 1 >"$scratch/nc.out" || fail "namescourer run failed: $(cat "$scratch/nc.out")"
[ "$(cat "$scratch/tree/a‹b›/x_y_.txt" 2>/dev/null)" = kept ] ||
  fail "windows-safe.txt did not rename the tree as expected: $(find "$scratch/tree")"
echo "usage texts, test card and rule set: fine"

if command -v lintian >/dev/null; then
  echo "=== lintian"
  # Root gets a warning line of its own; it says nothing about the package.
  findings=$(lintian --pedantic "$deb" 2>&1 | grep -v '^running with root privileges' || true)
  [ -z "$findings" ] || echo "$findings"
  if grep -q '^E: ' <<<"$findings"; then
    fail "lintian found errors"
  fi
  echo "lintian: no errors"
elif [ "${CI:-}" = true ]; then
  fail "lintian is not installed (apt-get install lintian)"
else
  echo "SKIPPED: lintian is not installed"
fi
