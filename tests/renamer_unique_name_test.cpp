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
