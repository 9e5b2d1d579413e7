// The renamer's command-line parser: option lookup, debug mode and argument access.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "renamer/renamer.h"
#include "tests/support/test_support.h"

using testsupport::Narrow;

namespace {

// Turns "/" in an expected path into the platform's separator, so that one
// table serves every build.
std::u16string P(std::u16string path) {
  for (char16_t& c : path) {
    if (c == u'/') c = platform::kPathSeparator;
  }
  return path;
}

struct ParseCase {
  std::vector<std::u16string> args;
  std::u16string workDir;
  bool includeSubdirs;
  std::u16string fileMask, ruleFileName, logFileName;
  std::uint32_t logLevel;
  std::u16string fileListName;
  bool debugMode;
};

TEST(ParseCommandLine, LooksUpEachOptionOnItsOwn) {
  const ParseCase cases[] = {
      {{u"-d", P(u"-C:/TEMP"), u"-f", u"*.jpg", u"-r", u"repl.txt", u"-l", u"err.log", u"-v", u"1",
        u"-n", u"newlist.txt"},
       P(u"C:/TEMP/"),
       false,
       u"*.jpg",
       u"repl.txt",
       u"err.log",
       1,
       u"newlist.txt",
       false},
      {{u"x"}, u"", true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-d", P(u"C:/TEMP")}, P(u"C:/TEMP/"), true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-d", P(u"C:/TEMP/")}, P(u"C:/TEMP/"), true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-d", u"C:"}, P(u"C:/"), true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-d", u"-"}, u"", false, u"*.*", u"*", u"", 0, u"", false},
      {{u"-d", u"--x"}, P(u"-x/"), false, u"*.*", u"*", u"", 0, u"", false},
      {{u"-f", u"*.txt", u"-f", u"*.jpg"}, u"", true, u"*.txt", u"*", u"", 0, u"", false},
      {{u"-l", u"-v", u"2"}, u"", true, u"*.*", u"*", u"-v", 2, u"", false},
      {{u"-d", u"-f", u"*.txt"}, P(u"f/"), false, u"*.txt", u"*", u"", 0, u"", false},
      {{u"-f"}, u"", true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-v", u"0"}, u"", true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-v", u"9"}, u"", true, u"*.*", u"*", u"", 9, u"", false},
      {{u"-v", u"25"}, u"", true, u"*.*", u"*", u"", 2, u"", false},
      {{u"-v", u"abc"}, u"", true, u"*.*", u"*", u"", 1, u"", false},
      {{u"-v", u"-1"}, u"", true, u"*.*", u"*", u"", 1, u"", false},
      {{u"-V", u"2"}, u"", true, u"*.*", u"*", u"", 0, u"", false},
      {{u"-D", u"x", u"/d", u"y", u"-dx", u"z"}, u"", true, u"*.*", u"*", u"", 0, u"", false},
  };
  for (const auto& c : cases) {
    renamer::ResetRun();
    platform::SetArguments(c.args);
    renamer::ParseCommandLine();
    std::string where = Narrow(c.args[0]) + " " + (c.args.size() > 1 ? Narrow(c.args[1]) : "");
    EXPECT_EQ(renamer::options.workDir, c.workDir) << where;
    EXPECT_EQ(renamer::options.includeSubdirs, c.includeSubdirs) << where;
    EXPECT_EQ(renamer::options.fileMask, c.fileMask) << where;
    EXPECT_EQ(renamer::options.ruleFileName, c.ruleFileName) << where;
    EXPECT_EQ(renamer::options.logFileName, c.logFileName) << where;
    EXPECT_EQ(renamer::options.logLevel, c.logLevel) << where;
    EXPECT_EQ(renamer::options.fileListName, c.fileListName) << where;
    EXPECT_EQ(renamer::options.debugMode, c.debugMode) << where;
  }
  platform::SetArguments({});
}

TEST(ParseCommandLine, SwitchesDebugModeOnlyForAValueStartingWithOne) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"1", true}, {u"1x", true}, {u"10", true}, {u"0", false}, {u"yes", false}, {u"2", false},
  };
  for (const auto& [value, debug] : cases) {
    renamer::ResetRun();
    platform::SetArguments({u"-b", value});
    renamer::ParseCommandLine();
    EXPECT_EQ(renamer::options.debugMode, debug) << Narrow(value);
    // -w reads its value the same way, on its own.
    renamer::ResetRun();
    platform::SetArguments({u"-w", value, u"-b", u"0"});
    renamer::ParseCommandLine();
    EXPECT_EQ(renamer::options.windowsNames, debug) << Narrow(value);
    EXPECT_FALSE(renamer::options.debugMode) << Narrow(value);
    // So does -p, which leaves debug mode as -b says.
    renamer::ResetRun();
    platform::SetArguments({u"-p", value, u"-b", u"0"});
    renamer::ParseCommandLine();
    EXPECT_EQ(renamer::options.previewMode, debug) << Narrow(value);
    EXPECT_FALSE(renamer::options.debugMode) << Narrow(value);
  }
  renamer::ResetRun();
  platform::SetArguments({u"-b"});
  renamer::ParseCommandLine();
  EXPECT_FALSE(renamer::options.debugMode);
  EXPECT_FALSE(renamer::options.windowsNames);
  EXPECT_FALSE(renamer::options.previewMode);
  platform::SetArguments({});
}

}  // namespace
