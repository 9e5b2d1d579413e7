#!/usr/bin/env python3
"""Generates a fixed tree of empty files for the namescourer benchmark.

The same seed always gives the same tree: DIRS directories, up to DEPTH
levels below the root, and FILES empty files spread over them. 10% of the
names hold "&"; 5% hold non-ASCII characters, half of those outside
Windows-1252.
"""
# SPDX-License-Identifier: MIT
import argparse
import os
import random
import sys

IN_CP1252 = "éèàçüöäñßÉÀÅøæ"
OUTSIDE_CP1252 = "łŁźżčšěřőűЖжд文字木水"


def make_name(rng, serial, kind):
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


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("root")
    parser.add_argument("--files", type=int, default=100000)
    parser.add_argument("--dirs", type=int, default=2000)
    parser.add_argument("--depth", type=int, default=6)
    parser.add_argument("--seed", type=int, default=20240601)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    if os.path.exists(args.root):
        sys.exit("refusing to write into an existing path: " + args.root)
    os.makedirs(args.root)
    dirs = [(args.root, 0)]
    for serial in range(args.dirs):
        parent, depth = rng.choice([d for d in dirs[-200:] if d[1] < args.depth] or [dirs[0]])
        path = os.path.join(parent, make_name(rng, serial, "d"))
        os.mkdir(path)
        dirs.append((path, depth + 1))
    extensions = [".txt", ".jpg", ".html", ".pdf", ""]
    for serial in range(args.files):
        parent = rng.choice(dirs)[0]
        name = make_name(rng, serial, "f") + rng.choice(extensions)
        with open(os.path.join(parent, name), "wb"):
            pass
    print("%s: %d files in %d directories" % (args.root, args.files, len(dirs) - 1))


if __name__ == "__main__":
    main()
