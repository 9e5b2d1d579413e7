// The palette line parser: line shapes, blanks and number syntax.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "converter/converter.h"
#include "tests/support/test_support.h"

namespace converter {
namespace {

using testsupport::Narrow;

struct NumberCase {
  const char16_t* text;
  bool ok;
  std::int32_t value;
};

TEST(ParsePaletteNumber, AcceptsSignedDecimalAndPrefixedHex) {
  const NumberCase cases[] = {
      {u"0", true, 0},
      {u"255", true, 255},
      {u"007", true, 7},
      {u"+12", true, 12},
      {u"-0", true, 0},
      {u"-1", true, -1},
      {u"256", true, 256},
      {u"$ff", true, 255},
      {u"$C0", true, 192},
      {u"x1f", true, 31},
      {u"X1F", true, 31},
      {u"0x10", true, 16},
      {u"0XfF", true, 255},
      {u"-$10", true, -16},
      {u"+0x7", true, 7},
      {u"2147483647", true, 2147483647},
      {u"-2147483648", true, -2147483647 - 1},
      {u"$7FFFFFFF", true, 2147483647},
      {u"2147483648", false, 0},
      {u"$80000000", false, 0},
      {u"99999999999", false, 0},
      {u"", false, 0},
      {u"+", false, 0},
      {u"-", false, 0},
      {u"$", false, 0},
      {u"x", false, 0},
      {u"0x", false, 0},
      {u"12a", false, 0},
      {u"ff", false, 0},
      {u"1 2", false, 0},
      {u" 1", false, 0},
      {u"\t1", false, 0},
      {u"1\t", false, 0},
      {u"--1", false, 0},
      {u"+-1", false, 0},
      {u"$-1", false, 0},
      {u"0$1", false, 0},
      {u"1.0", false, 0},
      {u"1e2", false, 0},
      {u"h10", false, 0},
      {u"\uFF11", false, 0},   // a full-width digit is no digit
      {u"\uFEFF0", false, 0},  // a byte-order mark in front
  };
  for (const NumberCase& c : cases) {
    std::int32_t value = -999;
    EXPECT_EQ(ParsePaletteNumber(c.text, value), c.ok) << Narrow(c.text);
    if (c.ok) {
      EXPECT_EQ(value, c.value) << Narrow(c.text);
    }
  }
}

struct LineCase {
  const char16_t* line;
  bool taken;
  const char16_t* red;
  const char16_t* green;
  const char16_t* blue;
};

TEST(SplitPaletteLine, FindsThreeTrimmedFieldsOrSkipsTheLine) {
  const LineCase cases[] = {
      {u"1,2,3", true, u"1", u"2", u"3"},
      {u"  10 ,  20 , 30  ", true, u"10", u"20", u"30"},
      {u"\t10,20,30", true, u"\t10", u"20", u"30"},
      {u"10,20,30\t", true, u"10", u"20", u"30\t"},
      {u"1,2,3,4", true, u"1", u"2", u"3"},
      {u"1,2,3,,", true, u"1", u"2", u"3"},
      {u"1,2,,4", true, u"1", u"2", u""},
      {u"1,2, ", true, u"1", u"2", u""},
      {u" ,2,3", true, u"", u"2", u"3"},
      {u"a,b,c", true, u"a", u"b", u"c"},
      {u"1,,3", false, nullptr, nullptr, nullptr},
      {u"", false, nullptr, nullptr, nullptr},
      {u"1", false, nullptr, nullptr, nullptr},
      {u"12", false, nullptr, nullptr, nullptr},
      {u"1,2", false, nullptr, nullptr, nullptr},
      {u"1,2,", false, nullptr, nullptr, nullptr},
      {u",1,2", false, nullptr, nullptr, nullptr},
      {u"1,", false, nullptr, nullptr, nullptr},
      {u"1,2 3", false, nullptr, nullptr, nullptr},
      {u"1,,", false, nullptr, nullptr, nullptr},
      {u"1,x", false, nullptr, nullptr, nullptr},
  };
  for (const LineCase& c : cases) {
    std::u16string fields[3];
    ASSERT_EQ(SplitPaletteLine(c.line, fields), c.taken) << Narrow(c.line);
    if (!c.taken) continue;
    EXPECT_EQ(fields[0], c.red) << Narrow(c.line);
    EXPECT_EQ(fields[1], c.green) << Narrow(c.line);
    EXPECT_EQ(fields[2], c.blue) << Narrow(c.line);
  }
}

TEST(TrimBlanks, RemovesOnlyOuterSpaces) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"", u""},           {u"   ", u""},        {u" a ", u"a"}, {u"a b", u"a b"},
      {u"\ta\t", u"\ta\t"}, {u"  \t a", u"\t a"}, {u"a  ", u"a"}, {u"\u00A0a", u"\u00A0a"},
  };
  for (const auto& c : cases) {
    std::u16string text = c.first;
    TrimBlanks(text);
    EXPECT_EQ(text, c.second) << Narrow(c.first);
  }
}

TEST(BuiltinPalette, UsesLevel192ForNormalAnd255ForBrightInBlueGreenRedOrder) {
  for (int colour = 0; colour < 8; ++colour) {
    for (int bright = 0; bright < 2; ++bright) {
      const std::uint8_t* entry = BuiltinPalette.entry[colour + 8 * bright];
      std::uint8_t level = bright != 0 ? 255 : 192;
      EXPECT_EQ(entry[kBlue], (colour & 1) ? level : 0) << colour;
      EXPECT_EQ(entry[kRed], (colour & 2) ? level : 0) << colour;
      EXPECT_EQ(entry[kGreen], (colour & 4) ? level : 0) << colour;
      EXPECT_EQ(entry[kReserved], 0);
    }
  }
}

}  // namespace
}  // namespace converter
