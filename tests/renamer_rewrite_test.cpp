// Name rewriting: repeated leftmost substitution with its cap, the ANSI
// check, and the counter of MakeUniqueName.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "renamer/renamer.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using renamer::EntryKind;
using testsupport::U;

class RewriteTest : public ::testing::Test {
 protected:
  void SetUp() override { renamer::ResetRun(); }

  static void SetRules(const std::vector<std::pair<std::u16string, std::u16string>>& pairs) {
    renamer::rules.ruleCount = 0;
    for (const auto& pair : pairs) {
      renamer::rules.searchText[renamer::rules.ruleCount] = pair.first;
      renamer::rules.replaceText[renamer::rules.ruleCount] = pair.second;
      ++renamer::rules.ruleCount;
    }
  }
};

struct ApplyCase {
  const char* what;
  std::u16string search, replacement, text;
  bool changed;
  std::u16string result;  // expected result; the text itself when unchanged
  std::uint32_t capped;
};

TEST_F(RewriteTest, ApplyRuleSubstitutesLeftmostAgainAndAgain) {
  const std::u16string amps1025(1025, u'&');
  const std::vector<ApplyCase> cases = {
      {"two occurrences", u"&", u"[+]", u"R&D & Co.txt", true, u"R[+]D [+] Co.txt", 0},
      {"search restarts on the new text", u"aa", u"a", u"aaaa", true, u"a", 0},
      {"occurrence formed left of the last one", u"ab", u"b", u"aaab", true, u"b", 0},
      {"replacement holds the search", u"&", u"&&", u"a&b", true, u"a" + amps1025 + u"b", 1},
      {"equal search and replacement", u"a", u"a", u"banana", true, u"banana", 1},
      {"exactly 1024 occurrences", u"&", u"+", std::u16string(1024, u'&'), true,
       std::u16string(1024, u'+'), 1},
      {"1023 occurrences stay below the cap", u"&", u"+", std::u16string(1023, u'&'), true,
       std::u16string(1023, u'+'), 0},
      {"no occurrence", u"&", u"+", u"plain.txt", false, u"plain.txt", 0},
      {"empty search", u"", u"x", u"abc", false, u"abc", 0},
      {"empty replacement", u"b", u"", u"abc", false, u"abc", 0},
      {"empty text", u"a", u"b", u"", false, u"", 0},
      {"search longer than the text", u"abcd", u"x", u"abc", false, u"abc", 0},
      {"case-sensitive", u"A", u"b", u"aaa", false, u"aaa", 0},
      {"growth by more than 32,767 units is not made", u"a", u"a" + std::u16string(1000, u'b'),
       u"a", true, u"a" + std::u16string(32000, u'b'), 1},
      {"a text longer than 32,767 units still grows", u"&", u"[+]",
       std::u16string(40000, u'q') + u"&x&", true, std::u16string(40000, u'q') + u"[+]x[+]", 0},
      {"no room for even one substitution", u"&", std::u16string(32769, u'r'), u"a&", false, u"a&",
       1},
  };
  for (const ApplyCase& c : cases) {
    renamer::counters.exceededReplaces = 0;
    std::u16string result = c.text;
    EXPECT_EQ(renamer::ApplyRule(c.search, c.replacement, c.text, result), c.changed) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(renamer::counters.exceededReplaces, c.capped) << c.what;
    EXPECT_EQ(renamer::replaceDepth, 0u) << c.what;
  }
}

TEST_F(RewriteTest, ApplyRuleLeavesResultAloneWhenNothingMatches) {
  std::u16string result = u"untouched";
  EXPECT_FALSE(renamer::ApplyRule(u"&", u"+", u"abc", result));
  EXPECT_EQ(result, u"untouched");
}

TEST_F(RewriteTest, RulesRunOnceEachInFileOrder) {
  SetRules({{u"a", u"b"}, {u"c", u"a"}});
  bool changed = false;
  EXPECT_EQ(renamer::RewriteName(EntryKind::File, u"ca", changed), u"ab");
  EXPECT_TRUE(changed);
  EXPECT_EQ(renamer::replaceDepth, 0u);
}

// The rewriting skips the rules for a name that holds none of their first
// units; the rows run in turn, so each must see the rules set for it, not
// the ones before.
TEST_F(RewriteTest, RulesAreSkippedOnlyForNamesWithoutTheirFirstUnits) {
  struct Case {
    std::vector<std::pair<std::u16string, std::u16string>> rules;
    std::u16string name, expected;
  } const cases[] = {
      {{{u"a", u"b"}}, u"xyz", u"xyz"},
      {{{u"a", u"b"}}, u"xa", u"xb"},
      {{{u"q", u"r"}}, u"xq", u"xr"},  // as many rules, another first unit
      {{{u"q", u"r"}, {u"z", u"y"}}, u"z", u"y"},
      {{{u"qq", u"r"}}, u"q", u"q"},
      {{{u"qq", u"r"}}, u"aqq", u"ar"},
      {{{u"", u"x"}, {u"\u00e9", u"e"}}, u"caf\u00e9", u"cafe"},
      {{{u"\u0142", u"l"}}, u"\u0142", u"l"},  // the ANSI check first: no rule sees it
      {{}, u"a&b", u"a&b"},
  };
  for (const auto& c : cases) {
    SetRules(c.rules);
    bool changed = false;
    EXPECT_EQ(renamer::RewriteName(EntryKind::File, c.name, changed), c.expected)
        << testsupport::Narrow(c.name);
    EXPECT_EQ(changed, c.name != c.expected) << testsupport::Narrow(c.name);
  }
}

TEST_F(RewriteTest, UnchangedNamePassesSilently) {
  SetRules({{u"&", u"[+]"}, {u"x", u""}});
  bool changed = true;
  EXPECT_EQ(renamer::RewriteName(EntryKind::File, U("caf\xC3\xA9 x.txt"), changed),
            U("caf\xC3\xA9 x.txt"));
  EXPECT_FALSE(changed);
  EXPECT_EQ(renamer::counters.utfFiles, 0u);
}

TEST_F(RewriteTest, CappedRuleCountsAsChange) {
  SetRules({{u"a", u"a"}});
  bool changed = false;
  EXPECT_EQ(renamer::RewriteName(EntryKind::File, u"a.txt", changed), u"a.txt");
  EXPECT_TRUE(changed);
  EXPECT_EQ(renamer::counters.exceededReplaces, 1u);
}

struct GrowthCase {
  const char* what;
  std::vector<std::pair<std::u16string, std::u16string>> rules;
  EntryKind kind;
  std::u16string name, result;
  std::uint32_t capped;
};

// One budget of 32,767 units for the whole rule list; a rule that would
// pass it stops there, and the rules after it still run within what is left.
TEST_F(RewriteTest, RulesTogetherGrowATextBy32767UnitsAtMost) {
  const std::u16string grow = u"x" + std::u16string(100, u'y');
  std::vector<std::pair<std::u16string, std::u16string>> doubling(renamer::kRuleCapacity,
                                                                  {u"a", u"aa"});
  const std::u16string deep = std::u16string(34000, u'p') + testsupport::Sep();
  const std::vector<GrowthCase> cases = {
      {"a later rule runs after the budget stops one",
       {{u"&", u"&" + std::u16string(99, u'x')}, {u"b", u"c"}},
       EntryKind::File,
       u"a&b",
       u"a&" + std::u16string(std::size_t{330} * 99, u'x') + u"c",
       1},
      {"each growing rule within what is left",
       {{u"x", grow}, {u"x", grow}, {u"x", grow}},
       EntryKind::File,
       u"x",
       u"x" + std::u16string(32700, u'y'),
       3},
      {"a rule that does not lengthen runs in full",
       {{u"x", grow}, {std::u16string(100, u'y'), std::u16string(100, u'z')}},
       EntryKind::File,
       u"x",
       u"x" + std::u16string(32700, u'z'),
       1},
      {"the whole rule list shares one budget", doubling, EntryKind::File, u"a",
       std::u16string(32768, u'a'), renamer::kRuleCapacity},
      {"a path already longer than 32,767 units",
       {{u"&", u"[+]"}},
       EntryKind::Directory,
       deep + u"q&x&y",
       deep + u"q[+]x[+]y",
       0},
  };
  for (const GrowthCase& c : cases) {
    renamer::ResetRun();
    SetRules(c.rules);
    bool changed = false;
    EXPECT_EQ(renamer::RewriteName(c.kind, c.name, changed), c.result) << c.what;
    EXPECT_TRUE(changed) << c.what;
    EXPECT_EQ(renamer::counters.exceededReplaces, c.capped) << c.what;
  }
}

struct AnsiCase {
  const char* what;
  EntryKind kind;
  std::u16string name;
  std::u16string converted;  // empty: only "?" is known to be in it
  std::uint32_t utf, forbidden;
};

TEST_F(RewriteTest, AnsiCheckFlagsAndConvertsNames) {
  SetRules({{u"&", u"[+]"}});
  const std::vector<AnsiCase> cases = {
      {"best-fit letter", EntryKind::File, U("\xC5\x81\xC3\xB3\x64\xC5\xBA&.txt"),
       U("L\xC3\xB3\x64z[+].txt"), 1, 0},
      {"CJK ideograph", EntryKind::File, U("\xE6\x96\x87.txt"), u"?.txt", 1, 1},
      {"emoji", EntryKind::File, U("a\xF0\x9F\x98\x80.txt"), u"", 1, 1},
      {"directory path", EntryKind::Directory, U("T") + testsupport::Sep() + U("\xE6\x96\x87&"),
       U("T") + testsupport::Sep() + u"?[+]", 1, 1},
  };
  for (const AnsiCase& c : cases) {
    renamer::ResetRun();
    SetRules({{u"&", u"[+]"}});
    bool changed = false;
    const std::u16string result = renamer::RewriteName(c.kind, c.name, changed);
    EXPECT_TRUE(changed) << c.what;
    if (!c.converted.empty()) {
      EXPECT_EQ(result, c.converted) << c.what;
    }
    EXPECT_EQ(result.find(u'?') != std::u16string::npos, c.forbidden != 0) << c.what;
    for (char16_t unit : result) EXPECT_FALSE(unit >= 0xD800 && unit <= 0xDFFF) << c.what;
    const bool dir = c.kind == EntryKind::Directory;
    EXPECT_EQ(dir ? renamer::counters.utfDirs : renamer::counters.utfFiles, c.utf) << c.what;
    EXPECT_EQ(dir ? renamer::counters.forbiddenUtfDirs : renamer::counters.forbiddenUtfFiles,
              c.forbidden)
        << c.what;
    EXPECT_EQ(dir ? renamer::counters.utfFiles : renamer::counters.utfDirs, 0u) << c.what;
  }
}

class MakeUniqueNameTest : public RewriteTest {
 protected:
  std::u16string Prefix() const { return scratch_.path().u16string() + testsupport::Sep(); }
  void File(const std::u16string& name) {
    testsupport::WriteBytes(scratch_ / testsupport::PathOf(name), "x");
  }
  void Dir(const std::u16string& name) {
    fs::create_directory(scratch_ / testsupport::PathOf(name));
  }

  testsupport::ScratchDir scratch_;
};

TEST_F(MakeUniqueNameTest, FreeNameStays) {
  std::u16string name = u"x.txt";
  renamer::MakeUniqueName(EntryKind::File, Prefix(), name);
  EXPECT_EQ(name, u"x.txt");
}

TEST_F(MakeUniqueNameTest, FileCounterGoesInFront) {
  File(u"a[+]b.txt");
  File(u"1_a[+]b.txt");
  std::u16string name = u"a[+]b.txt";
  renamer::MakeUniqueName(EntryKind::File, Prefix(), name);
  EXPECT_EQ(name, u"2_a[+]b.txt");
}

TEST_F(MakeUniqueNameTest, DirectoryCounterGoesBehindThePath) {
  Dir(u"a[+]b");
  Dir(u"a[+]b_1");
  std::u16string path = Prefix() + u"a[+]b";
  renamer::MakeUniqueName(EntryKind::Directory, u"", path);
  EXPECT_EQ(path, Prefix() + u"a[+]b_2");
}

TEST_F(MakeUniqueNameTest, EachKindIsTestedOnlyAgainstItsOwnKind) {
  Dir(u"x.txt");
  File(u"d");
  std::u16string name = u"x.txt";
  renamer::MakeUniqueName(EntryKind::File, Prefix(), name);
  EXPECT_EQ(name, u"x.txt");
  std::u16string path = Prefix() + u"d";
  renamer::MakeUniqueName(EntryKind::Directory, u"", path);
  EXPECT_EQ(path, Prefix() + u"d");
}

// In debug mode the record of the directory answers before the disk: a
// name the run gave is taken, one it vacated is free. A candidate in
// another directory goes to the disk.
TEST_F(MakeUniqueNameTest, DebugModeAsksTheDirectoryRecordFirst) {
  renamer::options.debugMode = true;
  File(u"b.txt");
  Dir(u"sub");
  renamer::DirectoryNames names;
  names.path = Prefix();
  renamer::NoteOutcome(&names, Prefix(), u"b.txt", u"c.txt");
  const struct {
    std::u16string prefix, name, expected;
  } cases[] = {
      {Prefix(), u"b.txt", u"b.txt"},                                // vacated
      {Prefix(), u"c.txt", u"1_c.txt"},                              // given
      {Prefix() + u"sub" + testsupport::Sep(), u"c.txt", u"c.txt"},  // elsewhere
  };
  for (const auto& c : cases) {
    std::u16string name = c.name;
    renamer::MakeUniqueName(EntryKind::File, c.prefix, name, &names, u"a.txt");
    EXPECT_EQ(name, c.expected) << testsupport::Narrow(c.prefix + c.name);
  }
}

TEST_F(MakeUniqueNameTest, TakesThe2048thCandidateUntested) {
  File(u"x.txt");
  for (int n = 1; n <= 2046; ++n) File(U(std::to_string(n) + "_x.txt"));
  std::u16string name = u"x.txt";
  renamer::MakeUniqueName(EntryKind::File, Prefix(), name);
  EXPECT_EQ(name, u"2047_x.txt");  // the last candidate tested

  File(u"2047_x.txt");
  File(u"2048_x.txt");
  name = u"x.txt";
  renamer::MakeUniqueName(EntryKind::File, Prefix(), name);
  EXPECT_EQ(name, u"2048_x.txt");  // taken, yet used: the rename will fail
}

}  // namespace
