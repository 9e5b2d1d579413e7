// End-to-end runs of namescourer over real trees: the two passes, their
// console lines, the file list, the counters and the exit code.
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

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace renamertest;  // NOLINT(google-build-using-namespace): the shared fixture

TEST_F(WalkTest, WorkedExampleRenamesDirectoryThenFile) {
  File(J({u"T", u"a&b", u"x&y.txt"}), "content");
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"2", u"-n", u"list.txt"});
  EXPECT_EQ(WalkLines(run.console),
            Concat({RenameLines(u"Dir", J({u"T", u"a&b"}), J({u"T", u"a[+]b"})),
                    RenameLines(u"File", J({u"T", u"a[+]b", u"x&y.txt"}),
                                J({u"T", u"a[+]b", u"x[+]y.txt"}))}));
  EXPECT_EQ(FileList(), (Lines{J({u"T", u"a[+]b", u"x[+]y.txt"})}));
  EXPECT_EQ(Content(J({u"T", u"a[+]b", u"x[+]y.txt"})), "content");
  EXPECT_FALSE(Exists(J({u"T", u"a&b"})));
  Counts expected;
  expected.total = expected.dirs = expected.files = 1;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 0u);
}

TEST_F(WalkTest, StartDirectoryRenamedLeavesFilePassEmpty) {
  std::vector<std::u16string> prefixes = {u""};
  // Windows: "Z:T&U" is T&U in the current folder of drive Z, this one's.
  if (OnWindows()) prefixes.push_back(At(u"").u16string().substr(0, 2));
  for (const std::u16string& prefix : prefixes) {
    fs::remove_all(At(u"T[+]U"));
    File(J({u"T&U", u"f&.txt"}));
    Rules(kAmpRule);
    const ConsoleRun run = Scour({u"-d", prefix + u"T&U", u"-v", u"2"});
    EXPECT_EQ(WalkLines(run.console), RenameLines(u"Dir", prefix + u"T&U", prefix + u"T[+]U"))
        << Narrow(prefix);
    EXPECT_TRUE(Exists(J({u"T[+]U", u"f&.txt"}))) << Narrow(prefix);
    Counts expected;
    expected.dirs = 1;
    EXPECT_EQ(Counters(run.console), expected) << Narrow(prefix);
    EXPECT_EQ(run.exitCode, 0u) << Narrow(prefix);
  }
}

TEST_F(WalkTest, ParentOfStartDirectoryChangedFailsButFilesAreRenamed) {
  File(J({u"A&B", u"T", u"x&y.txt"}));
  Dir(J({u"A&B", u"T", u"s&"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", J({u"A&B", u"T"}), u"-v", u"2"});
  EXPECT_EQ(WalkLines(run.console),
            Concat({RenameLines(u"Dir", J({u"A&B", u"T"}), J({u"A[+]B", u"T"})),
                    FailedRenameLines(u"DIR", J({u"A&B", u"T"}), J({u"A[+]B", u"T"})),
                    RenameLines(u"File", J({u"A&B", u"T", u"x&y.txt"}),
                                J({u"A&B", u"T", u"x[+]y.txt"}))}));
  EXPECT_TRUE(Exists(J({u"A&B", u"T", u"x[+]y.txt"})));
  EXPECT_TRUE(Exists(J({u"A&B", u"T", u"s&"})));  // nothing below a failed rename is renamed
  Counts expected;
  expected.total = expected.files = expected.io = 1;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 1u);
}

TEST_F(WalkTest, DebugModeReportsAndListsButRenamesNothing) {
  File(J({u"T", u"a&b", u"x&y.txt"}));
  File(J({u"T", u"k&.txt"}));
  Rules(kAmpRule);
  const auto before = Tree();
  const ConsoleRun run = Scour({u"-d", u"T", u"-b", u"1", u"-v", u"2", u"-n", u"list.txt"});
  EXPECT_EQ(
      WalkLines(run.console),
      Concat({RenameLines(u"Dir", J({u"T", u"a&b"}), J({u"T", u"a[+]b"})),
              RenameLines(u"File", J({u"T", u"a&b", u"x&y.txt"}), J({u"T", u"a&b", u"x[+]y.txt"})),
              RenameLines(u"File", J({u"T", u"k&.txt"}), J({u"T", u"k[+].txt"}))}));
  EXPECT_EQ(FileList(), (Lines{J({u"T", u"a&b", u"x[+]y.txt"}), J({u"T", u"k[+].txt"})}));
  auto after = Tree();
  after.erase("list.txt");
  EXPECT_EQ(after, before);
  Counts expected;
  expected.total = 2;
  expected.dirs = 1;
  expected.files = 2;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 0u);
}

TEST_F(WalkTest, NoSubdirectoriesProcessesOnlyTheStartDirectory) {
  File(J({u"T", u"k&.txt"}));
  File(J({u"T", u"a&b", u"x&y.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"-T", u"-v", u"2", u"-n", u"list.txt"});
  EXPECT_EQ(Setting(run.console, labels::kInclSubdirs), u"no");
  EXPECT_EQ(WalkLines(run.console),
            RenameLines(u"File", J({u"T", u"k&.txt"}), J({u"T", u"k[+].txt"})));
  EXPECT_EQ(FileList(), (Lines{J({u"T", u"k[+].txt"})}));
  EXPECT_TRUE(Exists(J({u"T", u"a&b", u"x&y.txt"})));
  Counts expected;
  expected.total = expected.files = 1;
  EXPECT_EQ(Counters(run.console), expected);
}

TEST_F(WalkTest, CurrentDirectoryIsWalkedByRelativePaths) {
  File(u"k&.txt");
  File(J({u"a&b", u"x&y.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-v", u"2"});
  EXPECT_EQ(Setting(run.console, labels::kInitialPath), u"");
  EXPECT_EQ(WalkLines(run.console),
            Concat({RenameLines(u"Dir", u"a&b", u"a[+]b"),
                    RenameLines(u"File", J({u"a[+]b", u"x&y.txt"}), J({u"a[+]b", u"x[+]y.txt"})),
                    RenameLines(u"File", u"k&.txt", u"k[+].txt")}));
  Counts expected;
  expected.total = 3;  // rules.txt too
  expected.dirs = 1;
  expected.files = 2;
  EXPECT_EQ(Counters(run.console), expected);
}

TEST_F(WalkTest, DashAloneIsTheCurrentDirectoryWithoutSubdirectories) {
  File(u"k&.txt");
  File(J({u"a&b", u"x&y.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"-", u"-v", u"2"});
  EXPECT_EQ(Setting(run.console, labels::kInitialPath), u"");
  EXPECT_EQ(Setting(run.console, labels::kInclSubdirs), u"no");
  EXPECT_EQ(WalkLines(run.console), RenameLines(u"File", u"k&.txt", u"k[+].txt"));
  EXPECT_TRUE(Exists(J({u"a&b", u"x&y.txt"})));
  Counts expected;
  expected.total = 2;
  expected.files = 1;
  EXPECT_EQ(Counters(run.console), expected);
}

TEST_F(WalkTest, MissingOrFileStartDirectoryGivesEmptyWalk) {
  File(u"afile.txt");
  Rules(kAmpRule);
  for (const std::u16string start : {u"nothere", u"afile.txt"}) {
    const ConsoleRun run = Scour({u"-d", start, u"-v", u"2"});
    EXPECT_EQ(WalkLines(run.console), Lines{}) << Narrow(start);
    EXPECT_EQ(Counters(run.console), Counts{}) << Narrow(start);
    EXPECT_EQ(run.exitCode, 0u);
  }
}

TEST_F(WalkTest, FileWhoseNewNameIsADirectoryFailsAndIsNotListed) {
  File(J({u"T", u"x&y.txt"}), "keep");
  Dir(J({u"T", u"x[+]y.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-n", u"list.txt"});
  EXPECT_EQ(WalkLines(run.console),
            FailedRenameLines(u"FILE", J({u"T", u"x&y.txt"}), J({u"T", u"x[+]y.txt"})));
  EXPECT_EQ(FileList(), Lines{});
  EXPECT_EQ(Content(J({u"T", u"x&y.txt"})), "keep");
  EXPECT_TRUE(fs::is_directory(At(J({u"T", u"x[+]y.txt"}))));
  Counts expected;
  expected.total = expected.io = 1;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 1u);
}

TEST_F(WalkTest, HiddenAndReadOnlyFilesAreRenamed) {
  File(J({u"T", u".h&.txt"}), "H");
  File(J({u"T", u"r&.txt"}), "R");
  File(J({u"T", u"s&.txt"}), "S");
  fs::permissions(At(J({u"T", u"r&.txt"})),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (OnWindows()) {
    // Hidden and system are attributes there; attrib is the portable way to set them.
    const std::string target = At(J({u"T", u"s&.txt"})).string();
    EXPECT_EQ(std::system(("attrib +h +s \"" + target + "\" >NUL").c_str()), 0);
  }
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T"});
  EXPECT_EQ(Content(J({u"T", u".h[+].txt"})), "H");
  EXPECT_EQ(Content(J({u"T", u"r[+].txt"})), "R");
  EXPECT_EQ(Content(J({u"T", u"s[+].txt"})), "S");
  EXPECT_EQ(fs::status(At(J({u"T", u"r[+].txt"}))).permissions() & fs::perms::owner_write,
            fs::perms::none);
  Counts expected;
  expected.total = expected.files = 3;
  EXPECT_EQ(Counters(run.console), expected);
  fs::permissions(At(J({u"T", u"r[+].txt"})), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(WalkTest, MaskMatchesWithoutRegardToCaseAndSkipsDirectories) {
  File(J({u"T", u"a&.TXT"}), "a");
  File(J({u"T", u"b&.txt"}), "b");
  File(J({u"T", u"c&.jpg"}), "c");
  Dir(J({u"T", u"d&.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-f", u"*.txt", u"-v", u"2"});
  EXPECT_EQ(Content(J({u"T", u"a[+].TXT"})), "a");
  EXPECT_EQ(Content(J({u"T", u"b[+].txt"})), "b");
  EXPECT_EQ(Content(J({u"T", u"c&.jpg"})), "c");
  EXPECT_TRUE(fs::is_directory(At(J({u"T", u"d[+].txt"}))));  // by the directory pass
  Counts expected;
  expected.total = expected.files = 2;
  expected.dirs = 1;
  EXPECT_EQ(Counters(run.console), expected);
}

TEST_F(WalkTest, AMaskWithASeparatorMatchesNoFile) {
  File(u"p&.txt", "P");
  File(J({u"T", u"s", u"i&.txt"}), "I");
  Rules(kAmpRule);
  std::vector<std::u16string> masks = {J({u"..", u"*"}), J({u"s", u"*"})};
  if (OnWindows()) masks.emplace_back(u"C:*");
  for (const std::u16string& mask : masks) {
    const ConsoleRun run = Scour({u"-d", u"T", u"-f", mask, u"-v", u"2"});
    EXPECT_EQ(WalkLines(run.console), Lines{}) << Narrow(mask);
    EXPECT_EQ(Counters(run.console), Counts{}) << Narrow(mask);
  }
  EXPECT_EQ(Content(u"p&.txt"), "P");
  EXPECT_EQ(Content(J({u"T", u"s", u"i&.txt"})), "I");
}

TEST_F(WalkTest, FileListPutsSubdirectoriesFilesFirst) {
  File(J({u"T", u"top&.txt"}));
  File(J({u"T", u"s&1", u"mid.txt"}));
  File(J({u"T", u"s&1", u"d", u"low&.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-n", u"list.txt"});
  EXPECT_EQ(WalkLines(run.console), Lines{});  // level 0 writes no walk lines
  EXPECT_EQ(FileList(), (Lines{
                            J({u"T", u"s[+]1", u"d", u"low[+].txt"}),
                            J({u"T", u"s[+]1", u"mid.txt"}),
                            J({u"T", u"top[+].txt"}),
                        }));
}

struct ExitCase {
  const char* what;
  std::string rules;
  std::vector<std::u16string> files, dirs, extraArgs;
  std::uint32_t replaces, io, exitCode;
};

TEST_F(WalkTest, ExitCodeIsFirstNonZeroOfErrorsSubdirsReplaces) {
  const std::vector<ExitCase> cases = {
      {"capped substitutions only", "a\na\n", {u"a1.txt", u"a2.txt", u"a3.txt"}, {}, {}, 3, 0, 3},
      {"I/O errors come first",
       "a\na\n&\n[+]\n",
       {u"a1.txt", u"a2.txt", u"a3.txt", u"x&y.txt", u"p&q.txt"},
       {u"x[+]y.txt", u"p[+]q.txt"},
       {},
       3,
       2,
       2},
      {"growing rule in debug mode", "&\n&&\n", {u"a&b.txt"}, {}, {u"-b", u"1"}, 1, 0, 1},
      {"nothing capped, nothing failed", "&\n[+]\n", {u"a&b.txt"}, {}, {}, 0, 0, 0},
  };
  for (const ExitCase& c : cases) {
    fs::remove_all(At(u"T"));
    for (const std::u16string& file : c.files) File(J({u"T", file}));
    for (const std::u16string& dir : c.dirs) Dir(J({u"T", dir}));
    Rules(c.rules);
    std::vector<std::u16string> args = {u"-d", u"T", u"-v", u"1"};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    const ConsoleRun run = Scour(args);
    const Counts counts = Counters(run.console);
    EXPECT_EQ(counts.replaces, c.replaces) << c.what;
    EXPECT_EQ(counts.io, c.io) << c.what;
    EXPECT_EQ(CountStartingWith(WalkLines(run.console), u"ERR_EXCEED_REPLACE: "), c.replaces)
        << c.what;
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
  }
}

TEST_F(WalkTest, CappedRuleReportsTextAfter1024thSubstitution) {
  File(J({u"T", u"a&b.txt"}));
  Rules("&\n&&\n");
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-b", u"1"});
  EXPECT_EQ(WalkLines(run.console),
            (Lines{u"ERR_EXCEED_REPLACE: a" + std::u16string(1025, u'&') + u"b.txt"}));
}

TEST_F(WalkTest, DepthCapStopsBelowLevel512) {
  if (OnWindows()) GTEST_SKIP() << "a chain of 514 nested directories exceeds Windows paths";
  std::u16string level512 = u"C";
  for (int level = 2; level <= 512; ++level) level512 += testsupport::Sep() + u"d";
  const std::u16string level513 = J({level512, u"d"});
  File(J({level512, u"x&.txt"}));
  File(J({level513, u"x&.txt"}));
  Dir(J({level513, u"d"}));
  File(J({u"C", u"a1.txt"}));
  File(J({u"C", u"a2.txt"}));
  Rules("&\n[+]\na\na\n");
  const ConsoleRun run = Scour({u"-d", u"C", u"-v", u"1"});
  const Lines walk = WalkLines(run.console);
  ASSERT_EQ(CountStartingWith(walk, u"ERR_EXCEED_SUBDIR: "), 1u);
  EXPECT_EQ(walk.front(), u"ERR_EXCEED_SUBDIR: " + level513 + testsupport::Sep());
  EXPECT_TRUE(Exists(J({level512, u"x[+].txt"})));
  EXPECT_TRUE(Exists(J({level513, u"x&.txt"})));
  const Counts counts = Counters(run.console);
  EXPECT_EQ(counts.total, 3u);  // the level-513 file is not seen
  EXPECT_EQ(counts.replaces, 2u);
  EXPECT_EQ(counts.subdirs, 1u);
  EXPECT_EQ(run.exitCode, 1u);  // skipped subdirectories before capped substitutions
}

#ifndef _WIN32
// Below the start directory paths are resolved one folder at a time, so a
// tree deeper than the system's path limit (4096 bytes) is walked whole, and
// the rules rewrite a path longer than 32,767 units in full.
TEST_F(WalkTest, PathsLongerThanTheSystemLimitAreProcessed) {
  struct DeepCase {
    int levels;
    std::size_t partLength;
    std::string deepest;
    std::u16string renamed;
  };
  const std::vector<DeepCase> cases = {
      {40, 120, "d&", u"d[+]"},
      {200, 170, "q&x&y", u"q[+]x[+]y"},
  };
  for (const DeepCase& c : cases) {
    fs::remove_all(At(u"T"));
    fs::remove(At(u"list.txt"));  // a file list is appended to
    const std::string part(c.partLength, 'p');
    fs::create_directory(At(u"T"));
    int fd = ::open(At(u"T").c_str(), O_RDONLY | O_DIRECTORY);
    std::u16string deepest = u"T";
    for (int level = 0; level < c.levels; ++level) {
      const std::string name = level == c.levels - 1 ? c.deepest : part;
      ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
      const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
      deepest += u"/" + (level == c.levels - 1 ? c.renamed : U(part));
    }
    ASSERT_EQ(::close(::openat(fd, "x&y", O_WRONLY | O_CREAT, 0644)), 0);
    ::close(fd);
    ASSERT_GT(deepest.size(), 4096u);
    Rules(kAmpRule);
    const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-n", u"list.txt"});
    EXPECT_EQ(FileList(), (Lines{deepest + u"/x[+]y"})) << c.levels;
    Counts expected;
    expected.total = expected.files = expected.dirs = 1;
    EXPECT_EQ(Counters(run.console), expected) << c.levels;
    EXPECT_EQ(run.exitCode, 0u) << c.levels;
    // Every "&" is gone, so a second run meets the file and renames nothing.
    const ConsoleRun again = Scour({u"-d", u"T", u"-v", u"1"});
    Counts unchanged;
    unchanged.total = 1;
    EXPECT_EQ(Counters(again.console), unchanged) << c.levels;
  }
}
#endif

TEST_F(WalkTest, DirectoryLinksAreRenamedButNeverEntered) {
  if (OnWindows()) GTEST_SKIP() << "directory links need privileges under Windows";
  // The start directory S is a link to R, and is entered: the user named it.
  File(J({u"R", u"x&.txt"}), "X");
  File(J({u"O", u"o&.txt"}), "O");
  fs::create_directory_symlink("R", At(u"S"));
  fs::create_directory_symlink(fs::path("..") / "O", At(J({u"R", u"out&"})));
  fs::create_directory_symlink("..", At(J({u"R", u"up&"})));
  fs::create_directory_symlink(".", At(J({u"R", u"loop"})));
  fs::create_directory_symlink(".", At(J({u"R", u"loop&"})));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"S", u"-v", u"2", u"-n", u"list.txt"});
  // Each link has its rename step once, in listing order; none is followed
  // out of the tree or round the loop.
  Lines walk = WalkLines(run.console);
  std::sort(walk.begin(), walk.end());
  EXPECT_EQ(walk,
            (Lines{u"----", u"----", u"----", u"----", u"New Dir:S/loop[+]", u"New Dir:S/out[+]",
                   u"New Dir:S/up[+]", u"New File:S/x[+].txt", u"Old Dir:S/loop&",
                   u"Old Dir:S/out&", u"Old Dir:S/up&", u"Old File:S/x&.txt"}));
  EXPECT_EQ(FileList(), (Lines{u"S/x[+].txt"}));
  EXPECT_EQ(Content(J({u"R", u"x[+].txt"})), "X");
  EXPECT_EQ(Content(J({u"O", u"o&.txt"})), "O");
  for (const std::u16string link : {u"out[+]", u"up[+]", u"loop[+]", u"loop"}) {
    EXPECT_TRUE(fs::is_symlink(At(J({u"R", link})))) << Narrow(link);
  }
  Counts expected;
  expected.total = expected.files = 1;
  expected.dirs = 3;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 0u);
}

struct MoveCase {
  const char* what;
  std::string rules;
  std::vector<std::u16string> files, dirs;
  std::u16string start;
};

// In working mode no rename moves an entry into another directory, even
// where that directory exists: it fails like a refused rename.
TEST_F(WalkTest, RenamesNeverMoveAnEntryIntoAnotherDirectory) {
  const std::string sep = Narrow(testsupport::Sep());
  const std::vector<MoveCase> cases = {
      {"separator in a file name",
       "_\n" + sep + "\n",
       {J({u"T", u"sub_x.txt"})},
       {J({u"T", u"sub"})},
       u"T"},
      {"file name leading out of the tree",
       "upX\n.." + sep + "escaped\n",
       {J({u"T", u"upX"})},
       {},
       u"T"},
      {"NUL in a file name", std::string("a\nb\0\n", 5), {J({u"T", u"xa.txt"})}, {}, u"T"},
      // The refused name leads nowhere: no counter name looks taken, and the
      // walk does not go down into it.
      {"NUL in a directory name", std::string("a\n\0\n", 4), {}, {J({u"T", u"a"})}, u"T"},
      {"search string across a separator", "a" + sep + "b\nc\n", {}, {J({u"T", u"a", u"b"})}, u"T"},
      {"start directory into an existing folder",
       " \n_\n",
       {},
       {J({u"My Files", u"T"}), u"My_Files"},
       J({u"My Files", u"T"})},
      {"start path that names a file", "&\n+\n", {J({u"T", u"x&.txt"})}, {}, J({u"T", u"x&.txt"})},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* top : {"T", "My Files", "My_Files"}) fs::remove_all(scratch_ / top);
    for (const std::u16string& file : c.files) File(file);
    for (const std::u16string& dir : c.dirs) Dir(dir);
    Rules(c.rules);
    const auto before = Tree();
    const ConsoleRun run = Scour({u"-d", c.start, u"-v", u"1"});
    EXPECT_EQ(Tree(), before);
    const Lines walk = WalkLines(run.console);
    EXPECT_EQ(walk.size(), 3u);
    EXPECT_EQ(CountStartingWith(walk, u"ERR_EXCEPTION "), 2u);
    EXPECT_EQ(Counters(run.console).io, 1u);
    EXPECT_EQ(run.exitCode, 1u);
  }
}

// A name can hold any character but "/" on POSIX; in the lines that show it
// a control character becomes "?", so that it can neither end a line nor
// steer a terminal. The rename itself uses the real name.
TEST_F(WalkTest, ControlCharactersInNamesForgeNoLine) {
  if (OnWindows()) GTEST_SKIP() << "Windows names cannot hold control characters";
  File(J({u"T", u"c\r\nforged&.txt"}), "C");
  File(J({u"T", u"e\x1b[2J&\x7f"}), "E");
  File(J({u"T", u"b&\u0085Old File:\u202eevil.txt"}), "B");
  Dir(J({u"T", u"d\n&"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"2", u"-l", u"run.log", u"-n", u"list.txt"});
  EXPECT_EQ(Content(J({u"T", u"c\r\nforged[+].txt"})), "C");
  EXPECT_EQ(Content(J({u"T", u"e\x1b[2J[+]\x7f"})), "E");
  EXPECT_TRUE(fs::is_directory(At(J({u"T", u"d\n[+]"}))));
  Lines walk = WalkLines(run.console);
  std::sort(walk.begin(), walk.end());
  EXPECT_EQ(walk,
            (Lines{u"----", u"----", u"----", u"----", u"FORBID_? SYM File: b&?Old File:?evil.txt",
                   u"New Dir:T/d?[+]", u"New File:T/b[+]?Old File:?evil.txt",
                   u"New File:T/c??forged[+].txt", u"New File:T/e?[2J[+]?", u"Old Dir:T/d?&",
                   u"Old File:T/b&?Old File:?evil.txt", u"Old File:T/c??forged&.txt",
                   u"Old File:T/e?[2J&?", u"WARN_UTF SYM File: b&?Old File:?evil.txt"}));
  Lines list = FileList();
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (Lines{u"T/b[+]?Old File:?evil.txt", u"T/c??forged[+].txt", u"T/e?[2J[+]?"}));
  EXPECT_EQ(testsupport::Utf8Lines(Content(u"run.log")), run.console);
}

TEST_F(WalkTest, NamesThatAreNotUtf8AreRenamedAndKept) {
  if (OnWindows()) GTEST_SKIP() << "Windows names are always UTF-16";
  fs::create_directory(scratch_ / "T");
  testsupport::WriteBytes(scratch_ / "T" / "bad\xFF&.txt", "1");
  testsupport::WriteBytes(scratch_ / "T" / "\xE9t\xE9.txt", "2");
  testsupport::WriteBytes(scratch_ / "T" / "ok.txt", "3");
  fs::create_directory(scratch_ / "T" / "d\xFE");
  testsupport::WriteBytes(scratch_ / "T" / "d\xFE" / "in.txt", "4");
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-l", u"run.log"});
  EXPECT_EQ(testsupport::FilesOf(testsupport::TreeBelow(scratch_ / "T")),
            (std::map<std::string, std::string>{
                {"bad?[+].txt", "1"}, {"?t?.txt", "2"}, {"ok.txt", "3"}, {"d?/in.txt", "4"}}));
  const Lines walk = WalkLines(run.console);
  EXPECT_EQ(CountStartingWith(walk, u"WARN_UTF SYM File: "), 2u);
  EXPECT_EQ(CountStartingWith(walk, u"FORBID_? SYM File: "), 2u);
  // Console and log are valid UTF-8: a byte that is not shows as U+FFFD.
  EXPECT_TRUE(HasLine(walk, u"WARN_UTF SYM Dir: T/d\uFFFD"));
  EXPECT_TRUE(HasLine(walk, u"WARN_UTF SYM File: \uFFFDt\uFFFD.txt"));
  const Lines log = testsupport::Utf8Lines(Content(u"run.log"));
  EXPECT_EQ(log, run.console);
  for (const Lines* lines : {&run.console, &log}) {
    for (const std::u16string& line : *lines) {
      EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char16_t c) {
        return c >= 0xDC80 && c <= 0xDCFF;
      })) << Narrow(line);
    }
  }
  Counts expected;
  expected.total = 4;
  expected.dirs = expected.utfDirs = expected.forbiddenDirs = 1;
  expected.files = expected.utfFiles = expected.forbiddenFiles = 2;
  EXPECT_EQ(Counters(run.console), expected);
}

TEST_F(WalkTest, RenamedEntriesAreProcessedOncePerListing) {
  // In a large directory a listing may yield a renamed entry again under its
  // new name; it is neither counted nor listed nor renamed a second time.
  const int kFiles = OnWindows() ? 300 : 3000;
  for (int i = 0; i < kFiles; ++i) File(J({u"T", U("f&" + std::to_string(i))}));
  for (int i = 0; i < 50; ++i) File(J({u"T", U("d&" + std::to_string(i)), u"in.txt"}));
  Rules("&\n[+]\n");
  const ConsoleRun run = Scour({u"-d", u"T", u"-n", u"list.txt"});
  const Counts counts = Counters(run.console);
  EXPECT_EQ(counts.total, static_cast<std::uint32_t>(kFiles + 50));
  EXPECT_EQ(counts.dirs, 50u);
  EXPECT_EQ(counts.files, static_cast<std::uint32_t>(kFiles));
  Lines list = FileList();
  EXPECT_EQ(list.size(), static_cast<std::size_t>(kFiles + 50));
  std::sort(list.begin(), list.end());
  EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
  EXPECT_TRUE(Exists(J({u"T", u"f[+]0"})));
  EXPECT_FALSE(Exists(J({u"T", u"1_f[+]0"})));
}

// The shipped rule sets. Windows builds use the copies in rules/windows/
// where there are any (without the pairs for the path characters).
fs::path RuleSet(const std::string& name) {
  const fs::path rules = fs::path(ZX_SOURCE_DIR) / "rules";
  return OnWindows() && fs::exists(rules / "windows" / name) ? rules / "windows" / name
                                                             : rules / name;
}

const std::u16string kWindowsForbidden = u"\\:*?\"<>|";

// Names that together hold every printable character of Windows-1252 but "/",
// and some outside it: a letter that best-fits to one, an ideograph that
// becomes "?", and signs that best-fit to characters Windows forbids.
// Without withForbidden, what Windows cannot hold in a name is left out,
// with the signs that the ANSI check turns into "\" or ":".
std::vector<std::u16string> EveryCharacterNames(bool withForbidden) {
  std::u16string all;
  for (char16_t c = 0x20; c < 0x7F; ++c) all += c;
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::u16string c = platform::FromAnsi(std::string(1, static_cast<char>(byte)));
    if (c.size() == 1 && (c[0] < 0x80 || c[0] >= 0xA0)) all += c;  // not the undefined bytes
  }
  all += u"\u0141\u6587\u2217\u2223\u2033";
  if (withForbidden) all += u"\u2216\u2236";
  std::u16string kept;
  for (const char16_t c : all) {
    if (c != u'/' && (withForbidden || kWindowsForbidden.find(c) == std::u16string::npos))
      kept += c;
  }
  std::vector<std::u16string> names;
  for (std::size_t at = 0; at < kept.size(); at += 12) {
    names.push_back(U("n" + std::to_string(names.size()) + " ") + kept.substr(at, 12) + u".txt");
  }
  return names;
}

struct RuleSetCase {
  const char* what;
  std::vector<std::string> sets;  // run one after the other
  std::u16string removed;         // characters no name may hold afterwards
  bool ascii;                     // and nothing above 0x7F
};

TEST_F(WalkTest, ShippedRuleSetsRemoveTheirCharactersAndKeepEveryFile) {
  const std::u16string web = u" \u00A0!\"#$%&'()*+,:;<=>?@[\\]^`{|}~";
  const std::vector<RuleSetCase> cases = {
      {"windows-safe", {"windows-safe.txt"}, kWindowsForbidden, false},
      {"web-safe", {"web-safe.txt"}, web, false},
      {"ascii", {"ascii.txt"}, u"", true},
      {"ascii after windows-safe", {"windows-safe.txt", "ascii.txt"}, kWindowsForbidden, true},
      {"web-safe after ascii", {"ascii.txt", "web-safe.txt"}, web, true},
  };
  const std::vector<std::u16string> names = EveryCharacterNames(!OnWindows());
  for (const RuleSetCase& c : cases) {
    // ascii.txt leaves the "?" and "*" of the ANSI check, which Windows
    // refuses: there it cannot rename such names unless a set that replaces
    // them has run before it.
    if (OnWindows() && c.sets.front() == "ascii.txt") continue;
    fs::remove_all(At(u"T"));
    int serial = 0;
    for (const std::u16string& name : names) {
      File(J({u"T", name}), "file " + std::to_string(serial));
      File(J({u"T", name + u" dir", name}), "in dir " + std::to_string(serial++));
    }
    const std::vector<std::string> before = AllContents(At(u"T"));
    for (const std::string& set : c.sets) {
      fs::copy_file(RuleSet(set), scratch_ / "rules.txt", fs::copy_options::overwrite_existing);
      EXPECT_EQ(Scour({u"-d", u"T", u"-v", u"1"}).exitCode, 0u) << c.what << ": " << set;
    }
    EXPECT_EQ(AllContents(At(u"T")), before) << c.what;
    for (const auto& entry : fs::recursive_directory_iterator(At(u"T"))) {
      const std::u16string name = testsupport::NameOf(entry.path().filename());
      for (const char16_t ch : name) {
        EXPECT_TRUE(c.removed.find(ch) == std::u16string::npos && (!c.ascii || ch < 0x80))
            << c.what << ": " << Narrow(name);
      }
    }
  }
}

// Names from Linux that windows-safe.txt has cleaned: the system creates
// each of them under exactly that name (the check that matters in the
// Windows builds, where a name with "?" or "*" cannot be created).
TEST_F(WalkTest, WindowsSafeNamesAreCreatedUnderThatName) {
  const auto create = [this](const std::u16string& name) {
    std::ofstream out(At(J({u"made", name})), std::ios::binary);
    out << "x";
    out.close();
    return !out.fail();
  };
  fs::create_directory(At(u"made"));
  if (OnWindows()) {
    EXPECT_FALSE(create(u"a*b.txt"));  // the check can fail
  }

  fs::copy_file(fs::path(ZX_SOURCE_DIR) / "rules" / "windows-safe.txt", scratch_ / "set.txt");
  renamer::ResetRun();
  renamer::options.ruleFileName = testsupport::NameOf(scratch_ / "set.txt");
  renamer::LoadRules();
  ASSERT_GT(renamer::rules.ruleCount, 0u);
  std::set<std::u16string> made;
  for (const std::u16string& name : EveryCharacterNames(true)) {
    bool changed = false;
    const std::u16string newName = renamer::RewriteName(renamer::EntryKind::File, name, changed);
    EXPECT_TRUE(create(newName)) << Narrow(newName);
    made.insert(newName);
  }
  renamer::ResetRun();
  std::set<std::u16string> listed;
  for (const auto& entry : fs::directory_iterator(At(u"made"))) {
    listed.insert(testsupport::NameOf(entry.path().filename()));
  }
  EXPECT_EQ(listed, made);
}

}  // namespace
