#!/usr/bin/env python3
"""Writes renamer/nfc_table.cpp: the Unicode data that namescourer -w uses to
put names in composed form (NFC) and to cut long names between characters.

From Python's unicodedata (the Unicode version is written into the output):
  - the full canonical decomposition of every code point that has one
    (Hangul syllables excepted: they are decomposed by arithmetic);
  - the canonical combining class of every code point whose class is not 0;
  - the primary composites: pairs of code points that compose canonically;
  - the ranges of code points that extend the character before them
    (combining marks and Hangul vowel and final jamo), where a cut must not fall.
The same table serves every build, so all builds compose alike. Run once; the
output (formatted by clang-format) is committed.
"""
# SPDX-License-Identifier: MIT
import os
import shutil
import subprocess
import sys
import unicodedata

HANGUL = range(0xAC00, 0xAC00 + 11172)


def full_decomposition(cp):
    return [ord(c) for c in unicodedata.normalize('NFD', chr(cp))]


def main():
    decomp, ccc, comp, extend = [], [], [], []
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        ch = chr(cp)
        if unicodedata.combining(ch):
            ccc.append((cp, unicodedata.combining(ch)))
        if unicodedata.category(ch).startswith('M') or 0x1160 <= cp <= 0x11FF or \
                0xD7B0 <= cp <= 0xD7FF:
            extend.append(cp)
        if cp in HANGUL:
            continue
        d = full_decomposition(cp)
        if d != [cp]:
            decomp.append((cp, d))
        raw = unicodedata.decomposition(ch)
        if raw and not raw.startswith('<'):
            parts = [int(x, 16) for x in raw.split()]
            if len(parts) == 2 and unicodedata.normalize('NFC', ch) == ch:
                comp.append((parts[0], parts[1], cp))
    # The fast path of the composer: below U+0300 every character is its own
    # composed form and a starter.
    for cp in range(0x300):
        if unicodedata.normalize('NFC', chr(cp)) != chr(cp) or unicodedata.combining(chr(cp)):
            sys.exit('gen_nfc_table.py: U+%04X below U+0300 is not stable' % cp)
    ranges = []
    for cp in extend:
        if ranges and ranges[-1][1] == cp - 1:
            ranges[-1][1] = cp
        else:
            ranges.append([cp, cp])
    comp.sort()

    out = ['// Unicode data for composing names (NFC) and cutting them between characters;',
           '// written by tools/gen_nfc_table.py from Unicode %s, do not edit.'
           % unicodedata.unidata_version,
           '// SPDX-License-Identifier: MIT',
           '#include "renamer/nfc_table.h"', '', 'namespace renamer::nfc {', '']
    units = []
    entries = []
    for cp, d in decomp:
        entries.append('{0x%X, %d, %d},' % (cp, len(units), len(d)))
        units.extend(d)
    out.append('const char32_t kDecompositionData[] = {')
    for i in range(0, len(units), 8):
        out.append('    ' + ' '.join('0x%X,' % u for u in units[i:i + 8]))
    out.append('};')
    out.append('')
    out.append('const Decomposition kDecompositions[] = {')
    for i in range(0, len(entries), 4):
        out.append('    ' + ' '.join(entries[i:i + 4]))
    out.append('};')
    out.append('const std::size_t kDecompositionCount = sizeof kDecompositions / sizeof'
               ' kDecompositions[0];')
    out.append('')
    out.append('const CombiningClass kCombiningClasses[] = {')
    for i in range(0, len(ccc), 6):
        out.append('    ' + ' '.join('{0x%X, %d},' % e for e in ccc[i:i + 6]))
    out.append('};')
    out.append('const std::size_t kCombiningClassCount = sizeof kCombiningClasses / sizeof'
               ' kCombiningClasses[0];')
    out.append('')
    out.append('const Composition kCompositions[] = {')
    for i in range(0, len(comp), 4):
        out.append('    ' + ' '.join('{0x%X, 0x%X, 0x%X},' % e for e in comp[i:i + 4]))
    out.append('};')
    out.append('const std::size_t kCompositionCount = sizeof kCompositions / sizeof'
               ' kCompositions[0];')
    out.append('')
    out.append('const Range kExtending[] = {')
    for i in range(0, len(ranges), 6):
        out.append('    ' + ' '.join('{0x%X, 0x%X},' % tuple(r) for r in ranges[i:i + 6]))
    out.append('};')
    out.append('const std::size_t kExtendingCount = sizeof kExtending / sizeof kExtending[0];')
    out.append('')
    out.append('}  // namespace renamer::nfc')
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = os.path.join(root, 'renamer', 'nfc_table.cpp')
    with open(target, 'w') as f:
        f.write('\n'.join(out) + '\n')
    # The repository's layout of the tables (.clang-format), as for any source.
    if shutil.which('clang-format'):
        subprocess.run(['clang-format', '-i', target], check=True)
    else:
        print('clang-format not found: run it on %s before committing' % target)
    print('%d decompositions, %d combining classes, %d compositions, %d extending ranges'
          % (len(decomp), len(ccc), len(comp), len(ranges)))


if __name__ == '__main__':
    main()
