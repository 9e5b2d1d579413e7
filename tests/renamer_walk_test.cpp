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

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::Concat;
using testsupport::ConsoleRun;
using testsupport::CountStartingWith;
using testsupport::FailedRenameLines;
using testsupport::HasLine;
using testsupport::Narrow;
using testsupport::PathOf;
using testsupport::RenameLines;
using testsupport::U;
using testsupport::WalkLines;
using Lines = std::vector<std::u16string>;
namespace labels = testsupport::namescourer;

bool OnWindows() { return testsupport::Sep() == u"\\"; }

// A relative path inside the scratch directory, joined by the platform's
// separator, as the renamer prints it.
std::u16string J(std::initializer_list<std::u16string> parts) {
  std::u16string path;
  for (const std::u16string& part : parts) {
    if (!path.empty()) path += testsupport::Sep();
    path += part;
  }
  return path;
}

// The ten statistics rows, by name.
struct Counts {
  std::uint32_t total = 0, dirs = 0, files = 0, utfDirs = 0, utfFiles = 0, forbiddenDirs = 0,
                forbiddenFiles = 0, replaces = 0, subdirs = 0, io = 0;
};

// The rows in their printed order, with where each is kept.
const std::pair<const char16_t*, std::uint32_t Counts::*> kCounterRows[] = {
    {labels::kTotalFiles, &Counts::total},
    {labels::kRenamedDirs, &Counts::dirs},
    {labels::kRenamedFiles, &Counts::files},
    {labels::kUtfDirs, &Counts::utfDirs},
    {labels::kUtfFiles, &Counts::utfFiles},
    {labels::kForbiddenUtfDirs, &Counts::forbiddenDirs},
    {labels::kForbiddenUtfFiles, &Counts::forbiddenFiles},
    {labels::kExceedReplaces, &Counts::replaces},
    {labels::kExceedSubdirs, &Counts::subdirs},
    {labels::kIoErrors, &Counts::io}};

bool operator==(const Counts& a, const Counts& b) {
  return std::all_of(std::begin(kCounterRows), std::end(kCounterRows),
                     [&](const auto& row) { return a.*row.second == b.*row.second; });
}

void PrintTo(const Counts& counts, std::ostream* out) {
  for (const auto& row : kCounterRows) *out << Narrow(row.first) << counts.*row.second << "; ";
}

class WalkTest : public ::testing::Test {
 protected:
  fs::path At(const std::u16string& relative) const { return scratch_ / PathOf(relative); }

  void File(const std::u16string& relative, const std::string& content = "x") {
    fs::create_directories(At(relative).parent_path());
    testsupport::WriteBytes(At(relative), content);
  }
  void Dir(const std::u16string& relative) { fs::create_directories(At(relative)); }
  bool Exists(const std::u16string& relative) const { return fs::exists(At(relative)); }
  std::string Content(const std::u16string& relative) const {
    return testsupport::ReadBytes(At(relative));
  }
  void Rules(const std::string& bytes) { testsupport::WriteBytes(scratch_ / "rules.txt", bytes); }

  ConsoleRun Scour(std::vector<std::u16string> args) {
    args.insert(args.end(), {u"-r", u"rules.txt"});
    return testsupport::RunForConsole("namescourer", args, scratch_.path());
  }

  Lines FileList() const { return testsupport::Utf8Lines(Content(u"list.txt")); }

  // Every path below the scratch directory with the content of each file,
  // "<dir>" for directories.
  std::map<std::u16string, std::string> Tree() const {
    std::map<std::u16string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(scratch_.path())) {
      const std::u16string relative = fs::relative(entry.path(), scratch_.path()).u16string();
      tree[relative] = entry.is_directory() ? "<dir>" : testsupport::ReadBytes(entry.path());
    }
    return tree;
  }

  Lines DebugThenWorkingAgree(std::vector<std::u16string> args);

  testsupport::ScratchDir scratch_;
};

std::u16string Setting(const Lines& lines, const std::u16string& label) {
  for (const std::u16string& line : lines) {
    if (line.rfind(label, 0) == 0) return line.substr(label.size());
  }
  return u"<missing>";
}

Counts Counters(const Lines& lines) {
  Counts counts;
  for (const auto& row : kCounterRows) {
    counts.*row.second = static_cast<std::uint32_t>(std::stoul(Narrow(Setting(lines, row.first))));
  }
  return counts;
}

const char kAmpRule[] = "&\r\n[+]\r\n";

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
  File(J({u"T&U", u"f&.txt"}));
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T&U", u"-v", u"2"});
  EXPECT_EQ(WalkLines(run.console), RenameLines(u"Dir", u"T&U", u"T[+]U"));
  EXPECT_TRUE(Exists(J({u"T[+]U", u"f&.txt"})));
  Counts expected;
  expected.dirs = 1;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 0u);
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
  after.erase(u"list.txt");
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
// tree deeper than the system's path limit (4096 bytes) is walked whole.
TEST_F(WalkTest, PathsLongerThanTheSystemLimitAreProcessed) {
  const std::string part(120, 'p');
  fs::create_directory(At(u"T"));
  int fd = ::open(At(u"T").c_str(), O_RDONLY | O_DIRECTORY);
  std::u16string deepest = u"T";
  for (int level = 0; level < 40; ++level) {
    const std::string name = level == 39 ? "d&" : part;
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    deepest += u"/" + U(level == 39 ? "d[+]" : part);
  }
  ASSERT_EQ(::close(::openat(fd, "x&y", O_WRONLY | O_CREAT, 0644)), 0);
  ::close(fd);
  ASSERT_GT(deepest.size(), 4096u);
  Rules(kAmpRule);
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-n", u"list.txt"});
  EXPECT_EQ(FileList(), (Lines{deepest + u"/x[+]y"}));
  Counts expected;
  expected.total = expected.files = expected.dirs = 1;
  EXPECT_EQ(Counters(run.console), expected);
  EXPECT_EQ(run.exitCode, 0u);
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
  const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1"});
  EXPECT_EQ(testsupport::FilesBelow(scratch_ / "T"),
            (std::map<std::string, std::string>{
                {"bad?[+].txt", "1"}, {"?t?.txt", "2"}, {"ok.txt", "3"}, {"d?/in.txt", "4"}}));
  const Lines walk = WalkLines(run.console);
  EXPECT_EQ(CountStartingWith(walk, u"WARN_UTF SYM File: "), 2u);
  EXPECT_EQ(CountStartingWith(walk, u"FORBID_? SYM File: "), 2u);
  EXPECT_NE(
      std::find(walk.begin(), walk.end(), u"WARN_UTF SYM Dir: " + platform::DecodeUtf8("T/d\xFE")),
      walk.end());
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

// Contents of every file below dir, as a sorted list (the multiset).
std::vector<std::string> AllContents(const fs::path& dir) {
  return testsupport::SortedContents(testsupport::FilesBelow(dir));
}

// A debug run, then a working run of the same arguments: the debug run
// must have foreseen every name, so their walk lines, file lists and
// counters match. Returns the working run's walk lines.
Lines WalkTest::DebugThenWorkingAgree(std::vector<std::u16string> args) {
  fs::remove(At(u"list.txt"));
  const auto before = Tree();
  const std::vector<std::string> contents = AllContents(At(u"T"));
  args.insert(args.end(), {u"-v", u"2", u"-n", u"list.txt"});
  std::vector<std::u16string> debugArgs = args;
  debugArgs.insert(debugArgs.end(), {u"-b", u"1"});
  const ConsoleRun debug = Scour(debugArgs);
  const Lines debugList = FileList();
  fs::remove(At(u"list.txt"));
  EXPECT_EQ(Tree(), before) << "the debug run changed the tree";
  const ConsoleRun working = Scour(args);
  EXPECT_EQ(WalkLines(debug.console), WalkLines(working.console));
  EXPECT_EQ(debugList, FileList());
  EXPECT_EQ(Counters(debug.console), Counters(working.console));
  EXPECT_EQ(working.exitCode, 0u);
  EXPECT_EQ(AllContents(At(u"T")), contents);
  return WalkLines(working.console);
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

struct CaseClashCase {
  const char* what;
  std::string rules;
  std::vector<std::u16string> files, dirs, args;
  std::size_t clashes;  // WARN_WIN CASE lines
  std::size_t twins;    // entries left whose name another one has in another case
};

// -w 1: no two entries of one folder keep names that differ only in case;
// the one processed later gets the counter. A debug run foresees it.
TEST_F(WalkTest, WindowsNamesTellNamesApartWithoutRegardToCase) {
  if (OnWindows()) GTEST_SKIP() << "Windows cannot hold such names side by side";
  const std::vector<std::u16string> w = {u"-w", u"1"};
  const std::vector<CaseClashCase> cases = {
      {"names that differ only in case",
       kAmpRule,
       {u"Readme.txt", u"README.txt", u"readme.TXT"},
       {},
       w,
       2,
       0},
      {"folders", kAmpRule, {}, {u"Docs", u"docs", u"DOCS"}, w, 2, 0},
      {"a new name and a name on disk", kAmpRule, {u"x&.txt", u"X[+].txt"}, {}, w, 1, 0},
      {"two new names", "&\n+\n#\n+\n", {u"a&.txt", u"A#.txt"}, {}, w, 1, 0},
      {"a counter that meets a name of another case",
       kAmpRule,
       {u"q&.txt", u"q[+].txt", u"1_Q[+].txt"},
       {},
       w,
       1,
       0},
      {"beyond ASCII: umlaut, ligature, a Kelvin sign's best fit",
       kAmpRule,
       {U("\xC3\x84rger"), U("\xC3\xA4rger"), U("\xC5\x92uvre"), U("\xC5\x93uvre"),
        U("\xE2\x84\xAA.txt"), u"k.txt"},
       {},
       w,
       3,
       0},
      {"a mask that lists only some names",
       kAmpRule,
       {u"Readme.txt", u"README.txt", u"x&.txt", u"X[+].txt", u"y.dat", u"Y.dat"},
       {},
       {u"-w", u"1", u"-f", u"*.txt"},
       2,
       2},
      {"a rename that changes only the case is no clash", "x\nX\n", {u"x.txt"}, {}, w, 0, 0},
      {"a file and a folder are told apart", kAmpRule, {u"data"}, {u"DATA"}, w, 0, 0},
      {"without -w 1", kAmpRule, {u"Readme.txt", u"README.txt"}, {u"Docs", u"docs"}, {}, 0, 4},
  };
  for (const CaseClashCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(At(u"T"));
    Dir(u"T");
    for (const std::u16string& file : c.files) File(J({u"T", file}), Narrow(file));
    for (const std::u16string& dir : c.dirs) Dir(J({u"T", dir}));
    Rules(c.rules);
    std::vector<std::u16string> args = {u"-d", u"T"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Lines walk = DebugThenWorkingAgree(args);
    EXPECT_EQ(CountStartingWith(walk, u"WARN_WIN CASE "), c.clashes);
    std::set<std::pair<bool, std::u16string>> keys;  // each kind on its own
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(At(u"T"))) {
      ++entries;
      keys.emplace(entry.is_directory(),
                   platform::FoldCase(testsupport::NameOf(entry.path().filename())));
    }
    EXPECT_EQ(keys.size() + c.twins / 2, entries);
  }
  EXPECT_TRUE(Exists(J({u"T", u"Readme.txt"})));  // the last case keeps every name
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
  const auto original = testsupport::EntriesBelow(At(u"T"));
  const ConsoleRun run = Scour({u"-d", u"T", u"-j", u"run.journal", u"-v", u"1"});
  const auto renamed = testsupport::EntriesBelow(At(u"T"));
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
  EXPECT_EQ(testsupport::EntriesBelow(At(u"T")), original);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, u"        Refused: "), 0);
  EXPECT_EQ(testsupport::SummaryValue(undo.console, u"     Taken back: "),
            Counters(run.console).dirs + Counters(run.console).files);
  EXPECT_EQ(undo.exitCode, 0u);

  const ConsoleRun redo = Scour({u"-u", J({u"elsewhere", u"undo.journal"})});
  EXPECT_EQ(testsupport::EntriesBelow(At(u"T")), renamed);
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

template <typename Map>
std::vector<std::string> Contents(const Map& entries) {
  std::vector<std::string> contents;
  contents.reserve(entries.size());
  for (const auto& entry : entries) contents.push_back(entry.second);
  std::sort(contents.begin(), contents.end());
  return contents;
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
    const auto original = testsupport::EntriesBelow(At(u"T"));
    EXPECT_EQ(Scour({u"-d", u"T", u"-j", u"run.journal"}).exitCode, 1u);
    c.meddle(scratch_.path());
    const auto meddled = testsupport::EntriesBelow(At(u"T"));
    auto outsideNow = [this] {
      return Exists(u"O") ? testsupport::FilesBelow(At(u"O"))
                          : std::map<std::string, std::string>();
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
      EXPECT_EQ(testsupport::EntriesBelow(At(u"T")), meddled);
      continue;
    }
    EXPECT_EQ(undo.err, "");
    EXPECT_EQ(testsupport::SummaryValue(console, u"        Records: "), c.records);
    EXPECT_EQ(testsupport::SummaryValue(console, u"     Taken back: "), c.takenBack);
    EXPECT_EQ(testsupport::SummaryValue(console, u"  Nothing to do: "), c.nothingToDo);
    EXPECT_EQ(testsupport::SummaryValue(console, u"        Refused: "), c.refused);
    EXPECT_EQ(CountStartingWith(console, u"UNDO "), static_cast<std::size_t>(c.takenBack));
    EXPECT_EQ(CountStartingWith(console, u"SKIP_UNDO "), static_cast<std::size_t>(c.nothingToDo));
    EXPECT_EQ(CountStartingWith(console, u"ERR_UNDO "), static_cast<std::size_t>(c.refused));
    const auto after = testsupport::EntriesBelow(At(u"T"));
    EXPECT_EQ(outsideNow(), outside);
    // Nothing lost, nothing overwritten: a new file at an old name is kept.
    EXPECT_EQ(Contents(after), Contents(meddled));
    if (fs::exists(At(u"away"))) {
      EXPECT_EQ(Content(J({u"away", u"in[+].txt"})), "C");
    }
    if (!c.extraArgs.empty()) {
      EXPECT_EQ(after, meddled);
    } else if (c.refused == 0) {
      auto expected = original;
      for (const auto& entry : meddled) {
        if (entry.first.find(PathOf(u"q[+]").native()) == 0) expected.insert(entry);
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

TEST_F(WalkTest, JournalIsAlwaysANewFileAndDebugModeWritesNone) {
  File(J({u"T", u"a&.txt"}));
  Rules(kAmpRule);
  const ConsoleRun debug = Scour({u"-d", u"T", u"-b", u"1", u"-j", u"run.journal"});
  EXPECT_TRUE(HasLine(debug.console, u"   Journal file: run.journal (none in debug mode)"));
  EXPECT_FALSE(Exists(u"run.journal"));

  testsupport::WriteBytes(At(u"run.journal"), "an earlier run");
  const testsupport::ProcessResult run = testsupport::RunProgram(
      "namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-j", u"run.journal"}, scratch_.path());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.err.rfind("I/O error: run.journal: ", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Exists(J({u"T", u"a&.txt"})));
  EXPECT_EQ(Content(u"run.journal"), "an earlier run");
}

// -w 1: one table per rule, each with the edges of its rule. A name equal to
// its expected name is left alone.
struct WindowsNameCase {
  std::u16string name, expected;
};

const std::vector<std::vector<WindowsNameCase>> kWindowsNameTables = {
    // composed accents, before the ANSI check (with the rule "?" to "_")
    {{u"cafe\u0301.txt", U("caf\xC3\xA9.txt")},
     {U("caf\xC3\xA9 2.txt"), U("caf\xC3\xA9 2.txt")},
     {u"A\u030A.txt", U("\xC3\x85.txt")},
     {u"a\u0308\u0304.txt", u"a.txt"},                      // two marks: U+01DF, best-fit "a"
     {u"o\u0302\u0323 2.txt", u"_ 2.txt"},                  // marks out of order: U+1ED9
     {u"\u1112\u1161\u11AB hangul.txt", u"_ hangul.txt"}},  // one syllable, one "?"
    // trailing dots and blanks
    {{u"report.", u"report_"},
     {u"notes .txt", u"notes .txt"},
     {u"notes. ", u"notes__"},
     {u"a...", u"a___"},
     {u" lead.txt", u" lead.txt"}},
    // reserved device names
    {{u"CON.txt", u"CON_.txt"},
     {u"nul.tar.gz", u"nul_.tar.gz"},
     {u"CONSOLE.txt", u"CONSOLE.txt"},
     {u"CON1.txt", u"CON1.txt"},
     {u"COM0", u"COM0"},
     {u"com9", u"com9_"},
     {u"Aux .txt", u"Aux_ .txt"},
     {U("LPT\xC2\xB9.txt"), U("LPT\xC2\xB9_.txt")},
     {u"PRN", u"PRN_"},
     {u"CON.", u"CON_"}},
};

std::u16string Repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

// Too long for most file systems on disk, so rewritten in the process.
const std::vector<WindowsNameCase> kLongNames = {
    {Repeat(u'a', 255), Repeat(u'a', 255)},
    {Repeat(u'a', 256), Repeat(u'a', 250)},
    {Repeat(u'a', 300) + u".txt", Repeat(u'a', 246) + u".txt"},
    {Repeat(u'a', 250) + u"." + Repeat(u'b', 17), Repeat(u'a', 250)},           // no extension kept
    {Repeat(u'a', 249) + u"\U0001F600" + Repeat(u'a', 10), Repeat(u'a', 249)},  // a pair at the cut
    {Repeat(u'a', 249) + u"q\u0301" + Repeat(u'a', 10), Repeat(u'a', 249)},     // a mark at the cut
    {Repeat(u'a', 249) + u" " + Repeat(u'b', 10), Repeat(u'a', 249) + u"_"},  // a blank at the end
    {u"COM1" + Repeat(u' ', 300) + u".txt", u"COM1_" + Repeat(u' ', 241) + u".txt"},  // a device
};

TEST_F(WalkTest, WindowsNamesOptionMakesNamesWindowsCanHold) {
  Rules("?\n_\n");
  for (const auto& table : kWindowsNameTables) {
    // Windows cannot make the names of the later tables; it can make those
    // with combining accents.
    if (OnWindows() && &table != &kWindowsNameTables.front()) continue;
    fs::remove_all(At(u"T"));
    std::set<std::u16string> expected;
    std::uint32_t changes = 0;
    for (const WindowsNameCase& c : table) {
      File(J({u"T", u"f", c.name}));
      Dir(J({u"T", u"d", c.name}));
      expected.insert(c.expected);
      if (c.expected != c.name) changes += 2;
    }
    SCOPED_TRACE(Narrow(table.front().name));
    // -w 0 is today's run, line for line.
    const ConsoleRun off = Scour({u"-d", u"T", u"-v", u"2", u"-b", u"1"});
    EXPECT_EQ(Scour({u"-d", u"T", u"-v", u"2", u"-b", u"1", u"-w", u"0"}).console, off.console);
    EXPECT_EQ(CountStartingWith(off.console, u"  Windows names: "), 0u);

    const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-w", u"1"});
    EXPECT_EQ(CountStartingWith(WalkLines(run.console), u"WARN_WIN NAME "), changes);
    EXPECT_EQ(Setting(run.console, u"  Windows names: "), platform::Decimal(changes));
    EXPECT_EQ(run.exitCode, 0u);
    for (const char16_t* part : {u"f", u"d"}) {
      std::set<std::u16string> listed;
      for (const auto& entry : fs::directory_iterator(At(J({u"T", part})))) {
        listed.insert(testsupport::NameOf(entry.path().filename()));
      }
      EXPECT_EQ(listed, expected) << Narrow(part);
    }
  }

  renamer::ResetRun();
  renamer::options.windowsNames = true;
  for (const WindowsNameCase& c : kLongNames) {
    EXPECT_EQ(renamer::MakeWindowsName(c.name), c.expected) << c.name.size();
    // A pair or a mark never reaches the cut of a whole rewrite: the ANSI
    // check has turned them into characters of the code page.
    if (std::any_of(c.name.begin(), c.name.end(), [](char16_t u) { return u >= 0x80; })) continue;
    bool changed = false;
    EXPECT_EQ(renamer::RewriteName(renamer::EntryKind::File, c.name, changed), c.expected);
    EXPECT_EQ(changed, c.expected != c.name);
    // A directory's own name only: its parent stays.
    EXPECT_EQ(renamer::RewriteName(renamer::EntryKind::Directory, J({u"T..", c.name}), changed),
              J({u"T..", c.expected}));
  }
  renamer::ResetRun();
}

// Every name that -w 1 produces can be created under exactly that name.
TEST_F(WalkTest, WindowsNamesAreCreatedUnderThatName) {
  std::set<std::u16string> made;
  std::vector<WindowsNameCase> all = kLongNames;
  for (const auto& table : kWindowsNameTables) all.insert(all.end(), table.begin(), table.end());
  fs::create_directory(At(u"made"));
  for (const WindowsNameCase& c : all) {
    if (!made.insert(c.expected).second) continue;
    std::ofstream out(At(J({u"made", c.expected})), std::ios::binary);
    out << "x";
    out.close();
    EXPECT_FALSE(out.fail()) << Narrow(c.expected);
  }
  std::set<std::u16string> listed;
  for (const auto& entry : fs::directory_iterator(At(u"made"))) {
    listed.insert(testsupport::NameOf(entry.path().filename()));
  }
  EXPECT_EQ(listed, made);
}

}  // namespace
