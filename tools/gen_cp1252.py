#!/usr/bin/env python3
"""Writes platform/cp1252.cpp: the Windows-1252 table and the best-fit table
the POSIX backend uses for the ANSI check.

A character outside Windows-1252 best-fits to the one Windows-1252 character
left when its compatibility decomposition is stripped of combining marks
(so a Latin letter with diacritics becomes its base letter), or to an entry
of the short list below for letters and signs that have no decomposition.
Run once; the output is committed.
"""
# SPDX-License-Identifier: MIT
import os
import unicodedata

EXTRA = {
    0x0110: 'D', 0x0111: 'd', 0x0126: 'H', 0x0127: 'h', 0x0131: 'i', 0x0141: 'L', 0x0142: 'l',
    0x0166: 'T', 0x0167: 't', 0x0180: 'b', 0x0197: 'I', 0x01B5: 'Z', 0x01B6: 'z', 0x01E4: 'G',
    0x01E5: 'g', 0x0189: 'D', 0x0268: 'i', 0x2010: '-', 0x2011: '-', 0x2012: '-', 0x2043: '-',
    0x2212: '-', 0x2032: "'", 0x2035: '`', 0x2033: '"',
    0x2215: '/', 0x2216: '\\', 0x2217: '*', 0x2223: '|', 0x2236: ':', 0x223C: '~',
    0x02C6: '^', 0x02DC: '~', 0x02B9: "'", 0x02BA: '"', 0x02BC: "'", 0x02C8: "'", 0x02CB: '`',
    0x02CD: '_', 0x0300: '`', 0x0301: "'", 0x0302: '^', 0x0303: '~', 0x0308: '"', 0x030E: '"',
    0x0327: ',', 0x0331: '_', 0x0332: '_',
}


def in_1252(ch):
    try:
        ch.encode('cp1252')
        return True
    except UnicodeEncodeError:
        return False


def best_fit(cp):
    ch = chr(cp)
    if cp in EXTRA:
        return EXTRA[cp]
    d = unicodedata.normalize('NFKD', ch)
    d = ''.join(c for c in d if not unicodedata.category(c).startswith('M'))
    if len(d) == 1 and d != ch and in_1252(d) and ord(d) >= 0x20:
        return d
    return None


def main():
    high = []
    for b in range(0x80, 0x100):
        try:
            high.append(ord(bytes([b]).decode('cp1252')))
        except UnicodeDecodeError:
            high.append(b)  # undefined bytes read as the C1 control of that value, as Windows does
    fits = []
    for cp in range(0x80, 0x10000):
        if 0xD800 <= cp <= 0xDFFF or in_1252(chr(cp)) or cp in high:
            continue
        target = best_fit(cp)
        if target is not None:
            fits.append((cp, target.encode('cp1252')[0]))
    out = ['// The Windows-1252 tables of the POSIX backend; written by tools/gen_cp1252.py,'
           ' do not edit.',
           '// SPDX-License-Identifier: MIT',
           '#include "platform/cp1252.h"', '', 'namespace platform::cp1252 {', '',
           'const char16_t kHighHalf[128] = {']
    for i in range(0, 128, 12):
        out.append('    ' + ' '.join('0x%04X,' % c for c in high[i:i + 12]))
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
    print('%d best-fit entries' % len(fits))


if __name__ == '__main__':
    main()
