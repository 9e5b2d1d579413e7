#!/usr/bin/env python3
"""Generates a fixed tree of empty files for the namescourer benchmark.

The same seed always gives the same tree: DIRS directories, up to DEPTH
levels below the root, and FILES empty files spread over them.

--style real (the default) gives names as people have them: words, dates,
version and copy marks joined by dots, dashes, underscores and spaces
("letter.backup.v1.Novak.xlsx", "IMG_20190714_1032.JPG", "Tax return
2021 (final).pdf"), several dots, up to 50 characters, 10% with "&", 5% with
characters outside ASCII (half of those outside Windows-1252 too).

--style plain gives the earlier tree: "f123_abcdef.txt", a serial number and
a run of letters; 10% of the names hold "&", 5% non-ASCII characters, half
of those outside Windows-1252.
"""
# SPDX-License-Identifier: MIT
import argparse
import os
import random
import sys

IN_CP1252 = "éèàçüöäñßÉÀÅøæ"
OUTSIDE_CP1252 = "łŁźżčšěřőűЖжд文字木水"

WORDS = [
    "letter", "backup", "invoice", "report", "draft", "final", "notes", "budget", "meeting",
    "summer", "holiday", "album", "song", "photo", "scan", "contract", "minutes", "tmp", "copy",
    "old", "new", "export", "data", "table", "slides", "thesis", "chapter", "recipe", "cv",
    "Novak", "Smith", "Garcia", "Rossi", "Berlin", "Paris", "Project", "Client", "Team",
    "Tax return", "Bank statement", "Family", "Wedding", "Kids", "Trip", "Q3", "Website",
]
WORDS_IN_CP1252 = ["€uro", "Müller", "café", "naïve", "Größe", "résumé", "Ärger", "Øresund", "año"]
WORDS_OUTSIDE_CP1252 = ["Łódź", "Dvořák", "Škoda", "Жук", "文档", "Kraków", "Ελλάδα", "İzmir"]
EXTENSIONS = [".xlsx", ".json", ".jpg", ".JPG", ".pdf", ".docx", ".txt", ".mp3", ".png", ".html",
              ".tar.gz", ".csv", ".md", ""]
SEPARATORS = [".", "-", "_", " ", "."]
MAX_LENGTH = 50


def plain_name(rng, serial, kind):
    stem = "%s%d_%s" % (kind, serial, "".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 9))))
    roll = rng.random()
    if roll < 0.10:
        cut = rng.randint(1, len(stem) - 1)
        stem = stem[:cut] + rng.choice(["&", " & ", "&&"]) + stem[cut:]
    elif roll < 0.125:
        stem += rng.choice(IN_CP1252) + rng.choice(IN_CP1252)
    elif roll < 0.15:
        stem += rng.choice(OUTSIDE_CP1252) + rng.choice(IN_CP1252 + OUTSIDE_CP1252)
    return stem


def real_part(rng):
    roll = rng.random()
    if roll < 0.55:
        return rng.choice(WORDS)
    if roll < 0.70:
        return str(rng.randint(1990, 2025))
    if roll < 0.80:
        return "v%d" % rng.randint(1, 12)
    if roll < 0.90:
        return "%04d%02d%02d" % (rng.randint(2000, 2025), rng.randint(1, 12), rng.randint(1, 28))
    return rng.choice(["(1)", "(final)", "copy", "(2)", "01", "02", "IMG", "DSC"])


def real_stem(rng):
    parts = [real_part(rng) for _ in range(rng.choice([1, 2, 2, 3, 3, 4, 5]))]
    stem = parts[0]
    for part in parts[1:]:
        stem += rng.choice(SEPARATORS) + part
    roll = rng.random()
    if roll < 0.10:
        cut = rng.randint(0, len(stem))
        stem = stem[:cut] + rng.choice(["&", " & ", "&"]) + stem[cut:]
    elif roll < 0.125:
        stem = rng.choice(WORDS_IN_CP1252) + rng.choice(SEPARATORS) + stem
    elif roll < 0.15:
        stem = stem + rng.choice(SEPARATORS) + rng.choice(WORDS_OUTSIDE_CP1252)
    return stem


def real_name(rng, taken, kind):
    stem = real_stem(rng)
    extension = rng.choice(EXTENSIONS) if kind == "f" else ""
    stem = stem[:MAX_LENGTH - len(extension)].rstrip(" .")
    name = stem + extension
    # A name taken in its folder gets a counter, as a copy would.
    serial = 1
    while name.lower() in taken or not stem:
        serial += 1
        mark = " (%d)" % serial
        name = stem[:MAX_LENGTH - len(extension) - len(mark)] + mark + extension
    taken.add(name.lower())
    return name


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--files", type=int, default=100000)
    parser.add_argument("--dirs", type=int, default=2000)
    parser.add_argument("--depth", type=int, default=6)
    parser.add_argument("--seed", type=int, default=20240601)
    parser.add_argument("--style", choices=["real", "plain"], default="real")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    if os.path.exists(args.root):
        sys.exit("refusing to write into an existing path: " + args.root)
    os.makedirs(args.root)
    dirs = [(args.root, 0)]
    taken = {args.root: set()}

    def name_in(parent, serial, kind):
        if args.style == "plain":
            return plain_name(rng, serial, kind)
        return real_name(rng, taken.setdefault(parent, set()), kind)

    for serial in range(args.dirs):
        parent, depth = rng.choice([d for d in dirs[-200:] if d[1] < args.depth] or [dirs[0]])
        path = os.path.join(parent, name_in(parent, serial, "d"))
        os.mkdir(path)
        dirs.append((path, depth + 1))
    extensions = [".txt", ".jpg", ".html", ".pdf", ""]
    for serial in range(args.files):
        parent = rng.choice(dirs)[0]
        if args.style == "plain":
            name = plain_name(rng, serial, "f") + rng.choice(extensions)
        else:
            name = name_in(parent, serial, "f")
        with open(os.path.join(parent, name), "wb"):
            pass
    print("%s: %d files in %d directories" % (args.root, args.files, len(dirs) - 1))


if __name__ == "__main__":
    main()
