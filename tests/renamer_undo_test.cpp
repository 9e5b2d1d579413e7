// End-to-end runs of namescourer -u: a journal taken back, and what the
// undo leaves when the tree or the journal changed after the run.
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

// ------------------------------------------------------------ journal, undo

// Names that only a journal with escapes can give back: on POSIX bytes that
// are not UTF-8 and control characters, on Windows lone surrogates (where
// the file system takes them).
std::vector<std::u16string> AwkwardNames() {
  if (OnWindows()) return {u"lone\xD800&", u"low\xDC80&.txt", U("\xC3\xA9t\xC3\xA9&.txt")};
  return {U("bad\xFF&"),
          u"tab\t&.txt",
          u"back\\slash&",
          u"nl\n&",
          u"\x01\x7F&",
          U("c1\xC2\x85&.txt"),
          U("\xC3\xA9t\xC3\xA9&.txt")};
}

TEST_F(WalkTest, UndoGivesBackTheTreeExactlyAndItsJournalTheRenamedOne) {
  int serial = 0;
  for (const std::u16string& dir :
       {J({u"T", u"a&b"}), J({u"T", u"a&b", u"c&d"}), J({u"T", u"e"})}) {
    File(J({dir, u"x&y.txt"}), "f" + std::to_string(serial++));
    File(J({dir, u"plain.txt"}), "f" + std::to_string(serial++));
  }
  bool loneSurrogates = false;
  for (const std::u16string& name : AwkwardNames()) {
    std::error_code made;
    fs::create_directories(At(J({u"T", u"a&b", name})), made);
    if (made) {
      // Wine keeps names as UTF-8 on the host's file system.
      EXPECT_TRUE(OnWindows()) << "the file system refuses " << Narrow(name);
      std::printf("the file system refuses %s\n", Narrow(name).c_str());
      continue;
    }
    loneSurrogates = loneSurrogates || name.find(u'\xD800') != std::u16string::npos;
    File(J({u"T", u"a&b", name, name}), "in " + std::to_string(serial++));
    File(J({u"T", name}), "top " + std::to_string(serial++));
  }
  Rules(kAmpRule);
  const auto original = testsupport::TreeBelow(At(u"T"));
  const ConsoleRun run = Scour({u"-d", u"T", u"-j", u"run.journal", u"-v", u"1"});
  const auto renamed = testsupport::TreeBelow(At(u"T"));
  ASSERT_NE(renamed, original);
  EXPECT_GT(Counters(run.console).dirs, 1u);
  const std::string journal = Content(u"run.journal");
  EXPECT_EQ(journal.rfind("namescourer journal\t1\t", 0), 0u);
  const std::string escaped = OnWindows() ? "lone\\uD800&" : "bad\\xFF&";
  if (!OnWindows() || loneSurrogates) {
    EXPECT_NE(journal.find(escaped), std::string::npos);
  }

  // From another directory: the journal holds absolute paths.
  Dir(u"elsewhere");
  const ConsoleRun undo = testsupport::RunForConsole(
      "namescourer", {u"-u", J({u"..", u"run.journal"}), u"-j", u"undo.journal", u"-v", u"1"},
      At(u"elsewhere"));
  EXPECT_EQ(testsupport::TreeBelow(At(u"T")), original);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, labels::kRefused), 0);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, labels::kTakenBack),
            Counters(run.console).dirs + Counters(run.console).files);
  EXPECT_EQ(undo.exitCode, 0u);

  const ConsoleRun redo = Scour({u"-u", J({u"elsewhere", u"undo.journal"})});
  EXPECT_EQ(testsupport::TreeBelow(At(u"T")), renamed);
  EXPECT_EQ(redo.exitCode, 0u);
}

// What happens to a journal or the tree after the run, and what the undo
// then does: the counts of its summary, or -1 when it refuses the journal
// as a whole (one line on standard error, exit code 1, nothing renamed).
struct UndoCase {
  const char* what;
  void (*meddle)(const fs::path& scratch);
  std::vector<std::u16string> extraArgs;
  std::int64_t records, takenBack, nothingToDo, refused;
  std::uint32_t exitCode;
};

void Append(const fs::path& file, const std::string& bytes) {
  testsupport::WriteBytes(file, testsupport::ReadBytes(file) + bytes);
}

void ReplaceInFile(const fs::path& file, const std::string& from, const std::string& to) {
  std::string bytes = testsupport::ReadBytes(file);
  bytes.replace(bytes.find(from), from.size(), to);
  testsupport::WriteBytes(file, bytes);
}

std::string JournalPath(const fs::path& path) {
  std::u16string absolute;
  EXPECT_TRUE(platform::AbsolutePath(testsupport::NameOf(path), absolute));
  return Narrow(renamer::EscapeJournalName(absolute));
}

TEST_F(WalkTest, UndoLeavesWhatItCannotTakeBackAndCountsIt) {
  const std::string other = OnWindows() ? "linux" : "win64";
  std::vector<UndoCase> cases = {
      {"as the run left it", [](const fs::path&) {}, {}, 5, 4, 1, 0, 0},
      {"dry run", [](const fs::path&) {}, {u"-b", u"1"}, 5, 4, 1, 0, 0},
      {"a renamed file deleted",
       [](const fs::path& s) { fs::remove(s / "T" / "a[+].txt"); },
       {},
       5,
       3,
       1,
       1,
       1},
      {"a renamed file renamed again",
       [](const fs::path& s) { fs::rename(s / "T" / "b[+].txt", s / "T" / "other.txt"); },
       {},
       5,
       3,
       1,
       1,
       1},
      {"the old name taken by a new file",
       [](const fs::path& s) { testsupport::WriteBytes(s / "T" / "a&.txt", "new"); },
       {},
       5,
       3,
       1,
       1,
       1},
      {"a last record cut short by a crash",
       [](const fs::path& s) {
         testsupport::WriteBytes(s / "T" / "q[+].txt", "q");
         Append(s / "run.journal",
                "F\t" + JournalPath(s / "T" / "q&.txt") + "\t" + JournalPath(s / "T" / "q[+].txt"));
       },
       {},
       6,
       4,
       2,
       0,
       0},
      {"an unreadable record",
       [](const fs::path& s) { Append(s / "run.journal", "F\tno second path\r\n"); },
       {},
       6,
       4,
       1,
       1,
       1},
      {"another format version",
       [](const fs::path& s) { ReplaceInFile(s / "run.journal", "\t1\t", "\t2\t"); },
       {},
       -1,
       0,
       0,
       0,
       1},
      {"another kind of system",
       [](const fs::path& s) {
         ReplaceInFile(s / "run.journal", Narrow(platform::kBuildName),
                       OnWindows() ? "linux" : "win64");
       },
       {},
       -1,
       0,
       0,
       0,
       1},
      {"no journal", [](const fs::path& s) { fs::remove(s / "run.journal"); }, {}, -1, 0, 0, 0, 1},
      {"not a journal",
       [](const fs::path& s) { testsupport::WriteBytes(s / "run.journal", "a&.txt\r\n"); },
       {},
       -1,
       0,
       0,
       0,
       1},
  };
  // A journal is a file anyone may edit: a record outside the start
  // directory is refused, and so is one whose entry is of the other kind.
  cases.push_back({"a record outside the start directory",
                   [](const fs::path& s) {
                     fs::create_directory(s / "O");
                     testsupport::WriteBytes(s / "O" / "x[+]", "O");
                     Append(s / "run.journal", "F\t" + JournalPath(s / "O" / "x&") + "\t" +
                                                   JournalPath(s / "O" / "x[+]") + "\r\n");
                   },
                   {},
                   6,
                   4,
                   1,
                   1,
                   1});
  cases.push_back({"a file's record made a directory's",
                   [](const fs::path& s) {
                     ReplaceInFile(s / "run.journal", "F\t" + JournalPath(s / "T" / "a&.txt"),
                                   "D\t" + JournalPath(s / "T" / "a&.txt"));
                   },
                   {},
                   5,
                   3,
                   1,
                   1,
                   1});
  // Run twice, the undo finds the tree as it was: nothing to do, no error.
  cases.push_back(
      {"taken back already",
       [](const fs::path& s) {
         EXPECT_EQ(testsupport::RunProgram("namescourer", {u"-u", u"run.journal"}, s).exitCode, 0u);
       },
       {},
       5,
       0,
       5,
       0,
       0});
  if (!OnWindows()) {
    cases.push_back({"a record outside the start directory through a link",
                     [](const fs::path& s) {
                       fs::create_directory(s / "O");
                       testsupport::WriteBytes(s / "O" / "x[+]", "O");
                       fs::create_directory_symlink("O", s / "Tl");
                       Append(s / "run.journal", "F\t" + JournalPath(s / "Tl" / "x&") + "\t" +
                                                     JournalPath(s / "Tl" / "x[+]") + "\r\n");
                     },
                     {},
                     6,
                     4,
                     1,
                     1,
                     1});
    // The undo renames nothing through a link below the start directory:
    // the file in the folder the link leads to keeps its name; the link
    // itself is renamed back.
    cases.push_back({"a renamed folder swapped for a link",
                     [](const fs::path& s) {
                       fs::rename(s / "T" / "d[+]", s / "away");
                       fs::create_directory_symlink(fs::path("..") / "away", s / "T" / "d[+]");
                     },
                     {},
                     5,
                     3,
                     1,
                     1,
                     1});
  }
  for (const UndoCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(At(u"T"));
    fs::remove_all(At(u"away"));
    fs::remove_all(At(u"O"));
    fs::remove(At(u"Tl"));
    fs::remove(At(u"run.journal"));
    const std::map<std::u16string, std::string> files = {
        {u"a&.txt", "A"}, {u"b&.txt", "B"}, {u"f&.txt", "F"}, {J({u"d&", u"in&.txt"}), "C"}};
    for (const auto& [name, content] : files) File(J({u"T", name}), content);
    Dir(J({u"T", u"f[+].txt"}));  // the rename of f&.txt fails
    Rules(kAmpRule);
    const auto original = testsupport::TreeBelow(At(u"T"));
    EXPECT_EQ(Scour({u"-d", u"T", u"-j", u"run.journal"}).exitCode, 1u);
    c.meddle(scratch_.path());
    const auto meddled = testsupport::TreeBelow(At(u"T"));
    auto outsideNow = [this] {
      return Exists(u"O") ? testsupport::TreeBelow(At(u"O")) : testsupport::Tree();
    };
    const auto outside = outsideNow();
    std::vector<std::u16string> args = {u"-u", u"run.journal", u"-v", u"2"};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    const testsupport::ProcessResult undo =
        testsupport::RunProgram("namescourer", args, scratch_.path());
    const Lines console = testsupport::ConsoleLines(undo.out);
    EXPECT_EQ(undo.exitCode, c.exitCode);
    if (c.records < 0) {
      EXPECT_EQ(undo.err.rfind("I/O error: run.journal: ", 0), 0u) << undo.err;
      EXPECT_EQ(console, Lines{});
      EXPECT_EQ(testsupport::TreeBelow(At(u"T")), meddled);
      continue;
    }
    EXPECT_EQ(undo.err, "");
    EXPECT_EQ(testsupport::SummaryValue(console, labels::kRecords), c.records);
    EXPECT_EQ(testsupport::SummaryValue(console, labels::kTakenBack), c.takenBack);
    EXPECT_EQ(testsupport::SummaryValue(console, labels::kNothingToDo), c.nothingToDo);
    EXPECT_EQ(testsupport::SummaryValue(console, labels::kRefused), c.refused);
    EXPECT_EQ(CountStartingWith(console, u"UNDO "), static_cast<std::size_t>(c.takenBack));
    EXPECT_EQ(CountStartingWith(console, u"SKIP_UNDO "), static_cast<std::size_t>(c.nothingToDo));
    EXPECT_EQ(CountStartingWith(console, u"ERR_UNDO "), static_cast<std::size_t>(c.refused));
    const auto after = testsupport::TreeBelow(At(u"T"));
    EXPECT_EQ(outsideNow(), outside);
    // Nothing lost, nothing overwritten: a new file at an old name is kept.
    EXPECT_EQ(testsupport::FileContents(after), testsupport::FileContents(meddled));
    if (fs::exists(At(u"away"))) {
      EXPECT_EQ(Content(J({u"away", u"in[+].txt"})), "C");
    }
    if (!c.extraArgs.empty()) {
      EXPECT_EQ(after, meddled);
    } else if (c.refused == 0) {
      auto expected = original;
      for (const auto& entry : meddled) {
        if (entry.first.rfind("q[+]", 0) == 0) expected.insert(entry);
      }
      EXPECT_EQ(after, expected);
    }
  }
}

// A line longer than any record the walk writes is refused unread, and the
// records around it are taken back.
TEST_F(WalkTest, UndoRefusesALineLongerThanAnyRecord) {
  File(J({u"T", u"a&.txt"}));
  Rules(kAmpRule);
  Scour({u"-d", u"T", u"-j", u"run.journal"});
  const std::string record = "F\t" + JournalPath(At(J({u"T", u"b&.txt"}))) + "\t" +
                             JournalPath(At(J({u"T", u"b[+].txt"}))) + "\r\n";
  File(J({u"T", u"b[+].txt"}));
  const std::string line = "F\t" + std::string(renamer::kMaxJournalLine, 'x');
  Append(At(u"run.journal"), line + "\r\n" + record);
  const ConsoleRun undo = Scour({u"-u", u"run.journal", u"-v", u"1"});
  EXPECT_EQ(undo.exitCode, 1u);
  EXPECT_TRUE(HasLine(undo.console, u"ERR_UNDO RECORD: a line of " +
                                        platform::Decimal(line.size() + 1) +
                                        u" bytes (longer than any record)"));
  EXPECT_TRUE(Exists(J({u"T", u"a&.txt"})));
  EXPECT_TRUE(Exists(J({u"T", u"b&.txt"})));
}

// A run killed between creating its journal and writing its header leaves an
// empty file; it renamed nothing, so its undo has nothing to do and succeeds.
TEST_F(WalkTest, UndoOfAnEmptyJournalHasNothingToDo) {
  File(J({u"T", u"a&.txt"}));
  File(u"run.journal", "");
  const ConsoleRun undo = Scour({u"-u", u"run.journal", u"-v", u"2"});
  EXPECT_EQ(undo.exitCode, 0u);
  EXPECT_TRUE(HasLine(undo.console,
                      u"SKIP_UNDO JOURNAL: run.journal (empty: its run stopped "
                      u"before its first rename)"));
  EXPECT_EQ(testsupport::SummaryValue(undo.console, labels::kRecords), 0);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, labels::kNothingToDo), 1);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, labels::kRefused), 0);
  EXPECT_TRUE(Exists(J({u"T", u"a&.txt"})));
}

}  // namespace
