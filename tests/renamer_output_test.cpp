// The renamer as a process: usage, banner, summaries, log, file list and
// exit code, in a run without a walk.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "renamer/renamer.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testsupport::ConsoleLines;
using testsupport::ReadBytes;
using testsupport::RunProgram;
using testsupport::ScratchDir;
using testsupport::Sep;
using testsupport::Utf8Lines;
using testsupport::WriteBytes;
using Lines = std::vector<std::u16string>;

namespace {

// The usage text as it has always been, which scripts may match line by
// line, then the block of the options added since.
const Lines kUsage = {
    u"Ampersand and other \"bad\" symbols renamer v1.0 (UTF)",
    u"Usage: namescourer.exe -d -[workdir] -f [filename] -r [replaceconf]",
    u"              -l [logname] -b [deBug mode] -v [err.leVel] -n [filelist]",
    u"[filename]    target filename (may be *.html 17?.txt)",
    u"[workdir]     include subdir scan",
    u"-[workdir]    no subdir",
    u"[replaceconf] rule file (ANSI), containing string pairs:",
    u"[logname]     Log filename (UTF8) (if not - no logging, console only)",
    u"[deBug mode]  0/not set - working mode",
    u"              1 - debug mode - no renaming, just scanning and logging",
    u"[err.leVel]   0 - equally no logging",
    u"              1 - log errors only",
    u"              2 - log errors + renaming info",
    u"[filelist]    make scan list (UTF8) of new files,",
    u"              if not set - do not make a list",
    u"Example:",
    u"namescourer.exe -d -C:\\TEMP -f *.jpg -r repl.txt -l err.log -v 1 -n newlist.txt",
    u"Example of [replaceconf] repl.txt:",
    u"&",
    u"[+]",
    u"|",
    u"_",
    u"%ERRORLEVEL% returns quantity of I/O errors. If 0, then all ok.",
};
const Lines kAddedUsage = {
    u"More options:",
    u"-w [win names] 1 - also make names Windows can hold: accents composed, no",
    u"               trailing dot/blank, no device name, <= 255 chars, no control",
    u"               character and none of < > : \" \\ | ? *, no two names in one",
    u"               folder that differ only in case",
    u"-j [journal]   write each rename to a new journal (UTF8) before it is made",
    u"-u [journal]   undo the renames of a journal, last first; -u ignores -d, -f, -r",
    u"-p 1           preview the whole run: rename nothing, report it all (-j: the plan)",
};

using Settings = testsupport::RenamerSettings;
namespace labels = testsupport::namescourer;

Lines RunLines(const Settings& s, std::uint32_t ioErrors) {
  return testsupport::Concat({{labels::kBanner},
                              testsupport::RenamerSettingsRows(s),
                              testsupport::RenamerEmptyStatisticsRows(ioErrors)});
}

TEST(RenamerRun, WithoutArgumentsPrintsExactlyTheUsageText) {
  ScratchDir dir;
  auto result = RunProgram("namescourer", {}, dir.path());
  const Lines lines = ConsoleLines(result.out);
  ASSERT_GE(lines.size(), kUsage.size());
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(kUsage.size())),
            kUsage);
  EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(kUsage.size()), lines.end()),
            kAddedUsage);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(RenamerRun, WithoutKnownOptionsPrintsDefaultsAndNoWalk) {
  ScratchDir dir;
  WriteBytes(dir / "a&b.txt", "");
  // The default rule file name "*" names no file, even where one can be so named.
  if (Sep() == u"/") WriteBytes(dir / "*", "&\r\n+\r\n");
  auto result = RunProgram("namescourer", {u"x"}, dir.path());
  EXPECT_EQ(ConsoleLines(result.out), RunLines(Settings(), 0));
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_TRUE(fs::exists(dir / "a&b.txt"));
}

TEST(RenamerRun, SettingsShowTheParsedOptions) {
  ScratchDir dir;
  auto result = RunProgram("namescourer",
                           {u"-d", u"-sub", u"-f", u"*.jpg", u"-r", u"none.txt", u"-b", u"1", u"-l",
                            u"run.log", u"-n", u"list.txt"},
                           dir.path());
  Settings s;
  s.workDir = u"sub" + Sep();
  s.subdirs = u"no";
  s.mask = u"*.jpg";
  s.rules = u"none.txt";
  s.debug = u"yes";
  s.logging = u"yes";
  s.logName = u"run.log";
  s.listName = u"list.txt";
  s.listMake = u"yes";
  EXPECT_EQ(ConsoleLines(result.out), RunLines(s, 0));
  EXPECT_EQ(result.exitCode, 0u);
  // Level 0: the log is never created; the file list is, and stays empty.
  EXPECT_FALSE(fs::exists(dir / "run.log"));
  EXPECT_EQ(ReadBytes(dir / "list.txt"), "");
}

TEST(RenamerRun, LogReceivesEveryLineFromTheBannerOnAndIsAppended) {
  ScratchDir dir;
  WriteBytes(dir / "run.log", "earlier run\r\n\x1a");
  auto result = RunProgram("namescourer", {u"-l", u"run.log", u"-v", u"1"}, dir.path());
  Settings s;
  s.logging = u"yes";
  s.level = u"1";
  s.logName = u"run.log";
  Lines expected = RunLines(s, 0);
  EXPECT_EQ(ConsoleLines(result.out), expected);
  expected.insert(expected.begin(), u"earlier run");
  EXPECT_EQ(Utf8Lines(ReadBytes(dir / "run.log")), expected);
  EXPECT_EQ(result.exitCode, 0u);
}

TEST(RenamerRun, ALogThatCannotBeOpenedIsRetriedAtEveryLine) {
  ScratchDir dir;
  std::u16string logName = u"missing" + Sep() + u"run.log";
  auto result = RunProgram("namescourer", {u"-l", logName, u"-v", u"1"}, dir.path());
  Settings s;
  s.logging = u"yes";
  s.level = u"1";
  s.logName = logName;
  // 24 lines, each after a failed open; the IN/OUT row shows the count
  // before its own failure, and the exit code counts the last two as well.
  EXPECT_EQ(ConsoleLines(result.out),
            testsupport::EachAfter(u"ERR_OPEN_LOG: " + logName + u".", RunLines(s, 22)));
  EXPECT_EQ(result.exitCode, 24u);
}

TEST(RenamerRun, AFileListThatCannotBeCreatedIsCountedAndReportedFromLevelTwo) {
  struct Case {
    std::u16string level;
    bool message;
  } const cases[] = {{u"0", false}, {u"1", false}, {u"2", true}};
  for (const auto& c : cases) {
    ScratchDir dir;
    std::u16string listName = u"missing" + Sep() + u"list.txt";
    auto result = RunProgram("namescourer", {u"-n", listName, u"-v", c.level}, dir.path());
    Settings s;
    s.level = c.level;
    s.listName = listName;
    s.listMake = u"yes";
    Lines expected = RunLines(s, 1);
    if (c.message) expected.insert(expected.begin(), u"ERR_OPEN_FILELIST: " + listName + u".");
    EXPECT_EQ(ConsoleLines(result.out), expected) << testsupport::Narrow(c.level);
    EXPECT_EQ(result.exitCode, 1u);
  }
}

TEST(RenamerRun, TheFileListFailureOpensTheLogAtLevelTwo) {
  ScratchDir dir;
  std::u16string listName = u"missing" + Sep() + u"list.txt";
  auto result =
      RunProgram("namescourer", {u"-n", listName, u"-v", u"2", u"-l", u"run.log"}, dir.path());
  Lines log = Utf8Lines(ReadBytes(dir / "run.log"));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], u"ERR_OPEN_FILELIST: " + listName + u".");
  EXPECT_EQ(log[1], u"--NAME SCOURER--");
  EXPECT_EQ(log, ConsoleLines(result.out));
}

TEST(RenamerRun, AFailedConsoleWriteEndsTheRunWithOneErrorLine) {
  // On Windows the test runner gives the child an output that refuses every
  // write for this name.
  ScratchDir dir;
  auto result = RunProgram("namescourer", {u"x"}, dir.path(), "/dev/full");
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_EQ(result.err.rfind("I/O error: standard output: ", 0), 0u) << result.err;
  auto usage = RunProgram("namescourer", {}, dir.path(), "/dev/full");
  EXPECT_EQ(usage.exitCode, 1u);
}

}  // namespace

namespace {

TEST(RenamerRun, AnErrorCountAbove255NeverReadsAsSuccess) {
  ScratchDir dir;
  fs::create_directory(dir / "t");
  for (int i = 0; i < 100; ++i) WriteBytes(dir / "t" / ("a&" + std::to_string(i)), "");
  WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  std::u16string logName = u"missing" + Sep() + u"run.log";
  // Every line at level 2 fails to open the log once: over 300 errors.
  auto result = RunProgram(
      "namescourer", {u"-d", u"t", u"-r", u"rules.txt", u"-l", logName, u"-v", u"2"}, dir.path());
  Lines lines = ConsoleLines(result.out);
  ASSERT_GE(lines.size(), 3u);
  std::u16string row = lines[lines.size() - 3];
  ASSERT_EQ(row.substr(0, 17), labels::kIoErrors);
  auto printed = static_cast<std::uint32_t>(std::stoul(testsupport::Narrow(row.substr(17))));
  EXPECT_GT(printed, 300u);
  EXPECT_EQ(result.exitCode, platform::ExitStatusFor(printed + 2));
  EXPECT_NE(result.exitCode, 0u);
  EXPECT_TRUE(fs::exists(dir / "t" / "a+99"));
}

}  // namespace
