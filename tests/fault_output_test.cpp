// Output that fails part way: a log, a file list, a journal or a BMP on a
// full device (/dev/full) or past a file-size limit, and a renamer killed
// at any moment. Each run must end as the program promises for that step,
// and the tree must keep every file, with every rename reported or the run
// reported as failed, or taken back by the undo of its journal.
// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
namespace labels = testsupport::namescourer;
using Lines = std::vector<std::u16string>;
using testsupport::ChildOptions;
using testsupport::ConsoleLines;
using testsupport::CountStartingWith;
using testsupport::HasLine;
using testsupport::Narrow;
using testsupport::ProcessResult;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::SummaryValue;
using testsupport::U;
using testsupport::WriteBytes;

// How a run must end.
enum class Outcome {
  kUnexpected,   ///< one "I/O error: " line on standard error, exit code 1, no summary
  kGuarded,      ///< failed renames reported and counted, then the file list's close fails
  kAtClose,      ///< only the file list's close fails
  kGuardedOnly,  ///< failed renames reported and counted; their lines are dropped, the close
                 ///< succeeds
};

const char kDevFull[] = "/dev/full";

// T holds `dirs` directories of `perDir` files each, plus `perDir` files of
// its own. Every file holds its path below T, so that its origin is known
// wherever it ends up. With `plain` the file names need no change; a
// `nameLength` other than 0 pads each file name to that length.
void MakeTree(const fs::path& root, int dirs, int perDir, bool plain, std::size_t nameLength = 0) {
  const std::string mark = plain ? "" : "&";
  for (int d = 0; d <= dirs; ++d) {
    const std::string dir = d == dirs ? "" : "d&" + std::to_string(d) + "/";
    fs::create_directories(root / dir);
    for (int f = 0; f < perDir; ++f) {
      std::string name = "f" + mark + std::to_string(f);
      if (name.size() < nameLength) name.insert(1, nameLength - name.size(), 'x');
      const std::string file = dir + name;
      WriteBytes(root / file, file);
    }
  }
}

std::string DirOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::u16string InT(const std::string& dir, const std::string& name = "") {
  std::string path = "T";
  if (!dir.empty()) path += "/" + dir;
  if (!name.empty()) path += "/" + name;
  return U(path);
}

// Every file is still there with its content. At level 2 every rename on
// disk was announced before it happened; below that a run that renamed
// anything and failed must say so by its exit code.
void ExpectNothingLostOrUnreported(const fs::path& tree,
                                   const std::map<std::string, std::string>& before,
                                   const Lines& console, int level, std::uint32_t exitCode) {
  const std::map<std::string, std::string> after =
      testsupport::FilesOf(testsupport::TreeBelow(tree));
  EXPECT_EQ(testsupport::FileContents(after), testsupport::FileContents(before));
  for (const auto& [path, origin] : after) {
    const std::string oldDir = DirOf(origin), newDir = DirOf(path);
    const std::string oldName = NameOf(origin), newName = NameOf(path);
    if (oldDir == newDir && oldName == newName) continue;
    if (level < 2) {
      EXPECT_NE(exitCode, 0u) << origin << " became " << path << " in a run that says success";
      continue;
    }
    if (oldDir != newDir) {
      EXPECT_TRUE(HasLine(console, u"Old Dir:" + InT(oldDir))) << origin;
      EXPECT_TRUE(HasLine(console, u"New Dir:" + InT(newDir))) << origin;
    }
    if (oldName != newName) {
      EXPECT_TRUE(HasLine(console, u"Old File:" + InT(newDir, oldName))) << origin;
      EXPECT_TRUE(HasLine(console, u"New File:" + InT(newDir, newName))) << origin;
    }
  }
}

// The one line names the file that failed and the system's reason.
void ExpectUnexpectedErrorReport(const ProcessResult& run, const Lines& console,
                                 const std::string& file, int error) {
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.err, "I/O error: " + file + ": " + std::strerror(error) + "\n");
  EXPECT_EQ(SummaryValue(console, testsupport::namescourer::kIoErrors), -1)
      << "no summary after the error";
}

struct RenamerCase {
  const char* name;
  const char16_t* option;  // -l or -n
  bool devFull;            // else a file in the scratch folder past the size limit
  std::uint64_t limit;
  const char16_t* level;
  int dirs, perDir;
  bool plain;
  Outcome outcome;
  std::size_t nameLength;  // 0: short names
};

TEST(RenamerOutputFault, EndsAsPromisedAndKeepsEveryFile) {
  const RenamerCase cases[] = {
      // A log line that cannot be written is no guarded step.
      {"log on a full device", u"-l", true, 0, u"2", 4, 40, false, Outcome::kUnexpected, 0},
      {"log past the size limit", u"-l", false, 4096, u"2", 4, 40, false, Outcome::kUnexpected, 0},
      {"log on a full device, errors only", u"-l", true, 0, u"1", 4, 40, false,
       Outcome::kUnexpected, 0},
      // The file-list line of a renamed file belongs to its rename step.
      {"file list on a full device", u"-n", true, 0, u"2", 4, 40, false, Outcome::kGuarded, 0},
      {"file list past the size limit", u"-n", false, 1024, u"2", 4, 40, false, Outcome::kGuarded,
       0},
      {"file list on a full device, errors only", u"-n", true, 0, u"1", 4, 40, false,
       Outcome::kGuarded, 0},
      {"file list that fits its buffer", u"-n", true, 0, u"2", 0, 2, false, Outcome::kAtClose, 0},
      // The line "T/<124 bytes>" CR LF fills the buffer exactly; it is written
      // out at once, so its rename step fails, and the failed line is not
      // tried again at the close.
      {"file-list line that ends the buffer", u"-n", true, 0, u"2", 0, 1, false,
       Outcome::kGuardedOnly, 124},
      // An unchanged file's line is written outside any guarded step.
      {"file list of unchanged names", u"-n", true, 0, u"2", 4, 40, true, Outcome::kUnexpected, 0},
  };
  for (const RenamerCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    MakeTree(dir / "T", c.dirs, c.perDir, c.plain, c.nameLength);
    WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
    const std::map<std::string, std::string> before =
        testsupport::FilesOf(testsupport::TreeBelow(dir / "T"));
    const std::u16string target = c.devFull             ? U(kDevFull)
                                  : c.option[1] == u'l' ? u"run.log"
                                                        : u"list.txt";
    ChildOptions options;
    options.fileSizeLimit = c.limit;
    const ProcessResult run = testsupport::RunChild(
        "namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", c.level, c.option, target},
        dir.path(), options);
    const Lines console = ConsoleLines(run.out);
    const int level = c.level[0] - u'0';
    ASSERT_EQ(run.signal, 0);

    if (c.outcome == Outcome::kUnexpected) {
      ExpectUnexpectedErrorReport(run, console, Narrow(target), c.devFull ? ENOSPC : EFBIG);
    } else {
      EXPECT_EQ(run.err, "");
      const std::int64_t printed = SummaryValue(console, testsupport::namescourer::kIoErrors);
      const std::size_t groups = CountStartingWith(console, u"ERR_EXCEPTION FILE OLD:") +
                                 CountStartingWith(console, u"ERR_EXCEPTION DIR OLD:");
      EXPECT_EQ(printed, static_cast<std::int64_t>(groups));
      if (c.outcome == Outcome::kAtClose) {
        EXPECT_EQ(groups, 0u);
      } else {
        EXPECT_GT(groups, 0u);
      }
      // The close comes after the summary: only the exit code counts it.
      const bool closeFails = c.outcome != Outcome::kGuardedOnly;
      EXPECT_EQ(run.exitCode, static_cast<std::uint32_t>(printed + (closeFails ? 1 : 0)));
      EXPECT_EQ(HasLine(console, u"ERR_CLOSE_FILELIST: " + target + u"."),
                closeFails && level >= 2);
    }
    if (!c.devFull) {
      EXPECT_EQ(fs::file_size(dir / Narrow(target)), c.limit) << "written up to the limit";
    }
    ExpectNothingLostOrUnreported(dir / "T", before, console, level, run.exitCode);
  }
}

struct ConsoleCase {
  const char* name;
  const char* program;
  std::uint64_t limit;  // 0: a pipe without a reader instead
};

// Standard output itself: past a file-size limit, or a closed pipe. A full
// device is tested with the other end-to-end runs.
TEST(ConsoleFault, EndsTheRunWithOneErrorLine) {
  const ConsoleCase cases[] = {
      {"renamer, console past the size limit", "namescourer", 2048},
      {"renamer, console to a closed pipe", "namescourer", 0},
      {"converter, console past the size limit", "zxraster", 100},
      {"converter, console to a closed pipe", "zxraster", 0},
  };
  for (const ConsoleCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    MakeTree(dir / "T", 4, 40, false);
    WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
    WriteBytes(dir / "inp.scr", std::string(6912, '\x55'));
    const std::map<std::string, std::string> before =
        testsupport::FilesOf(testsupport::TreeBelow(dir / "T"));
    ChildOptions options;
    options.fileSizeLimit = c.limit;
    if (c.limit == 0) {
      options.closedStdout = true;
    } else {
      options.stdoutTarget = dir / "console.txt";
    }
    const bool renamer = std::string(c.program) == "namescourer";
    const std::vector<std::u16string> args =
        renamer ? std::vector<std::u16string>{u"-d", u"T", u"-r", u"rules.txt", u"-v", u"2"}
                : std::vector<std::u16string>{u"-i", u"inp.scr", u"-o", u"o.bmp"};
    const ProcessResult run = testsupport::RunChild(c.program, args, dir.path(), options);
    ASSERT_EQ(run.signal, 0);
    ExpectUnexpectedErrorReport(run, Lines(), "standard output", c.limit == 0 ? EPIPE : EFBIG);
    if (c.limit != 0) {
      EXPECT_EQ(fs::file_size(dir / "console.txt"), c.limit);
    }
    // The lines that announced the last renames may be lost with the
    // console: the exit code has to tell.
    ExpectNothingLostOrUnreported(dir / "T", before, Lines(), 1, run.exitCode);
  }
}

// The lines of a text file, each without its CR LF, in any order.
std::multiset<std::string> LinesOf(const fs::path& file) {
  std::multiset<std::string> lines;
  const std::string text = ReadBytes(file);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.insert(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// Two runs that share a log and a file list, at once: each file holds
// exactly the lines that the two write when each runs alone, every one
// whole. Names of every length from 3 to 160 bytes put line ends at every
// place of the 128-byte buffer, and some lines beyond it.
TEST(SharedOutputFault, TwoRunsAtOnceNeverSpliceTheirLines) {
  ScratchDir dir;
  const char* const trees[] = {"A", "B"};
  for (const char* tree : trees) {
    fs::create_directory(dir / tree);
    for (int f = 0; f < 1500; ++f) {
      std::string name = "f&" + std::to_string(f);
      name.insert(1, static_cast<std::size_t>((f * 7) % 158), *tree);
      WriteBytes(dir / tree / name, name);
    }
  }
  WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  auto args = [](const char* tree) {
    return std::vector<std::u16string>{u"-d", U(tree), u"-r", u"rules.txt",  u"-v", u"2",
                                       u"-b", u"1",    u"-l", u"shared.log", u"-n", u"shared.list"};
  };
  std::multiset<std::string> log, list;
  for (const char* tree : trees) {
    const ProcessResult alone = testsupport::RunChild("namescourer", args(tree), dir.path());
    ASSERT_EQ(alone.exitCode, 0u) << alone.err;
    log.merge(LinesOf(dir / "shared.log"));
    list.merge(LinesOf(dir / "shared.list"));
    fs::remove(dir / "shared.log");
    fs::remove(dir / "shared.list");
  }
  ASSERT_EQ(list.size(), 3000u);
  for (int trial = 0; trial < 3; ++trial) {
    SCOPED_TRACE(trial);
    testsupport::Child a = testsupport::StartChild("namescourer", args("A"), dir.path());
    testsupport::Child b = testsupport::StartChild("namescourer", args("B"), dir.path());
    EXPECT_EQ(testsupport::FinishChild(a).exitCode, 0u);
    EXPECT_EQ(testsupport::FinishChild(b).exitCode, 0u);
    EXPECT_TRUE(LinesOf(dir / "shared.log") == log) << "the log holds a line neither run writes";
    EXPECT_TRUE(LinesOf(dir / "shared.list") == list)
        << "the file list holds a line neither run writes";
    fs::remove(dir / "shared.log");
    fs::remove(dir / "shared.list");
  }
}

struct ConverterCase {
  const char* name;
  bool indexed;
  bool png;
  const char16_t* out;
  const char16_t* log;  // empty: no log
  std::uint64_t limit;
  Outcome outcome;     // kUnexpected, or kGuarded for a counted picture failure
  const char* before;  // what o.bmp holds before the run; nullptr: no such file
};

TEST(ZxrasterOutputFault, EndsAsPromised) {
  const ConverterCase cases[] = {
      // A picture that cannot be written whole leaves no trace: no new
      // file, no half-written one, and an older file of that name as it was.
      {"true-colour BMP past the size limit", false, false, u"o.bmp", u"", 100000,
       Outcome::kGuarded, nullptr},
      {"indexed BMP past the size limit", true, false, u"o.bmp", u"", 10000, Outcome::kGuarded,
       nullptr},
      {"BMP that can hardly grow", false, false, u"o.bmp", u"", 1, Outcome::kGuarded, nullptr},
      {"BMP past the size limit over an older picture", false, false, u"o.bmp", u"", 100000,
       Outcome::kGuarded, "an older picture"},
      {"PNG past the size limit over an older picture", false, true, u"o.bmp", u"", 2000,
       Outcome::kGuarded, "an older picture"},
      {"BMP past the size limit over the screen itself", true, false, u"inp.scr", u"", 20480,
       Outcome::kGuarded, nullptr},
      {"BMP on a full device", true, false, u"/dev/full", u"", 0, Outcome::kGuarded, nullptr},
      // These settings outgrow the log's buffer before the BMP step.
      {"log on a full device", false, false, u"o.bmp", u"/dev/full", 0, Outcome::kUnexpected,
       nullptr},
      // These fill it to the byte: it is written out at once, so the log
      // fails with the last line of the settings, before the BMP step.
      {"log past the size limit", true, false, u"o.bmp", u"x.log", 100, Outcome::kUnexpected,
       nullptr},
  };
  for (const ConverterCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", testsupport::TestScreen());
    if (c.before != nullptr) WriteBytes(dir / "o.bmp", c.before);
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-o",
                                        c.out, u"-c",      c.indexed ? u"1" : u"0"};
    const std::u16string log = c.log;
    if (!log.empty()) args.insert(args.end(), {u"-l", log});
    if (c.png) args.insert(args.end(), {u"-f", u"png"});
    ChildOptions options;
    options.fileSizeLimit = c.limit;
    const ProcessResult run = testsupport::RunChild("zxraster", args, dir.path(), options);
    const Lines console = ConsoleLines(run.out);
    ASSERT_EQ(run.signal, 0);
    if (c.outcome == Outcome::kUnexpected) {
      ExpectUnexpectedErrorReport(run, console, Narrow(log), c.limit == 0 ? ENOSPC : EFBIG);
      EXPECT_EQ(console, Lines()) << "every line belonged to the log";
      if (log == u"x.log") {
        EXPECT_EQ(fs::file_size(dir / "x.log"), c.limit);
      }
    } else {
      const unsigned flags = (c.indexed ? testsupport::kIndexedColor : testsupport::kTrueColor) |
                             (log.empty() ? 0u : testsupport::kLogging);
      Lines settings = testsupport::ZxrasterSettings(u"inp.scr", c.out, flags, log);
      if (c.png) settings = testsupport::ZxrasterPictureSettings(settings, u"png", u"1", u"0");
      EXPECT_EQ(console,
                testsupport::Concat({settings,
                                     {u"ERR_OUT_FILE: " + std::u16string(c.out) + u" write error."},
                                     testsupport::ZxrasterSummary(1)}))
          << run.out;
      EXPECT_EQ(run.exitCode, 1u);
      EXPECT_EQ(run.err, "");
    }
    if (c.before == nullptr) {
      EXPECT_FALSE(fs::exists(dir / "o.bmp"));
    } else {
      EXPECT_EQ(ReadBytes(dir / "o.bmp"), c.before);
    }
    EXPECT_TRUE(ReadBytes(dir / "inp.scr") == testsupport::TestScreen()) << "the screen is kept";
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "inp.scr" || name == "o.bmp" || name == "x.log") << name << " is left";
    }
  }
}

// The undo of a journal: exit code 0, nothing refused, and the tree
// exactly as `original`.
void ExpectUndoRestores(const fs::path& dir, const std::u16string& journal,
                        const std::map<fs::path::string_type, std::string>& original) {
  const ProcessResult undo =
      testsupport::RunChild("namescourer", {u"-u", journal, u"-v", u"1"}, dir);
  EXPECT_EQ(undo.err, "");
  EXPECT_EQ(SummaryValue(ConsoleLines(undo.out), labels::kRefused), 0);
  EXPECT_EQ(undo.exitCode, 0u);
  EXPECT_EQ(testsupport::TreeBelow(dir / "T"), original);
}

// A record that cannot be written stops the run before its rename; what
// was renamed until then is journaled.
TEST(JournalFault, ARecordThatCannotBeWrittenStopsTheRun) {
  ScratchDir dir;
  MakeTree(dir / "T", 4, 40, false);
  WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  const auto original = testsupport::TreeBelow(dir / "T");
  ChildOptions options;
  options.fileSizeLimit = 4000;
  const ProcessResult run = testsupport::RunChild(
      "namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-j", u"run.journal"}, dir.path(),
      options);
  ASSERT_EQ(run.signal, 0);
  ExpectUnexpectedErrorReport(run, ConsoleLines(run.out), "run.journal", EFBIG);
  EXPECT_EQ(fs::file_size(dir / "run.journal"), 4000u);
  EXPECT_NE(testsupport::TreeBelow(dir / "T"), original);
  ExpectUndoRestores(dir.path(), u"run.journal", original);
}

// Killed at a random moment, a run leaves a journal whose undo gives back
// every name.
TEST(JournalFault, AKilledRunIsTakenBackWhole) {
  ScratchDir dir;
  MakeTree(dir / "T", 20, 150, false);
  WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  const auto original = testsupport::TreeBelow(dir / "T");
  const std::vector<std::u16string> run = {u"-d", u"T", u"-r", u"rules.txt", u"-j"};
  auto withJournal = [&run](const std::u16string& journal) {
    std::vector<std::u16string> args = run;
    args.push_back(journal);
    return args;
  };

  // A whole run first, to know how long one takes.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(
      testsupport::RunChild("namescourer", withJournal(u"whole.journal"), dir.path()).exitCode, 0u);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
  ExpectUndoRestores(dir.path(), u"whole.journal", original);

  std::mt19937 random(18);  // NOLINT(cert-msc32-c,cert-msc51-cpp): a fixed seed repeats a failure
  std::uniform_int_distribution<long> moment(0, whole);
  int killed = 0;
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const std::u16string journal = U("run" + std::to_string(trial) + ".journal");
    testsupport::Child child =
        testsupport::StartChild("namescourer", withJournal(journal), dir.path());
    ::usleep(static_cast<useconds_t>(moment(random)));
    ::kill(child.pid, SIGKILL);
    const ProcessResult result = testsupport::FinishChild(child);
    if (result.signal == SIGKILL) ++killed;
    if (!fs::exists(dir / Narrow(journal))) {
      EXPECT_EQ(testsupport::TreeBelow(dir / "T"), original) << "renamed without a journal";
      continue;
    }
    ExpectUndoRestores(dir.path(), journal, original);
    if (::testing::Test::HasFailure()) break;
  }
  std::printf("%d of 20 runs killed part way (a whole run: %ld us)\n", killed,
              static_cast<long>(whole));
}

// The first lines of a file, each with its line end.
std::vector<std::string> LinesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size() - 1);
    lines.push_back(bytes.substr(at, end + 1 - at));
    at = end + 1;
  }
  return lines;
}

// An undo stopped part way (here by a journal of its own that cannot grow:
// a kill between two records leaves the tree alike), then resumed, then run
// once more: each ends in success with the tree exactly as it was, the
// start directory's own rename included.
TEST(JournalFault, AnUndoStoppedPartWayOrRunTwiceEndsWithTheTreeRestored) {
  ScratchDir dir;
  for (const char* file : {"a&b/c&d/z&.txt", "a&b/x&y.txt", "e&/f&.txt", "g&.txt"}) {
    fs::create_directories((dir / "T&" / file).parent_path());
    WriteBytes(dir / "T&" / file, file);
  }
  WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  const auto original = testsupport::TreeBelow(dir / "T&");
  ASSERT_EQ(
      testsupport::RunChild("namescourer",
                            {u"-d", u"T&", u"-r", u"rules.txt", u"-j", u"run.journal"}, dir.path())
          .exitCode,
      0u);
  ASSERT_FALSE(fs::exists(dir / "T&"));
  // The undo's journal starts from the start directory's present name (as
  // long as the old one here) and holds the run's records last first: it
  // can take all but the run's first two (the start directory and one
  // below it).
  const std::vector<std::string> lines = LinesOf(ReadBytes(dir / "run.journal"));
  ASSERT_GE(lines.size(), 4u);
  ChildOptions stopped;
  stopped.fileSizeLimit = fs::file_size(dir / "run.journal") - lines[1].size() - lines[2].size();
  const ProcessResult first = testsupport::RunChild(
      "namescourer", {u"-u", u"run.journal", u"-j", u"undo.journal"}, dir.path(), stopped);
  ASSERT_EQ(first.signal, 0);
  EXPECT_EQ(first.err.rfind("I/O error: undo.journal: ", 0), 0u) << first.err;
  ASSERT_TRUE(fs::exists(dir / "T+"));
  ASSERT_NE(testsupport::TreeBelow(dir / "T+"), original);
  for (const char* round : {"resumed", "once more"}) {
    SCOPED_TRACE(round);
    const ProcessResult undo =
        testsupport::RunChild("namescourer", {u"-u", u"run.journal", u"-v", u"2"}, dir.path());
    const Lines console = ConsoleLines(undo.out);
    EXPECT_EQ(undo.err, "");
    EXPECT_EQ(SummaryValue(console, u"        Refused: "), 0);
    EXPECT_EQ(CountStartingWith(console, u"ERR_"), 0u);
    EXPECT_EQ(undo.exitCode, 0u);
    EXPECT_FALSE(fs::exists(dir / "T+"));
    EXPECT_EQ(testsupport::TreeBelow(dir / "T&"), original);
  }
}

// Another user swaps a folder of a tree whose start directory the run
// renamed for a link to a folder outside it, before the undo: the undo
// renames nothing outside the tree.
TEST(JournalFault, AnUndoRenamesNothingThroughAFolderSwappedForALink) {
  std::string reason;
  if (!testsupport::PermissionsApply(reason)) GTEST_SKIP() << reason;
  ScratchDir dir(ScratchDir::Reach::kEveryUser);
  fs::create_directories(dir / "T&U" / "a&b" / "c&d");
  fs::create_directories(dir / "out" / "c[+]d");
  WriteBytes(dir / "rules.txt", "&\r\n[+]\r\n");
  ASSERT_EQ(
      testsupport::RunChild("namescourer",
                            {u"-d", u"T&U", u"-r", u"rules.txt", u"-j", u"run.journal"}, dir.path())
          .exitCode,
      0u);
  testsupport::OpenUp(dir / "T[+]U");
  ASSERT_TRUE(testsupport::RunUnprivileged(
      [](const fs::path& d) {
        fs::rename(d / "T[+]U" / "a[+]b", d / "x");
        fs::create_directory_symlink(fs::path("..") / "out", d / "T[+]U" / "a[+]b");
      },
      dir.path()));
  const ProcessResult undo =
      testsupport::RunChild("namescourer", {u"-u", u"run.journal", u"-v", u"2"}, dir.path());
  EXPECT_EQ(undo.err, "");
  EXPECT_TRUE(fs::is_directory(dir / "out" / "c[+]d"));
  EXPECT_FALSE(fs::exists(dir / "out" / "c&d"));
  EXPECT_EQ(SummaryValue(ConsoleLines(undo.out), u"        Refused: "), 1);
  EXPECT_EQ(undo.exitCode, 1u);
  // The link itself is an entry of the tree and gets its old name back.
  EXPECT_TRUE(fs::is_symlink(dir / "T&U" / "a&b"));
}

}  // namespace
