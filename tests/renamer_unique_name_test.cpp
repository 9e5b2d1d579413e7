// End-to-end runs of namescourer where new names meet names that exist or
// are taken in the same run: the counter that keeps every name unique.
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

TEST_F(WalkTest, ExistingEntriesAreNeverOverwritten) {
  File(J({u"T", u"a&b.txt"}), "A");
  File(J({u"T", u"a[+]b.txt"}), "B");
  File(J({u"T", u"1_a[+]b.txt"}), "C");
  File(J({u"T", u"d&e", u"in.txt"}), "D");
  File(J({u"T", u"d[+]e", u"in.txt"}), "E");
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"2"});
  EXPECT_EQ(WalkLines(run.console),
            Concat({RenameLines(u"Dir", J({u"T", u"d&e"}), J({u"T", u"d[+]e_1"})),
                    RenameLines(u"File", J({u"T", u"a&b.txt"}), J({u"T", u"2_a[+]b.txt"}))}));
  EXPECT_EQ(Content(J({u"T", u"2_a[+]b.txt"})), "A");
  EXPECT_EQ(Content(J({u"T", u"a[+]b.txt"})), "B");
  EXPECT_EQ(Content(J({u"T", u"1_a[+]b.txt"})), "C");
  EXPECT_EQ(Content(J({u"T", u"d[+]e_1", u"in.txt"})), "D");
  EXPECT_EQ(Content(J({u"T", u"d[+]e", u"in.txt"})), "E");
  EXPECT_EQ(run.exitCode, 0u);
}

// Names that collide once rewritten, and renames that free a name for a
// later entry ("b" becomes "c" before "a" becomes "b"), in both kinds. The
// folders whose names change are empty: debug mode does not go down into
// them, and the file pass shows their entries under their present names.
TEST_F(WalkTest, DebugModeForeseesItsOwnRenames) {
  // "B.txt" frees "b.txt" for "a.txt" where names ignore case; elsewhere
  // it stands beside "b.txt".
  std::vector<std::u16string> files = {u"a.txt",  u"B.txt",  u"c.txt",  u"x&.txt",
                                       u"x#.txt", u"x+.txt", u"y&.txt", u"y#.txt"};
  if (!OnWindows()) files.emplace_back(u"b.txt");
  for (const std::u16string& name : files) File(J({u"T", name}), Narrow(name));
  File(J({u"T", u"keep", u"a.txt"}), "keep a");
  File(J({u"T", u"keep", u"b.txt"}), "keep b");
  for (const std::u16string dir : {u"a", u"b", u"c", u"d&", u"d#", u"e&", u"e#", u"e+_1"}) {
    Dir(J({u"T", dir}));
  }
  Rules("&\r\n+\r\n#\r\n+\r\nb\r\nc\r\na\r\nb\r\nB\r\nC\r\n");
  const Lines walk = DebugThenWorkingAgree({u"-d", u"T"});
  // Every file but c.txt and x+.txt changes, and both in keep.
  EXPECT_EQ(CountStartingWith(walk, u"New File:"), files.size());
  EXPECT_EQ(CountStartingWith(walk, u"New Dir:"), 6u);
  Lines list = FileList();
  std::sort(list.begin(), list.end());
  EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
  EXPECT_EQ(list.size(), files.size() + 2);
}

// A run's report with the order of its groups set aside: each Old/New pair
// and its rule line one group, every other line its own, sorted; then the
// settings and statistics rows but those that name the mode. The file
// system may list renamed entries in another order than the preview saw.
Lines ReportWithoutOrder(const Lines& lines) {
  const Lines walk = WalkLines(lines);
  Lines groups;
  for (std::size_t i = 0; i < walk.size(); ++i) {
    std::u16string group = walk[i];
    if (walk[i].rfind(u"Old ", 0) == 0 || walk[i].rfind(u"ERR_EXCEPTION", 0) == 0) {
      for (std::size_t k = 1; k <= 2 && i + 1 < walk.size(); ++k) group += u"\n" + walk[++i];
    }
    groups.push_back(group);
  }
  std::sort(groups.begin(), groups.end());
  auto rows = std::find_if(lines.begin(), lines.end(), [](const std::u16string& line) {
    return line.rfind(labels::kInitialPath, 0) == 0;
  });
  for (; rows != lines.end(); ++rows) {
    if (rows->rfind(u"   Preview mode: ", 0) != 0 && rows->rfind(u"   Journal file: ", 0) != 0 &&
        rows->rfind(labels::kDebugRenaming, 0) != 0) {
      groups.push_back(*rows);
    }
  }
  return groups;
}

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

struct PreviewCase {
  const char* what;
  std::string rules;
  std::u16string start;                     // below the row's own folder
  std::vector<std::u16string> dirs, files;  // below the start directory
  std::vector<std::u16string> args;
  bool debugForesees;  // whether debug mode (-b 1) shows the run as well
};

// -p 1, then the working run: the same report (every level), counters,
// file list, log and journal records, and a plan that undo refuses. Debug
// mode cannot go down into a renamed directory, so it misses the nested
// rows' renames.
TEST_F(WalkTest, PreviewShowsTheWholeRunAtEveryLevel) {
  std::vector<PreviewCase> cases = {
      {"renamed directories three levels deep, files at each level",
       "&\r\n+\r\n",
       u"T",
       {J({u"a&", u"b&", u"c&", u"d"}), J({u"a&", u"keep", u"e&"})},
       {J({u"f&.txt"}), J({u"a&", u"f&.txt"}), J({u"a&", u"b&", u"f&.txt"}),
        J({u"a&", u"b&", u"c&", u"f&.txt"}), J({u"a&", u"b&", u"c&", u"d", u"f&.txt"}),
        J({u"a&", u"keep", u"e&", u"g.txt"})},
       {},
       false},
      {"collisions between directories and between files at several levels",
       "&\r\n+\r\n#\r\n+\r\n",
       u"T",
       {J({u"a&", u"x&", u"y#"}), J({u"a&", u"x#"}), J({u"a&", u"x+", u"y&"}), J({u"a+"}),
        J({u"a#"})},
       {J({u"z&.txt"}), J({u"z+.txt"}), J({u"a&", u"z&.txt"}), J({u"a&", u"z#.txt"}),
        J({u"a&", u"x&", u"z&.txt"}), J({u"a&", u"x&", u"z#.txt"}), J({u"a&", u"x&", u"z+.txt"}),
        J({u"a&", u"x#", u"z&.txt"})},
       {},
       false},
      {"names freed by a rename and taken by the next",
       "&\r\n+\r\nb\r\nc\r\na\r\nb\r\n",
       u"T",
       {J({u"p&", u"a"}), J({u"p&", u"b"}), J({u"p&", u"b", u"q&", u"a"}),
        J({u"p&", u"b", u"q&", u"b"})},
       {J({u"p&", u"a.txt"}), J({u"p&", u"b.txt"}), J({u"p&", u"b", u"q&", u"a.txt"}),
        J({u"p&", u"b", u"q&", u"b.txt"}), J({u"p&", u"b", u"q&", u"a", u"b.txt"})},
       {},
       false},
      {"a rule that changes the start directory's own name",
       "&\r\n+\r\n",
       u"T&U",
       {J({u"a&", u"b&"})},
       {J({u"f&.txt"}), J({u"a&", u"b&", u"f&.txt"})},
       {},
       false},
      {"a rule that changes a parent of the start directory: that rename fails",
       "&\r\n+\r\n",
       J({u"P&", u"T"}),
       {J({u"a&", u"b&"})},
       {J({u"f&.txt"}), J({u"a&", u"b&", u"f&.txt"})},
       {},
       false},
      {"renames in one folder only, which debug mode foresees too",
       "&\r\n+\r\n",
       u"T",
       {J({u"a&"}), J({u"a+"}), J({u"keep", u"k"})},
       {J({u"f&.txt"}), J({u"f+.txt"}), J({u"keep", u"k", u"g&.txt"})},
       {},
       true},
  };
  if (!OnWindows()) {
    cases.push_back({"-w 1: names that differ only in case, below a renamed directory",
                     "&\r\n+\r\n",
                     u"T",
                     {J({u"a&", u"Ab&", u"x"}), J({u"a&", u"aB+", u"x"}), J({u"a&", u"AB+"})},
                     {J({u"a&", u"Ab&", u"x", u"F&.txt"}), J({u"a&", u"Ab&", u"x", u"f+.txt"}),
                      J({u"a&", u"Ab&", u"x", u"f&.TXT"})},
                     {u"-w", u"1"},
                     false});
  }
  int row = 0;
  for (const PreviewCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string base = u"r" + U(std::to_string(++row));
    const std::u16string start = J({base, c.start});
    Dir(start);
    for (const std::u16string& dir : c.dirs) Dir(J({start, dir}));
    for (const std::u16string& file : c.files) File(J({start, file}), Narrow(file));
    Rules(c.rules);
    const auto before = Tree();
    std::vector<std::u16string> args = {u"-d",       start, u"-v",      u"2",  u"-n",
                                        u"list.txt", u"-l", u"log.txt", u"-j", u"j.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    // One run of the arguments and extra: its report, file list, log and
    // journal, whose files are then removed.
    struct Outcome {
      ConsoleRun run;
      Lines list, log, journal;
      std::string journalBytes;
    };
    const auto run = [&](const std::vector<std::u16string>& extra) {
      std::vector<std::u16string> all = args;
      all.insert(all.end(), extra.begin(), extra.end());
      Outcome outcome{Scour(all),
                      FileList(),
                      testsupport::Utf8Lines(Content(u"log.txt")),
                      {},
                      Exists(u"j.txt") ? Content(u"j.txt") : std::string()};
      outcome.journal = testsupport::Utf8Lines(outcome.journalBytes);
      for (const char* name : {"list.txt", "log.txt", "j.txt"}) fs::remove(scratch_ / name);
      return outcome;
    };
    const Outcome debug = run({u"-b", u"1"});
    const Outcome preview = run({u"-p", u"1"});
    EXPECT_EQ(Tree(), before) << "the preview changed the tree";
    EXPECT_EQ(Setting(preview.run.console, u"   Preview mode: "), u"yes (nothing renamed)");
    // The plan, kept aside: undo refuses it and leaves the tree.
    ASSERT_FALSE(preview.journal.empty());
    EXPECT_EQ(preview.journal[0].rfind(u"namescourer plan\t", 0), 0u);
    testsupport::WriteBytes(scratch_ / "plan.txt", preview.journalBytes);
    const auto withPlan = Tree();
    const auto undo = testsupport::RunProgram("namescourer", {u"-u", u"plan.txt"}, scratch_.path());
    EXPECT_EQ(undo.exitCode, 1u);
    EXPECT_NE(undo.err.find("a plan written by a preview"), std::string::npos) << undo.err;
    EXPECT_EQ(Tree(), withPlan) << "the undo of a plan changed the tree";
    fs::remove(scratch_ / "plan.txt");

    const Outcome working = run({});
    EXPECT_NE(Tree(), before) << "the working run renamed nothing";
    EXPECT_EQ(ReportWithoutOrder(preview.run.console), ReportWithoutOrder(working.run.console));
    EXPECT_EQ(Counters(preview.run.console), Counters(working.run.console));
    EXPECT_EQ(preview.run.exitCode, working.run.exitCode);
    EXPECT_EQ(Sorted(preview.list), Sorted(working.list));
    EXPECT_EQ(ReportWithoutOrder(preview.log), ReportWithoutOrder(working.log));
    ASSERT_FALSE(working.journal.empty());
    EXPECT_EQ(preview.journal[0].substr(preview.journal[0].find(u'\t')),
              working.journal[0].substr(working.journal[0].find(u'\t')));
    EXPECT_EQ(Sorted(Lines(preview.journal.begin() + 1, preview.journal.end())),
              Sorted(Lines(working.journal.begin() + 1, working.journal.end())));
    // Debug mode stops at a renamed directory; where none holds a rename,
    // it agrees too.
    EXPECT_EQ(ReportWithoutOrder(debug.run.console) == ReportWithoutOrder(working.run.console) &&
                  Sorted(debug.list) == Sorted(working.list),
              c.debugForesees);
  }
}

TEST_F(WalkTest, WorkingRunKeepsEveryFile) {
  const std::vector<std::u16string> dirs = {u"T",
                                            J({u"T", u"d&1"}),
                                            J({u"T", u"d[+]1"}),
                                            J({u"T", u"d[+]1_1"}),
                                            J({u"T", u"d&1", u"e f"}),
                                            J({u"T", u"d&1", u"e_f"}),
                                            J({u"T", u"d[+]1", U("\xC5\x81\xC3\xB3\x64\xC5\xBA")})};
  const std::vector<std::u16string> names = {u"a&b.txt",
                                             u"a[+]b.txt",
                                             u"1_a[+]b.txt",
                                             u"a b.txt",
                                             u"a_b.txt",
                                             u"x & y & z",
                                             u"x [+] y [+] z",
                                             U("\xE6\x96\x87&.txt"),
                                             U("\xC5\x81\xC3\xB3\x64\xC5\xBA.txt"),
                                             U("Lodz.txt"),
                                             U("\xC3\xA9&\xC3\xA9.txt")};
  int serial = 0;
  for (const std::u16string& dir : dirs) {
    for (const std::u16string& name : names) File(J({dir, name}), std::to_string(serial++));
  }
  Rules("&\r\n[+]\r\n \r\n_\r\n\xE9\r\ne\r\n");
  const std::vector<std::string> before = AllContents(At(u"T"));
  ASSERT_EQ(before.size(), dirs.size() * names.size());
  for (int pass = 1; pass <= 2; ++pass) {
    Scour({u"-d", u"T"});
    EXPECT_EQ(AllContents(At(u"T")), before) << "after run " << pass;
  }
  EXPECT_TRUE(Exists(J({u"T", u"d[+]1_2", u"e_f_1", u"1_a_b.txt"})));
}

}  // namespace
