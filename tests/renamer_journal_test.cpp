// namescourer's journal: the escaped form of names, its lines, and the
// journal file a run writes.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "renamer/renamer.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"
#include "tests/support/walk_fixture.h"

namespace {

using namespace renamertest;  // NOLINT(google-build-using-namespace): the shared fixture

// Every name a platform allows comes back from its journal form exactly,
// and that form is UTF-8 without control characters, tabs or lone
// surrogates.
TEST(Journal, NamesRoundTripThroughTheirEscapedForm) {
  const struct {
    std::u16string name, escaped;
  } cases[] = {
      {u"a&b [+].txt", u"a&b [+].txt"},
      {u"back\\slash", u"back\\\\slash"},
      {u"tab\tCR\rLF\n", u"tab\\x09CR\\x0DLF\\x0A"},
      {std::u16string(u"nul\0del\x7F", 8), u"nul\\x00del\\x7F"},
      {u"c1\u0085bidi\u202Eline\u2028", u"c1\\u0085bidi\\u202Eline\\u2028"},
      {u"raw\xDC80\xDCFF", u"raw\\x80\\xFF"},  // bytes that are not UTF-8 (POSIX)
      {u"lone\xD800 \xDC00 \xDFFF", u"lone\\uD800 \\uDC00 \\uDFFF"},  // Windows
      {u"pair\U0001F600 \u00E9\u6587", u"pair\U0001F600 \u00E9\u6587"},
      {u"\\x41 stays", u"\\\\x41 stays"},
  };
  for (const auto& c : cases) {
    const std::u16string escaped = renamer::EscapeJournalName(c.name);
    EXPECT_EQ(escaped, c.escaped) << testsupport::Narrow(c.escaped);
    std::u16string back;
    ASSERT_TRUE(
        renamer::UnescapeJournalName(platform::DecodeUtf8(platform::EncodeUtf8(escaped)), back));
    EXPECT_EQ(back, c.name) << testsupport::Narrow(c.escaped);
  }
  for (const std::u16string bad : {u"end\\", u"\\x4", u"\\q", u"\\u12G4"}) {
    std::u16string name;
    EXPECT_FALSE(renamer::UnescapeJournalName(bad, name)) << testsupport::Narrow(bad);
  }
}

TEST(Journal, LinesAreRecordsFailureMarksOrUnreadable) {
  using Type = renamer::JournalRecord::Type;
  const struct {
    std::u16string line;
    Type type;
    std::u16string from, to;
  } cases[] = {
      {u"F\t/t/a&b\t/t/a[+]b", Type::Rename, u"/t/a&b", u"/t/a[+]b"},
      {u"D\tC:\\\\t\\x09\tC:\\\\t_", Type::Rename, u"C:\\t\t", u"C:\\t_"},
      {u"E\trename failed", Type::Failure, u"", u""},
      {u"", Type::Empty, u"", u""},
      {u"F\t/t/a&b", Type::Unreadable, u"", u""},         // cut short
      {u"F\t/t/a\\q\t/t/b", Type::Unreadable, u"", u""},  // bad escape
      {u"X\t/t/a\t/t/b", Type::Unreadable, u"", u""},
      {u"F\t\t/t/b", Type::Unreadable, u"", u""},
  };
  for (const auto& c : cases) {
    const renamer::JournalRecord record = renamer::ParseJournalLine(c.line);
    EXPECT_EQ(record.type, c.type) << testsupport::Narrow(c.line);
    EXPECT_EQ(record.from, c.from) << testsupport::Narrow(c.line);
    EXPECT_EQ(record.to, c.to) << testsupport::Narrow(c.line);
  }
}

TEST_F(WalkTest, JournalIsAlwaysANewFileAndDebugModeWritesNone) {
  File(J({u"T", u"a&.txt"}));
  Rules(kAmpRule);
  const ConsoleRun debug = Scour({u"-d", u"T", u"-b", u"1", u"-j", u"run.journal"});
  EXPECT_TRUE(HasLine(debug.console,
                      std::u16string(labels::kJournalFile) + u"run.journal (none in debug mode)"));
  EXPECT_FALSE(Exists(u"run.journal"));

  // The report on standard error shows the name as every other line would:
  // line breaks, direction marks and controls as "?", a byte that is not
  // UTF-8 as U+FFFD.
  std::u16string journal = u"run\u202E\u2028\u0085.journal";
  std::string shown = "run???.journal";
  if (!OnWindows()) {
    journal = u"run\u202E\u2028\u0085\x01" + std::u16string(1, char16_t(0xDCFF)) + u".journal";
    shown = "run????\xEF\xBF\xBD.journal";
  }
  testsupport::WriteBytes(At(journal), "an earlier run");
  const testsupport::ProcessResult run = testsupport::RunProgram(
      "namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-j", journal}, scratch_.path());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.err.rfind("I/O error: " + shown + ": ", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Exists(J({u"T", u"a&.txt"})));
  EXPECT_EQ(Content(journal), "an earlier run");
}

}  // namespace
