#!/usr/bin/env python3
"""Writes platform/case_fold.cpp: the table by which names are compared
without regard to case.

Each UTF-16 code unit gets a key: its simple upper case, then the simple case
folding of that (one code unit each; where Python's str methods give more than
one, the unit keeps the step's input, so "ß" stays "ß"). Two names are one
name to Windows when their keys are equal unit by unit. The upper case step
follows the file systems of Windows, which compare upper-cased names; the
folding step joins the few letters that upper-case to themselves but fold
onto another (the Kelvin sign and "k", "ẞ" and "ß"), so that every pair either
rule calls one name is one name here. Surrogates are their own keys, as on
Windows, whose file systems never change the case of a character outside the
Basic Multilingual Plane.

The data is Python's own Unicode database (str.upper, str.casefold,
str.lower); the output names its version. Run once:
  python3 tools/gen_case_fold.py > platform/case_fold.cpp
then clang-format the file. The output is committed.
"""
# SPDX-License-Identifier: MIT
import sys
import unicodedata


def single(text, fallback):
    """text when it is one code unit of the Basic Multilingual Plane."""
    return text if len(text) == 1 and ord(text) < 0x10000 else fallback


def key(unit):
    ch = chr(unit)
    if 0xD800 <= unit <= 0xDFFF:
        return ch
    upper = single(ch.upper(), ch)
    folded = upper.casefold()
    if len(folded) != 1:
        folded = upper.lower()
    return single(folded, upper)


def main():
    pairs = [(unit, ord(key(unit))) for unit in range(0x10000) if ord(key(unit)) != unit]
    out = sys.stdout
    out.write("// The key of each UTF-16 code unit for comparing names without regard to\n")
    out.write("// case; written by tools/gen_case_fold.py (Unicode %s), do not edit.\n"
              % unicodedata.unidata_version)
    out.write("// SPDX-License-Identifier: MIT\n")
    out.write('#include "platform/case_fold.h"\n\n')
    out.write("namespace platform::case_fold {\n\n")
    out.write("const Pair kPairs[] = {\n")
    for unit, folded in pairs:
        out.write("    {0x%04X, 0x%04X},\n" % (unit, folded))
    out.write("};\n\n")
    out.write("const std::size_t kPairCount = sizeof(kPairs) / sizeof(kPairs[0]);\n\n")
    out.write("}  // namespace platform::case_fold\n")


if __name__ == "__main__":
    main()
