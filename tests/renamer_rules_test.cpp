// The rule file reader: pairing, line ends, Ctrl-Z, blanks, ANSI bytes and
// the table's capacity.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <utility>
#include <vector>

#include "renamer/renamer.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::Narrow;
using testsupport::ScratchDir;
using testsupport::U;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

class LoadRulesTest : public ::testing::Test {
 protected:
  void SetUp() override { renamer::ResetRun(); }

  // Writes bytes as the rule file and loads it.
  Pairs Load(const std::string& bytes) {
    testsupport::WriteBytes(scratch_ / "rules.txt", bytes);
    renamer::options.ruleFileName = (scratch_ / "rules.txt").u16string();
    renamer::LoadRules();
    Pairs pairs;
    for (std::uint32_t i = 0; i < renamer::rules.ruleCount; ++i) {
      pairs.emplace_back(renamer::rules.searchText[i], renamer::rules.replaceText[i]);
    }
    return pairs;
  }

  ScratchDir scratch_;
};

struct RuleFileCase {
  const char* what;
  std::string bytes;
  Pairs expected;
};

TEST_F(LoadRulesTest, ReadsLinesInPairs) {
  const std::vector<RuleFileCase> cases = {
      {"usage example, CR LF", "&\r\n[+]\r\n|\r\n_\r\n", {{u"&", u"[+]"}, {u"|", u"_"}}},
      {"usage example, LF, no final line end", "&\n[+]\n|\n_", {{u"&", u"[+]"}, {u"|", u"_"}}},
      {"odd last line dropped", "a\nb\nc\n", {{u"a", u"b"}}},
      {"empty file", "", {}},
      {"one line", "only\n", {}},
      {"one line end", "\n", {}},
      {"empty replacement kept", "a\n\n", {{u"a", u""}}},
      {"empty lines take their place", "\n\nx\ny\n", {{u"", u""}, {u"x", u"y"}}},
      {"lone CR dropped, does not end the line", "a\rb\r\nc\rd\r\n", {{u"ab", u"cd"}}},
      {"Ctrl-Z ends the file", "a\nb\nc\x1A\nd\n", {{u"a", u"b"}}},
      {"Ctrl-Z inside a replacement", "a\nb\x1Ax\ny\nz\n", {{u"a", u"b"}}},
      {"blanks and tabs kept", " & \n\t_ \n \n_\n", {{u" & ", u"\t_ "}, {u" ", u"_"}}},
      {"ANSI bytes", "\xE9\ne\n\x80\nEUR\n", {{U("\xC3\xA9"), u"e"}, {U("\xE2\x82\xAC"), u"EUR"}}},
      {"UTF-8 reads as ANSI", "\xC3\xA9\ne\n", {{U("\xC3\x83\xC2\xA9"), u"e"}}},
      {"byte-order mark is text", "\xEF\xBB\xBF&\n+\n", {{U("\xC3\xAF\xC2\xBB\xC2\xBF&"), u"+"}}},
  };
  for (const RuleFileCase& c : cases) {
    EXPECT_EQ(Load(c.bytes), c.expected) << c.what;
  }
}

TEST_F(LoadRulesTest, StopsAtTheTablesCapacity) {
  std::string bytes;
  for (int i = 0; i < 4100; ++i) {
    bytes += "s" + std::to_string(i) + "\r\nr" + std::to_string(i) + "\r\n";
  }
  Load(bytes);
  ASSERT_EQ(renamer::rules.ruleCount, 4096u);
  EXPECT_EQ(renamer::rules.searchText[4095], u"s4095");
  EXPECT_EQ(renamer::rules.replaceText[4095], u"r4095");
}

TEST_F(LoadRulesTest, ExactlyFullTableIsReadWhole) {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += "s\nr" + std::to_string(i) + "\n";
  Load(bytes);
  ASSERT_EQ(renamer::rules.ruleCount, 4096u);
  EXPECT_EQ(renamer::rules.replaceText[4095], u"r4095");
}

TEST_F(LoadRulesTest, NoRuleFileGivesNoRules) {
  std::filesystem::create_directory(scratch_ / "adir");
  std::vector<std::u16string> names = {u"*", (scratch_ / "missing.txt").u16string(),
                                       (scratch_ / "adir").u16string(), u""};
#ifndef _WIN32
  // Only a regular file is a rule file: a device or FIFO could be read forever.
  ASSERT_EQ(::mkfifo((scratch_ / "fifo").c_str(), 0600), 0);
  names.insert(names.end(), {(scratch_ / "fifo").u16string(), u"/dev/zero"});
#endif
  for (const std::u16string& name : names) {
    renamer::rules.ruleCount = 7;
    renamer::options.ruleFileName = name;
    renamer::LoadRules();
    EXPECT_EQ(renamer::rules.ruleCount, 0u) << Narrow(name);
  }
}

TEST_F(LoadRulesTest, SecondLoadStartsFromZero) {
  EXPECT_EQ(Load("a\nb\nc\nd\n").size(), 2u);
  EXPECT_EQ(Load("x\ny\n"), (Pairs{{u"x", u"y"}}));
}

}  // namespace
