#!/usr/bin/env python3
"""Writes a test card for each screen format zxraster reads with -m besides scr.

samples/zx/card_mono.scr            6144 bytes, the bitmap alone
samples/zx/card_timex_hicolour.scr  12288 bytes, an attribute for each 8 x 1 pixels
samples/zx/card_timex_hires.scr     12289 bytes, 512 x 192 in two bitmaps and a colour byte
samples/zx/card_ulaplus.scr         6976 bytes, the screen and a 64-entry palette

With --zxraster PROGRAM it also converts each card with that program into
the PNG beside it (-f png -s 2 -c 1 -m auto), the pictures samples/zx/README.md
shows. Usage: make_format_cards.py [--zxraster PROGRAM] [OUTPUT_DIR]
"""
# SPDX-License-Identifier: MIT
import os
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_testcard import GLYPHS, Screen, attribute  # noqa: E402

BLACK, BLUE, RED, MAGENTA, GREEN, CYAN, YELLOW, WHITE = range(8)


def offset(x, y):
    """The display-file byte of pixel x (0..255) of line y."""
    return (y & 0xC0) << 5 | (y & 0x07) << 8 | (y & 0x38) << 2 | x >> 3


def glyph_pixels(text, x0, y0):
    """The ink pixels of a text in 8 x 8 cells from pixel (x0, y0)."""
    for i, ch in enumerate(text):
        for gy, bits in enumerate(GLYPHS[ch]):
            for gx, bit in enumerate(bits):
                if bit == "#":
                    yield x0 + i * 8 + 1 + gx, y0 + 1 + gy


def mono_card():
    s = Screen()
    for x, y in glyph_pixels("MONO 6144 BYTES", 68, 16):
        s.set_pixel(x, y)
    # Grey levels by density: 0 to 8 of every 8 pixels set, in bands.
    for band in range(9):
        for y in range(40 + band * 12, 50 + band * 12):
            for x in range(256):
                if (x * band) // 8 != ((x + 1) * band) // 8:
                    s.set_pixel(x, y)
    return bytes(s.bitmap)


def hicolour_card():
    s = Screen()
    attrs = bytearray(6144)
    title = "TIMEX HI COLOUR"
    for x, y in glyph_pixels(title, 68, 0):
        s.set_pixel(x, y)
    for y in range(192):
        for column in range(32):
            if y < 8:
                a = attribute(WHITE, BLUE, bright=True)
            else:
                # Each line of a cell its own paper: rainbow bars 8 lines high,
                # a checker of ink over them that changes colour every line.
                paper = (y + column // 4) % 8
                ink = (paper + 4) % 8
                a = attribute(ink, paper, bright=column % 8 >= 4)
                if y >= 96:
                    for x in range(column * 8, column * 8 + 8):
                        if (x + y) % 2 == 0:
                            s.set_pixel(x, y)
            attrs[offset(column * 8, y)] = a
    return bytes(s.bitmap) + bytes(attrs)


def hires_card(ink=BLUE):
    left, right = bytearray(6144), bytearray(6144)

    def set_pixel(x, y):
        column = x // 8
        target = left if column % 2 == 0 else right
        target[offset((column // 2) * 8 + x % 8, y)] |= 0x80 >> (x % 8)

    for x, y in glyph_pixels("TIMEX HI RES 512X192", 176, 8):
        set_pixel(x, y)
    for y in range(32, 192):
        band = (y - 32) // 40
        for x in range(512):
            # Lines one pixel wide, then two, then a checker, then a circle.
            if band == 0 and x % 2 == 0:
                set_pixel(x, y)
            elif band == 1 and x % 4 < 2:
                set_pixel(x, y)
            elif band == 2 and (x + y) % 2 == 0:
                set_pixel(x, y)
            elif band == 3 and abs((x - 256) ** 2 + (4 * (y - 172)) ** 2 - 18 ** 2 * 16) < 900:
                set_pixel(x, y)
    # The colour byte: hi-res mode (6) and the ink in bits 3 to 5.
    return bytes(left) + bytes(right) + bytes([ink << 3 | 6])


def ulaplus_card():
    s = Screen()
    for x, y in glyph_pixels("ULAPLUS 64 COLOURS", 56, 0):
        s.set_pixel(x, y)
    for column in range(32):
        s.cell(column, 0, attribute(7, 0))  # group 0: ink entry 7, paper entry 8
    # Rows of cells, each attribute value once from row 1: a checker of ink
    # over paper, so both entries of every cell show.
    for cell in range(32, 768):
        column, row = cell % 32, cell // 32
        s.cell(column, row, (cell - 32) & 0xFF)
        if row >= 13:
            for y in range(8):
                for x in range(8):
                    if (x + y) % 2 == 0:
                        s.set_pixel(column * 8 + x, row * 8 + y)
    # Every green and red level with one of blue's four, by group; entry 8
    # (the title's paper) stays black.
    palette = bytes(((e << 2) | (e >> 4)) & 0xFF if e != 8 else 0 for e in range(64))
    return s.data() + palette


CARDS = [
    ("card_mono.scr", mono_card),
    ("card_timex_hicolour.scr", hicolour_card),
    ("card_timex_hires.scr", hires_card),
    ("card_ulaplus.scr", ulaplus_card),
]


def main():
    args = sys.argv[1:]
    program = None
    if args[:1] == ["--zxraster"]:
        program, args = args[1], args[2:]
    here = os.path.dirname(os.path.abspath(__file__))
    out = args[0] if args else os.path.join(here, "..", "samples", "zx")
    for name, make in CARDS:
        path = os.path.join(out, name)
        with open(path, "wb") as f:
            f.write(make())
        if program:
            png = path[: -len(".scr")] + ".png"
            subprocess.run([program, "-i", path, "-o", png, "-f", "png", "-s", "2", "-c", "1",
                            "-m", "auto"],
                           check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
