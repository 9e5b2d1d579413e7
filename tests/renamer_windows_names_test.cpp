// End-to-end runs of namescourer with -w 1: names that Windows can hold
// and names told apart without regard to case.
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
    EXPECT_EQ(CountStartingWith(off.console, labels::kWindowsNames), 0u);

    const ConsoleRun run = Scour({u"-d", u"T", u"-v", u"1", u"-w", u"1"});
    EXPECT_EQ(CountStartingWith(WalkLines(run.console), u"WARN_WIN NAME "), changes);
    EXPECT_EQ(Setting(run.console, labels::kWindowsNames), platform::Decimal(changes));
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
