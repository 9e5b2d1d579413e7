// Directories and files that the programs may not read or write. The
// programs run as user nobody when the tests run as root, whom file modes
// do not stop.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
namespace labels = testsupport::namescourer;
using Lines = std::vector<std::u16string>;
using testsupport::Concat;
using testsupport::ConsoleLines;
using testsupport::EachAfter;
using testsupport::FailedRenameLines;
using testsupport::kLogging;
using testsupport::kTrueColor;
using testsupport::ProcessResult;
using testsupport::ReadBytes;
using testsupport::SummaryValue;
using testsupport::WalkLines;
using testsupport::WriteBytes;
using testsupport::ZxrasterSettings;
using testsupport::ZxrasterSummary;

class PermissionFault : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::string reason;
    static const bool apply = testsupport::PermissionsApply(reason);
    if (!apply) GTEST_SKIP() << reason;
  }

  // A file every user may change (the test may run as root).
  void File(const fs::path& relative, const std::string& content) {
    fs::create_directories((dir_ / relative).parent_path());
    WriteBytes(dir_ / relative, content);
  }

  void Mode(const fs::path& relative, int mode) {
    fs::permissions(dir_ / relative, static_cast<fs::perms>(mode));
  }

  ProcessResult Run(const std::string& program, const std::vector<std::u16string>& args) {
    testsupport::OpenUp(dir_.path());
    for (const auto& [path, mode] : modes_) Mode(path, mode);
    testsupport::ChildOptions options;
    options.unprivileged = true;
    return testsupport::RunChild(program, args, dir_.path(), options);
  }

  // Modes set just before the run, after everything was opened up.
  std::vector<std::pair<fs::path, int>> modes_;
  testsupport::ScratchDir dir_{testsupport::ScratchDir::Reach::kEveryUser};
};

TEST_F(PermissionFault, RenamerSkipsADirectoryItCannotListWithoutAWord) {
  File("T/open/a&1", "1");
  File("T/open/sealed&4", "4");
  File("T/lo&cked/b&2", "2");
  File("T/shut/c&3", "3");
  WriteBytes(dir_ / "rules.txt", "&\r\n+\r\n");
  // A file's own mode does not matter to a rename: only its folder's does.
  modes_ = {{"T/lo&cked", 0}, {"T/shut", 0}, {"T/open/sealed&4", 0}};
  const ProcessResult run =
      Run("namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", u"2", u"-n", u"list.txt"});
  const Lines console = ConsoleLines(run.out);
  ASSERT_EQ(run.signal, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0u);
  // The locked directory's own name is its parent's business: it changes.
  Lines walk = WalkLines(console);
  std::sort(walk.begin(), walk.end());
  EXPECT_EQ(walk, Lines({u"----", u"----", u"----", u"New Dir:T/lo+cked", u"New File:T/open/a+1",
                         u"New File:T/open/sealed+4", u"Old Dir:T/lo&cked", u"Old File:T/open/a&1",
                         u"Old File:T/open/sealed&4"}));
  EXPECT_EQ(SummaryValue(console, testsupport::namescourer::kTotalFiles), 2);
  EXPECT_EQ(SummaryValue(console, testsupport::namescourer::kIoErrors), 0);
  Lines list = testsupport::Utf8Lines(ReadBytes(dir_ / "list.txt"));
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, Lines({u"T/open/a+1", u"T/open/sealed+4"}));
  testsupport::OpenUp(dir_.path());
  EXPECT_EQ(ReadBytes(dir_ / "T/open/sealed+4"), "4");
  EXPECT_EQ(ReadBytes(dir_ / "T/lo+cked/b&2"), "2");
  EXPECT_EQ(ReadBytes(dir_ / "T/shut/c&3"), "3");
}

TEST_F(PermissionFault, RenamerCountsEveryRenameInAFolderItCannotEnter) {
  // Listed but not searchable: the names are seen, every rename fails.
  File("T/x/a&1", "1");
  File("T/x/d&/in", "2");
  WriteBytes(dir_ / "rules.txt", "&\r\n+\r\n");
  modes_ = {{"T/x", 0666}};
  const ProcessResult run = Run("namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", u"1"});
  const Lines console = ConsoleLines(run.out);
  ASSERT_EQ(run.signal, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(testsupport::CountStartingWith(console, u"ERR_EXCEPTION DIR OLD:T/x/d&"), 1u);
  EXPECT_EQ(testsupport::CountStartingWith(console, u"ERR_EXCEPTION FILE OLD:T/x/a&1"), 1u);
  EXPECT_EQ(SummaryValue(console, testsupport::namescourer::kIoErrors), 2);
  EXPECT_EQ(run.exitCode, 2u);
  testsupport::OpenUp(dir_.path());
  EXPECT_EQ(ReadBytes(dir_ / "T/x/a&1"), "1");
  EXPECT_EQ(ReadBytes(dir_ / "T/x/d&/in"), "2");
}

TEST_F(PermissionFault, RenamerCountsEachRenameAFolderRefuses) {
  File("T/ro/z&3", "3");
  File("T/ro/d&d/in&1", "1");
  WriteBytes(dir_ / "rules.txt", "&\r\n+\r\n");
  modes_ = {{"T/ro", 0555}};
  const ProcessResult run = Run("namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", u"1"});
  const Lines console = ConsoleLines(run.out);
  ASSERT_EQ(run.signal, 0);
  EXPECT_EQ(run.err, "");
  // The directory pass cannot go below d&d; the file pass finds it under its
  // present name, and that folder may be changed.
  EXPECT_EQ(WalkLines(console), Concat({FailedRenameLines(u"DIR", u"T/ro/d&d", u"T/ro/d+d"),
                                        FailedRenameLines(u"FILE", u"T/ro/z&3", u"T/ro/z+3")}));
  EXPECT_EQ(SummaryValue(console, testsupport::namescourer::kIoErrors), 2);
  EXPECT_EQ(SummaryValue(console, labels::kRenamedFiles), 1);
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(ReadBytes(dir_ / "T/ro/z&3"), "3");
  EXPECT_EQ(ReadBytes(dir_ / "T/ro/d&d/in+1"), "1");
}

TEST_F(PermissionFault, AnUnreadableRuleFileEndsTheRunBeforeAnythingIsRenamed) {
  File("T/a&b", "x");
  WriteBytes(dir_ / "rules.txt", "&\r\n+\r\n");
  modes_ = {{"rules.txt", 0}};
  const ProcessResult run = Run("namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", u"2"});
  ASSERT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, std::string("I/O error: rules.txt: ") + std::strerror(EACCES) + "\n");
  EXPECT_EQ(ReadBytes(dir_ / "T/a&b"), "x");
}

TEST_F(PermissionFault, RenamerOutputFilesThatCannotBeOpenedAreCountedAndKept) {
  struct Case {
    const char* name;
    std::vector<std::u16string> args;
    const char* file;
    std::u16string message;
    std::size_t messages;  // ERR_OPEN_LOG is repeated before every line
  } const cases[] = {
      {"log", {u"-l", u"run.log", u"-v", u"1"}, "run.log", u"ERR_OPEN_LOG: run.log.", 24},
      {"file list",
       {u"-n", u"list.txt", u"-v", u"2"},
       "list.txt",
       u"ERR_OPEN_FILELIST: list.txt.",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    File(c.file, "earlier\r\n");
    modes_ = {{c.file, 0444}};
    const ProcessResult run = Run("namescourer", c.args);
    const Lines console = ConsoleLines(run.out);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(console.empty());
    EXPECT_EQ(console[0], c.message);
    EXPECT_EQ(std::count(console.begin(), console.end(), c.message),
              static_cast<std::ptrdiff_t>(c.messages));
    EXPECT_EQ(run.exitCode, c.messages);
    EXPECT_EQ(ReadBytes(dir_ / c.file), "earlier\r\n");
  }
}

TEST_F(PermissionFault, ZxrasterReportsEachFileItMayNotUse) {
  const std::string palette = "0,0,0\r\n";
  struct Case {
    const char* name;
    const char* locked;
    int mode;
    const char16_t* out;
    const char16_t* pal;
    const char16_t* message;
    const char16_t* second;  // nullptr: one message only
    std::uint32_t exitCode;
    const char* bmpContent;  // nullptr: no BMP; "": a new one of 147512 bytes; else unchanged
  } const cases[] = {
      {"unreadable screen", "inp.scr", 0, u"o.bmp", u"", u"ERR_INP_FILE: inp.scr read error.",
       nullptr, 1, "old picture"},
      {"unreadable palette", "pal.txt", 0, u"o.bmp", u"pal.txt",
       u"ERR_PALET_FILE: pal.txt read error.",
       u"ERR_PALET_CONSTRUCT: pal.txt file too small - 0 line(s) instead of 16.", 2, ""},
      {"read-only BMP", "o.bmp", 0444, u"o.bmp", u"", u"ERR_OUT_FILE: o.bmp write error.", nullptr,
       1, "old picture"},
      {"BMP in a read-only folder", "out", 0555, u"out/o.bmp", u"",
       u"ERR_OUT_FILE: out/o.bmp write error.", nullptr, 1, nullptr},
      // The old file is written in place where no new one can take its name.
      {"writable BMP in a read-only folder", "out", 0555, u"out/w.bmp", u"", nullptr, nullptr, 0,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    File("inp.scr", testsupport::TestScreen());
    File("pal.txt", palette);
    File("o.bmp", "old picture");
    File("out/w.bmp", "old picture");
    modes_ = {{c.locked, c.mode}};
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-o", c.out};
    if (*c.pal != u'\0') args.insert(args.end(), {u"-p", c.pal});
    if (std::u16string(c.out) != u"o.bmp") fs::remove(dir_ / "o.bmp");
    const ProcessResult run = Run("zxraster", args);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    Lines messages;
    if (c.message != nullptr) messages.emplace_back(c.message);
    if (c.second != nullptr) messages.emplace_back(c.second);
    EXPECT_EQ(ConsoleLines(run.out),
              Concat({ZxrasterSettings(u"inp.scr", c.out, kTrueColor, u"", c.pal), messages,
                      ZxrasterSummary(c.exitCode)}));
    EXPECT_EQ(run.exitCode, c.exitCode);
    const fs::path bmp = dir_ / testsupport::PathOf(c.out);
    if (c.bmpContent == nullptr) {
      EXPECT_FALSE(fs::exists(bmp));
    } else if (*c.bmpContent == '\0') {
      EXPECT_EQ(fs::file_size(bmp), 147512u);
    } else {
      EXPECT_EQ(ReadBytes(bmp), c.bmpContent);
    }
    testsupport::OpenUp(dir_.path());
    fs::remove_all(dir_ / "out");
  }
}

TEST_F(PermissionFault, ZxrasterKeepsALogItMayNotWriteAndCountsEveryAttempt) {
  File("inp.scr", testsupport::TestScreen());
  File("x.log", "earlier\r\n");
  modes_ = {{"x.log", 0444}};
  const ProcessResult run = Run("zxraster", {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-l", u"x.log"});
  ASSERT_EQ(run.signal, 0);
  EXPECT_EQ(run.err, "");
  // The summary shows the count before its own line and the rule after it.
  EXPECT_EQ(ConsoleLines(run.out),
            EachAfter(u"ERR_OPEN_LOG: x.log.",
                      Concat({ZxrasterSettings(u"inp.scr", u"o.bmp", kLogging, u"x.log"),
                              ZxrasterSummary(8)})));
  EXPECT_EQ(run.exitCode, 10u);
  EXPECT_EQ(ReadBytes(dir_ / "x.log"), "earlier\r\n");
  EXPECT_EQ(fs::file_size(dir_ / "o.bmp"), 147512u);
}

}  // namespace
