#!/usr/bin/env python3
"""Writes samples/zx/testcard.scr: a ZX Spectrum test card for zxraster.

The card shows every colour at normal and bright level, all 64 ink/paper
pairs, single-pixel patterns that expose addressing mistakes and a title
in 8 x 8 cells. Usage: make_testcard.py [OUTPUT.scr]
"""
# SPDX-License-Identifier: MIT
import os
import sys

# A 5 x 7 font, drawn in the left part of each 8 x 8 cell (one blank line above).
GLYPHS = {
    " ": ["     "] * 7,
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "G": [" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ### "],
    "H": ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "I": [" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "K": ["#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "Y": ["#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "],
    "Z": ["#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"],
    "0": [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    "1": ["  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "2": [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    "3": [" ### ", "#   #", "    #", "  ## ", "    #", "#   #", " ### "],
    "4": ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "6": [" ### ", "#    ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "7": ["#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "],
    "8": [" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "],
    "9": [" ### ", "#   #", "#   #", " ####", "    #", "    #", " ### "],
}

BLACK, BLUE, RED, MAGENTA, GREEN, CYAN, YELLOW, WHITE = range(8)
BRIGHT, FLASH = 0x40, 0x80


def attribute(ink, paper, bright=False, flash=False):
    return ink | paper << 3 | (BRIGHT if bright else 0) | (FLASH if flash else 0)


class Screen:
    def __init__(self):
        self.bitmap = bytearray(6144)
        self.attributes = bytearray([attribute(WHITE, BLACK)] * 768)

    def set_pixel(self, x, y, ink=True):
        offset = (y & 0xC0) << 5 | (y & 0x07) << 8 | (y & 0x38) << 2 | x >> 3
        mask = 0x80 >> (x & 7)
        if ink:
            self.bitmap[offset] |= mask
        else:
            self.bitmap[offset] &= ~mask & 0xFF

    def cell(self, column, row, attr):
        self.attributes[row * 32 + column] = attr

    def text(self, column, row, text, attr):
        for i, ch in enumerate(text):
            self.cell(column + i, row, attr)
            for gy, bits in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(bits):
                    if bit == "#":
                        self.set_pixel((column + i) * 8 + 1 + gx, row * 8 + 1 + gy)

    def pattern(self, column, row, attr, ink_at):
        self.cell(column, row, attr)
        for y in range(8):
            for x in range(8):
                if ink_at(x, y):
                    self.set_pixel(column * 8 + x, row * 8 + y)

    def data(self):
        return bytes(self.bitmap + self.attributes)


def contrast(paper):
    return BLACK if paper >= GREEN or paper == CYAN else WHITE


def make_card():
    s = Screen()
    title = "ZXRASTER TEST CARD"
    for column in range(32):
        s.cell(column, 1, attribute(WHITE, BLUE, bright=True))
    # FLASH is set on the title: a still picture must look the same without it.
    s.text((32 - len(title)) // 2, 1, title, attribute(WHITE, BLUE, bright=True, flash=True))

    s.text(1, 3, "NORMAL", attribute(WHITE, BLACK))
    s.text(1, 9, "BRIGHT", attribute(WHITE, BLACK, bright=True))
    for band, bright in ((4, False), (10, True)):
        for colour in range(8):
            for row in range(band, band + 4):
                for column in range(colour * 4, colour * 4 + 4):
                    s.cell(column, row, attribute(contrast(colour), colour, bright))
            s.text(colour * 4 + 1, band + 1, str(colour + (8 if bright else 0)).rjust(2),
                   attribute(contrast(colour), colour, bright))

    # Patterns of single pixels: a wrong line or bit order shows at once.
    shapes = [
        lambda x, y: x % 2 == 0,                  # vertical lines
        lambda x, y: y % 2 == 0,                  # horizontal lines
        lambda x, y: (x + y) % 2 == 0,            # checkerboard
        lambda x, y: x == y or x == 7 - y,        # cross
        lambda x, y: x in (0, 7) or y in (0, 7),  # frame
        lambda x, y: x == 0 and y == 0,           # top-left pixel only
        lambda x, y: x == 7 and y == 7,           # bottom-right pixel only
        lambda x, y: y < x,                       # triangle
    ]
    for row in range(15, 19):
        for column in range(32):
            ink = (column + row) % 7 + 1
            s.pattern(column, row, attribute(ink, BLACK, bright=row % 2 == 1),
                      shapes[(column + row) % len(shapes)])

    s.text(3, 20, "256X192 16 COLOURS", attribute(YELLOW, BLACK, bright=True))
    # Every ink/paper pair, as a fine checkerboard.
    for pair in range(64):
        s.pattern(pair % 32, 22 + pair // 32, attribute(pair & 7, pair >> 3, bright=pair >= 32),
                  lambda x, y: (x + y) % 2 == 0)
    return s.data()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples", "zx", "testcard.scr")
    with open(out, "wb") as f:
        f.write(make_card())


if __name__ == "__main__":
    main()
