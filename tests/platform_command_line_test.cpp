// The command line: the Windows splitter, the POSIX arguments, the argument
// lookup and the exit status.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_support.h"

using testsupport::Narrow;

namespace {

struct SplitCase {
  std::u16string commandLine;
  std::vector<std::u16string> words;
};

TEST(SplitCommandLine, FollowsTheWindowsRulesWithoutEscapes) {
  const SplitCase cases[] = {
      {u"prog", {}},
      {u"", {}},
      {u"prog a b", {u"a", u"b"}},
      {u"  prog   a   b  ", {u"a", u"b"}},
      {u"prog a\tb\x01"
       u"c\x1f"
       u"d",
       {u"a", u"b", u"c", u"d"}},
      {u"\"C:\\Program Files\\x.exe\" -d \"C:\\My Dir\"", {u"-d", u"C:\\My Dir"}},
      {u"prog \"\" a", {u"a"}},
      {u"prog a \"\"", {u"a"}},
      {u"prog \"\"\"\"", {}},
      {u"prog a\"\"b", {u"ab"}},
      {u"prog \"a b\"c d", {u"a bc", u"d"}},
      {u"prog x\"y z", {u"xy z"}},
      {u"prog C:\\dir\\ \"q\\\" r\"", {u"C:\\dir\\", u"q\\", u"r"}},
      {u"prog -d -C:\\TEMP -f *.jpg", {u"-d", u"-C:\\TEMP", u"-f", u"*.jpg"}},
      {u"prog \u00e9\u4e2d \U0001F600", {u"\u00e9\u4e2d", u"\U0001F600"}},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> words = platform::SplitCommandLine(c.commandLine);
    EXPECT_EQ(words, c.words) << Narrow(c.commandLine);
    for (const auto& w : words) {
      EXPECT_FALSE(w.empty()) << Narrow(c.commandLine);
      EXPECT_EQ(w.find(u'"'), std::u16string::npos) << Narrow(c.commandLine);
    }
  }
}

TEST(Arguments, PosixDropsEmptyArgumentsAndKeepsInvalidBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows takes its arguments from GetCommandLineW";
#else
  char prog[] = "prog", empty[] = "", a[] = "-d",
       bad[] =
           "x\xff"
           "y";
  char* argv[] = {prog, empty, a, bad, nullptr};
  // A copy: InitArguments replaces the list a reference would point into.
  // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
  std::vector<std::u16string> saved = platform::Arguments();
  platform::InitArguments(4, argv);
  std::vector<std::u16string> expected{u"-d", u"x\xdcffy"};
  EXPECT_EQ(platform::Arguments(), expected);
  EXPECT_EQ(platform::EncodeUtf8(platform::Arguments()[1]), "x\xffy");
  platform::SetArguments(saved);
#endif
}

TEST(ArgumentAt, GivesEmptyPastTheLastArgument) {
  platform::SetArguments({u"a", u"b"});
  EXPECT_EQ(platform::ArgumentAt(0), u"");
  EXPECT_EQ(platform::ArgumentAt(1), u"a");
  EXPECT_EQ(platform::ArgumentAt(2), u"b");
  EXPECT_EQ(platform::ArgumentAt(3), u"");
  platform::SetArguments({});
}

TEST(ExitStatusFor, NeverTurnsACountIntoSuccess) {
#ifdef _WIN32
  EXPECT_EQ(platform::ExitStatusFor(256), 256u);
#else
  EXPECT_EQ(platform::ExitStatusFor(0), 0u);
  EXPECT_EQ(platform::ExitStatusFor(255), 255u);
  EXPECT_EQ(platform::ExitStatusFor(256), 255u);
  EXPECT_EQ(platform::ExitStatusFor(0xFFFFFFFFu), 255u);
#endif
}

}  // namespace
