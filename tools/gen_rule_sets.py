#!/usr/bin/env python3
"""Writes the ready rule sets of namescourer into rules/:

  windows-safe.txt  names that Windows can create
  web-safe.txt      names for URLs and unquoted shell words
  ascii.txt         every Windows-1252 character above 0x7F as ASCII

and into rules/windows/ the two sets that the Windows packages carry instead:
the same without the pairs for "\\" and ":", which on Windows would hit the
separators and the drive of every directory path the renamer rewrites.

A rule file has no comments, so the reasons for each pair are kept here and
in rules/README.md. The files are Windows-1252 text with CR LF line ends,
search line then replacement line. The ASCII look-alikes come from Unicode data
(compatibility decomposition stripped of combining marks, then the list of
signs EXTRA), with the short list ASCII_OWN for the characters that decompose
to nothing ASCII. Before writing, the script checks
that no replacement holds a search string of its set (so a pair's output is
final whatever the order) and that no set produces a character that it, or
for ascii.txt and windows-safe.txt Windows, forbids. Run it after changing a
table; the output is committed.
"""
# SPDX-License-Identifier: MIT
import os
import sys
import unicodedata

# ASCII look-alikes of letters and signs that have no decomposition.
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

# What Windows refuses in a name. "/" is no pair of any set: it separates
# the parts of a path on both systems and cannot occur in a name, and the
# renamer rewrites a directory as its whole path, which a "/" pair would
# break.
WINDOWS_FORBIDDEN = '\\/:*?"<>|'
# Control characters, which Windows refuses too. LF, CR and Ctrl-Z cannot be
# written into a rule file (they end a line, vanish, end the file).
CONTROLS = [chr(c) for c in range(1, 0x20) if chr(c) not in '\n\r\x1a']

# windows-safe.txt: look-alikes from Windows-1252 where one exists, "_"
# otherwise. The pairs for "\" and ":" come last: on Windows these are the
# separator and the drive mark of every directory path, so a copy for use
# there drops them (rules/README.md says so).
PATH_PAIRS = [('\\', '_'), (':', '_')]
WINDOWS_SAFE = [
    ('"', "''"),  # two apostrophes look like a double quote
    ('<', '\u2039'),  # single left-pointing angle quotation mark
    ('>', '\u203a'),  # single right-pointing angle quotation mark
    ('|', '\u00a6'),  # broken bar
    ('*', '_'),
    ('?', '_'),  # also the mark the ANSI check leaves for a character it cannot hold
] + [(c, '_') for c in CONTROLS] + PATH_PAIRS

# web-safe.txt: only letters, digits and "-", "_", "." are left. Longer
# search strings first, so that " & " gives one "_and_" and not "__and__".
WEB_SAFE = [
    (' & ', '_and_'),
    ('&', '_and_'),
    (' - ', '-'),
    (', ', '_'),
    ('@', '_at_'),
] + [(c, '_') for c in ' \u00a0!"#$%\'()*+,;<=>?[]^`{|}~\x7f'] + [
    (c, '_') for c in CONTROLS
] + PATH_PAIRS
WEB_KEPT = set('abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.')

# ascii.txt: characters whose decomposition gives nothing ASCII (or a
# character Windows forbids), with the look-alike chosen for them. Quotation
# marks become apostrophes: a single one "'", a double one "''".
ASCII_OWN = {
    '\u20ac': 'EUR', '\u201a': "'", '\u0192': 'f', '\u201e': "''", '\u2020': '+', '\u2021': '+',
    '\u2030': '%o', '\u2039': "'", '\u0152': 'OE', '\u2018': "'", '\u2019': "'", '\u201c': "''",
    '\u201d': "''", '\u2022': '-', '\u2013': '-', '\u2014': '-', '\u203a': "'", '\u0153': 'oe',
    '\u00a0': ' ', '\u00a1': '!', '\u00a2': 'c', '\u00a3': 'GBP', '\u00a4': 'o', '\u00a5': 'JPY',
    '\u00a6': '_', '\u00a7': 'S', '\u00a8': "''", '\u00a9': '(c)', '\u00ab': "''", '\u00ac': '-',
    '\u00ad': '-', '\u00ae': '(R)', '\u00af': '-', '\u00b0': 'o', '\u00b1': '+-', '\u00b4': "'",
    '\u00b5': 'u', '\u00b6': 'P', '\u00b7': '.', '\u00b8': ',', '\u00bb': "''", '\u00bc': '1_4',
    '\u00bd': '1_2', '\u00be': '3_4', '\u00bf': '_', '\u00c6': 'AE', '\u00d0': 'D', '\u00d7': 'x',
    '\u00d8': 'O', '\u00de': 'TH', '\u00df': 'ss', '\u00e6': 'ae', '\u00f0': 'd', '\u00f7': '-',
    '\u00f8': 'o', '\u00fe': 'th',
}


def high_half():
    """The 128 characters of Windows-1252 bytes 0x80 to 0xFF; an undefined
    byte reads as the C1 control of its value, as Windows does."""
    chars = []
    for b in range(0x80, 0x100):
        try:
            chars.append(bytes([b]).decode('cp1252'))
        except UnicodeDecodeError:
            chars.append(chr(b))
    return chars


def ascii_look_alike(ch):
    if ch in ASCII_OWN:
        return ASCII_OWN[ch]
    if unicodedata.category(ch) == 'Cc':
        return '_'
    if ord(ch) in EXTRA:
        return EXTRA[ord(ch)]
    d = unicodedata.normalize('NFKD', ch)
    d = ''.join(c for c in d if not unicodedata.category(c).startswith('M'))
    d = ''.join(EXTRA.get(ord(c), c) for c in d)
    if d.strip() and all(0x20 <= ord(c) < 0x7F for c in d):
        return d
    sys.exit('gen_rule_sets.py: no ASCII look-alike for U+%04X; add one to ASCII_OWN' % ord(ch))


def ascii_set():
    return [(ch, ascii_look_alike(ch)) for ch in high_half()]


def check(name, pairs, allowed):
    searches = [s for s, _ in pairs]
    if len(set(searches)) != len(searches):
        sys.exit('gen_rule_sets.py: %s searches a string twice' % name)
    for search, replacement in pairs:
        if not search or not replacement or any(c in '\n\r\x1a' for c in search + replacement):
            sys.exit('gen_rule_sets.py: %s: pair %r cannot be written' % (name, search))
        for other in searches:
            if other in replacement:
                sys.exit('gen_rule_sets.py: %s: the replacement of %r holds %r' % (name, search, other))
        bad = [c for c in replacement if not allowed(c)]
        if bad:
            sys.exit('gen_rule_sets.py: %s: %r produces %r' % (name, search, bad))


def encode(text):
    """Windows-1252 bytes, the C1 controls of the undefined bytes included."""
    high = high_half()
    return bytes(0x80 + high.index(c) if c in high else ord(c.encode('cp1252')) for c in text)


def write(path, pairs):
    lines = []
    for search, replacement in pairs:
        lines += [search, replacement]
    with open(path, 'wb') as f:
        f.write(encode(''.join(line + '\r\n' for line in lines)))
    print('%s: %d pairs' % (os.path.relpath(path), len(pairs)))


def main():
    windows_ok = lambda c: c not in WINDOWS_FORBIDDEN and ord(c) >= 0x20  # noqa: E731
    sets = {
        'windows-safe.txt': (WINDOWS_SAFE, windows_ok),
        'web-safe.txt': (WEB_SAFE, lambda c: c in WEB_KEPT),
        'ascii.txt': (ascii_set(), lambda c: windows_ok(c) and ord(c) < 0x7F),
    }
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    for name, (pairs, allowed) in sets.items():
        check(name, pairs, allowed)
        write(os.path.join(root, 'rules', name), pairs)
        if pairs[-len(PATH_PAIRS):] == PATH_PAIRS:
            os.makedirs(os.path.join(root, 'rules', 'windows'), exist_ok=True)
            write(os.path.join(root, 'rules', 'windows', name), pairs[:-len(PATH_PAIRS)])


if __name__ == '__main__':
    main()
