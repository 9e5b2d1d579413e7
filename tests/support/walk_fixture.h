// The fixture of the renamer's end-to-end tests (WalkTest): a scratch tree,
// a run of namescourer in it, and readers for its counters and settings.
// Shared by the test files of the walk, the journal, the undo, -w and the
// unique names, so that their cases stay in the one WalkTest suite.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_WALK_FIXTURE_H
#define TESTS_SUPPORT_WALK_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace renamertest {

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

inline bool OnWindows() { return testsupport::Sep() == u"\\"; }

// A relative path inside the scratch directory, joined by the platform's
// separator, as the renamer prints it.
inline std::u16string J(std::initializer_list<std::u16string> parts) {
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
inline const std::pair<const char16_t*, std::uint32_t Counts::*> kCounterRows[] = {
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

inline bool operator==(const Counts& a, const Counts& b) {
  return std::all_of(std::begin(kCounterRows), std::end(kCounterRows),
                     [&](const auto& row) { return a.*row.second == b.*row.second; });
}

inline void PrintTo(const Counts& counts, std::ostream* out) {
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

  // Every entry below the scratch directory (testsupport::TreeBelow).
  testsupport::Tree Tree() const { return testsupport::TreeBelow(scratch_.path()); }

  Lines DebugThenWorkingAgree(std::vector<std::u16string> args);

  testsupport::ScratchDir scratch_;
};

inline std::u16string Setting(const Lines& lines, const std::u16string& label) {
  for (const std::u16string& line : lines) {
    if (line.rfind(label, 0) == 0) return line.substr(label.size());
  }
  return u"<missing>";
}

inline Counts Counters(const Lines& lines) {
  Counts counts;
  for (const auto& row : kCounterRows) {
    counts.*row.second = static_cast<std::uint32_t>(std::stoul(Narrow(Setting(lines, row.first))));
  }
  return counts;
}

inline constexpr char kAmpRule[] = "&\r\n[+]\r\n";

// Contents of every file below dir, as a sorted list (the multiset).
inline std::vector<std::string> AllContents(const fs::path& dir) {
  return testsupport::FileContents(testsupport::TreeBelow(dir));
}

// A debug run, then a working run of the same arguments: the debug run
// must have foreseen every name, so their walk lines, file lists and
// counters match. Returns the working run's walk lines.
inline Lines WalkTest::DebugThenWorkingAgree(std::vector<std::u16string> args) {
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

}  // namespace renamertest

#endif  // TESTS_SUPPORT_WALK_FIXTURE_H
