#!/usr/bin/env python3
"""Writes platform/cp1252.cpp, the Windows-1252 tables of the ANSI check on
POSIX, from Microsoft's best-fit table for code page 1252, so that the POSIX
build best-fits every character as Windows does.

The table is Microsoft's "bestfit1252.txt", published with the Unicode
Consortium's mapping data at
https://www.unicode.org/Public/MAPPINGS/VENDORS/MICSFT/WindowsBestFit/bestfit1252.txt
It is not kept in this repository; download it and name it on the command
line:

    tools/gen_cp1252.py path/to/bestfit1252.txt

Its MBTABLE section maps each byte to a UTF-16 code unit and its WCTABLE
section a code unit to a byte, one pair of hexadecimal numbers a line; a ";"
starts a comment. A code unit that WCTABLE does not list becomes the default
character "?". Run once; the output is committed.
"""
# SPDX-License-Identifier: MIT
import os
import sys

KEYWORDS = ('CODEPAGE', 'CPINFO', 'MBTABLE', 'WCTABLE', 'DBCSRANGE', 'DBCSTABLE', 'ENDCODEPAGE')


def read_tables(path):
    mb, wc, section = {}, {}, None
    with open(path, 'rb') as f:
        # A Ctrl-Z ends the file, as in any old DOS text file.
        text = f.read().split(b'\x1a', 1)[0].decode('cp1252', errors='replace')
    for line in text.splitlines():
        words = line.split(';', 1)[0].split()
        if not words:
            continue
        if words[0].upper() in KEYWORDS:
            section = words[0].upper()
            continue
        if section not in ('MBTABLE', 'WCTABLE') or len(words) != 2:
            sys.exit('gen_cp1252.py: unexpected line: %r' % line)
        key, value = int(words[0], 16), int(words[1], 16)
        (mb if section == 'MBTABLE' else wc)[key] = value
    return mb, wc


def check(mb, wc):
    """The backend relies on these: ASCII maps to itself both ways, every
    byte has a character, and that character converts back to its byte."""
    problems = []
    if sorted(mb) != list(range(256)):
        problems.append('MBTABLE does not list all 256 bytes')
    if any(mb.get(b) != b or wc.get(b) != b for b in range(0x80)):
        problems.append('ASCII does not map to itself')
    if any(wc.get(mb.get(b)) != b for b in range(256)):
        problems.append('a byte does not convert back to itself')
    if any(not 0 <= c <= 0xFFFF or not 0 <= b <= 0xFF for c, b in wc.items()):
        problems.append('a WCTABLE entry out of range')
    if problems:
        sys.exit('gen_cp1252.py: ' + '; '.join(problems))


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: gen_cp1252.py path/to/bestfit1252.txt')
    mb, wc = read_tables(sys.argv[1])
    check(mb, wc)
    fits = sorted((c, b) for c, b in wc.items() if c >= 0x80)
    out = ['// The Windows-1252 tables of the POSIX backend, from Microsoft\'s best-fit',
           '// table for code page 1252; written by tools/gen_cp1252.py, do not edit.',
           '// SPDX-License-Identifier: MIT',
           '#include "platform/cp1252.h"', '', 'namespace platform::cp1252 {', '',
           'const char16_t kHighHalf[128] = {']
    for i in range(0x80, 0x100, 12):
        out.append('    ' + ' '.join('0x%04X,' % mb[b] for b in range(i, min(i + 12, 0x100))))
    out.append('};')
    out.append('')
    out.append('const BestFit kBestFit[] = {')
    for i in range(0, len(fits), 6):
        out.append('    ' + ' '.join('{0x%04X, 0x%02X},' % f for f in fits[i:i + 6]))
    out.append('};')
    out.append('')
    out.append('const std::size_t kBestFitCount = sizeof kBestFit / sizeof kBestFit[0];')
    out.append('')
    out.append('}  // namespace platform::cp1252')
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, 'platform', 'cp1252.cpp'), 'w') as f:
        f.write('\n'.join(out) + '\n')
    print('%d entries from U+0080 up' % len(fits))


if __name__ == '__main__':
    main()
