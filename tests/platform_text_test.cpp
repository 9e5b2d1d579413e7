// Text conversions of the platform layer: UTF-8, the ANSI code page, case
// folding, decimals, line splitting and wildcards.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "tests/support/text_lines.h"

using testsupport::Narrow;

namespace {

TEST(Utf8, DecodesWellFormedTextAndEscapesEveryOtherByte) {
  struct Case {
    std::string bytes;
    std::u16string text;
  } const cases[] = {
      {"abc", u"abc"},
      {"\xc3\xa9", u"\u00e9"},
      {"\xe4\xb8\xad", u"\u4e2d"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xff", u"\xdcff"},
      {"\xc3", u"\xdcc3"},                                // truncated
      {"\xc0\x80", u"\xdcc0\xdc80"},                      // overlong NUL
      {"\xed\xa0\x80", u"\xdced\xdca0\xdc80"},            // an encoded surrogate
      {"\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},  // above U+10FFFF
      {"a\x80"
       "b",
       u"a\xdc80"
       u"b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::DecodeUtf8(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(platform::EncodeUtf8(c.text), c.bytes) << c.bytes;
  }
}

TEST(Utf8, EveryTwoByteStringRoundTrips) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(platform::EncodeUtf8(platform::DecodeUtf8(bytes)), bytes) << a << " " << b;
    }
  }
}

TEST(Utf8, OtherLoneSurrogatesBecomeTheReplacementCharacter) {
  EXPECT_EQ(platform::EncodeUtf8(u"a\xd800"
                                 u"b"),
            "a\xef\xbf\xbd"
            "b");
  EXPECT_EQ(platform::EncodeUtf8(u"\xdc00"), "\xef\xbf\xbd");
}

TEST(Ansi, BestFitsOneCharacterToOneByte) {
  ASSERT_EQ(platform::AnsiCodePage(), 1252u);
  struct Case {
    std::u16string text;
    std::string ansi;
  } const cases[] = {
      {u"plain.txt", "plain.txt"},
      {u"\u00e9t\u00e9", "\xe9t\xe9"},
      {u"\u20ac", "\x80"},
      {u"\u0141\u00f3d\u017a",
       "L\xf3"
       "dz"},
      {u"\u010c\u0103", "Ca"},
      // Best fits where Microsoft's table differs from Unicode decompositions
      {u"e\u0301", "e\xb4"},  // per code unit: the combining acute is an acute accent
      {u"\u0110", "\xd0"},
      {u"\u212b", "\xc5"},
      {u"\u03b5\u2264\u01c3\u0191", "e=!\x83"},
      {u"\u017f\u1e00\u1e4f", "???"},
      {u"\u2017\u02da", "=\xb0"},
      {u"\u4e2d.txt", "?.txt"},
      {u"a\U0001F600"
       u"b",
       "a?b"},
      {u"a\xd800"
       u"b",
       "a?b"},
      {u"\xdcff", "?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ToAnsi(c.text), c.ansi) << Narrow(c.text);
  }
}

TEST(Ansi, EveryByteReadsBackAsItself) {
  for (int b = 1; b < 256; ++b) {
    std::string byte(1, static_cast<char>(b));
    std::u16string text = platform::FromAnsi(byte);
    ASSERT_EQ(text.size(), 1u) << b;
    EXPECT_EQ(platform::ToAnsi(text), byte) << b;
  }
  EXPECT_EQ(platform::FromAnsi("\x81\x8d\x8f\x90\x9d"), u"\x81\x8d\x8f\x90\x9d");
  EXPECT_EQ(platform::FromAnsi("\xe9\x80\x9f"), u"\u00e9\u20ac\u0178");
}

TEST(FoldCase, GivesNamesThatWindowsTakesForOneTheSameKey) {
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"ReadMe.TXT", u"readme.txt"},
      {u"\u00C4\u00D6\u00DC\u00DE\u0178", u"\u00E4\u00F6\u00FC\u00FE\u00FF"},  // Latin-1, Ÿ
      {u"\u03A3\u03C2", u"\u03C3\u03C3"},              // capital and final sigma
      {u"\u0130\u0131", u"\u0130i"},                   // dotted capital I stays; dotless i
      {u"\u212A\u212B\u2126", u"k\u00E5\u03C9"},       // Kelvin, Angstrom, Ohm signs
      {u"\u1E9E\u00DF", u"\u00DF\u00DF"},              // capital sharp s; sharp s stays
      {u"\u01C4\u01C5\u01C6", u"\u01C6\u01C6\u01C6"},  // DŽ in its three cases
      {u"\u0416\u13A0\uAB70\uFF21", u"\u0436\u13A0\u13A0\uFF41"},  // Cyrillic, Cherokee, fullwidth
      {u"\U00010400\xD800", u"\U00010400\xD800"},  // outside the BMP, lone surrogate: kept
  };
  for (const auto& [name, key] : rows) {
    EXPECT_EQ(platform::FoldCase(name), key) << Narrow(name);
    EXPECT_EQ(platform::FoldCase(key), key) << Narrow(key);
  }
}

TEST(Decimal, WritesPlainUnsignedDigits) {
  const std::uint64_t values[] = {0, 7, 10, 2048, 6912, 4294967295u, 18446744073709551615u};
  for (std::uint64_t value : values) {
    const std::string digits = std::to_string(value);
    EXPECT_EQ(std::u16string(digits.begin(), digits.end()), platform::Decimal(value)) << digits;
  }
}

TEST(SplitTextLines, EndsLinesAtLfDropsCrAndStopsAtCtrlZ) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } const cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"\n", {""}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\nc", {"ab", "c"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"a\nb\x1a"
       "c\nd",
       {"a", "b"}},
      {"\x1a"
       "a",
       {}},
      {" & \t\n", {" & \t"}},
      {"\xef\xbb\xbf&\n", {"\xef\xbb\xbf&"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testsupport::SplitTextLines(c.bytes), c.lines) << c.bytes;
  }
}

TEST(MatchesWildcard, FollowsTheWindowsRules) {
  struct Case {
    std::u16string pattern, name;
    bool matches;
  } const cases[] = {
      {u"*.*", u"a.txt", true},
      {u"*.*", u"noext", true},
      {u"*.*", u".hidden", true},
      {u"*.*", u".", true},
      {u"*", u"anything.x.y", true},
      {u"*.txt", u"a.txt", true},
      {u"*.txt", u"a.TXT", true},
      {u"*.txt", u"a.txt.bak", false},
      {u"*.html", u"index.htm", false},
      {u"17?.txt", u"171.txt", true},
      {u"17?.txt", u"17.txt", false},
      {u"17?.txt", u"1712.txt", false},
      {u"*.", u"noext", true},
      {u"*.", u"a.txt", false},
      {u"x.*", u"x", true},
      {u"x.*", u"x.y", true},
      {u"x.*", u"xy", false},
      {u"a*b*c", u"aXbYc", true},
      {u"a*b*c", u"aXbY", false},
      {u"*\u00c9T\u00c9*", u"\u00e9t\u00e9.doc", true},
      {u"\u0141*", u"\u0142ad", true},
      {u"?", u"", false},
      {u"", u"", true},
      {u"*a", u"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false},
      // One "*": a head and a tail that must not overlap in the name.
      {u"*.jpg", u".jpg", true},
      {u"*.jpg", u"jpg", false},
      {u"*.JPG", u"Photo.\u00e9.jpg", true},
      {u"ab*ba", u"aba", false},
      {u"ab*ba", u"abba", true},
      {u"IMG_*", u"img_", true},
      {u"IMG_*", u"im", false},
      {u"?*?", u"x", false},
      {u"\u0100*", u"\u0101", true},
      {u"*.tx?", u"a.txt", true},
      {u"*.", u"", true},
      {u"*", u"", true},
      {u"*.*", u"", true},
      // No "*": the whole name, unit by unit.
      {u"Read?me.TXT", u"read_me.txt", true},
      {u"readme.txt", u"readme.tx", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::MatchesWildcard(c.pattern, c.name), c.matches)
        << Narrow(c.pattern) << " vs " << Narrow(c.name);
  }
}

}  // namespace
