// End-to-end runs of namescourer with -w 1: names that Windows can hold
// and names told apart without regard to case.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
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
      // A folder and a file share the keys; the folder pass comes first.
      {"a file and a folder", kAmpRule, {u"data"}, {u"DATA"}, w, 1, 0},
      {"a device folder and a device file", kAmpRule, {u"con"}, {u"CON"}, w, 1, 0},
      {"a folder's new name and a file", kAmpRule, {u"A[+]B"}, {u"a&b"}, w, 1, 0},
      {"a file's new name and a folder", kAmpRule, {u"x&.txt"}, {u"X[+].TXT"}, w, 1, 0},
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
    std::set<std::u16string> keys;
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(At(u"T"))) {
      ++entries;
      keys.insert(platform::FoldCase(testsupport::NameOf(entry.path().filename())));
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
    // characters no Windows name can hold ("?" is the rule's here)
    {{u"a<b>c.txt", u"a_b_c.txt"},
     {u"x:y", u"x_y"},
     {u"p|q\"r*s", u"p_q_r_s"},
     {u"back\\slash", u"back_slash"},
     {u"tab\tnl\ncr\rone\x01us\x1f", u"tab_nl_cr_one_us_"},
     {u"aux:", u"aux_"},
     {u"del\x7f.txt", u"del\x7f.txt"}},
};

std::u16string Repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

// A directory's own text is what follows its last separator and a leading
// drive designator; "\\" is a separator on Windows only.
struct OwnTextCase {
  std::u16string path, posix, windows;
};
const std::vector<OwnTextCase> kOwnTexts = {
    {u"C:TEMP", u"C:TEMP", u"C:TEMP"},
    {u"C:a<b", u"C:a_b", u"C:a_b"},
    {u"C:", u"C:", u"C:"},
    {u"T../a:b", u"T../a_b", u"T../a_b"},
    {u"T..\\a:b", u"T.._a_b", u"T..\\a_b"},
    {u"1:x", u"1_x", u"1_x"},
};

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
  for (const OwnTextCase& c : kOwnTexts) {
    bool changed = false;
    EXPECT_EQ(renamer::RewriteName(renamer::EntryKind::Directory, c.path, changed),
              OnWindows() ? c.windows : c.posix)
        << Narrow(c.path);
  }
  renamer::ResetRun();
}

// Why Windows cannot hold `name`, from its naming rules; empty when it can.
std::string WhyNotAWindowsName(const std::u16string& name) {
  if (name.empty() || name.size() > 255) return "empty or longer than 255 units";
  for (const char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) {
      return "holds a reserved character";
    }
  }
  if (name.back() == u'.' || name.back() == u' ') return "ends in a dot or a blank";
  std::u16string stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (char16_t& c : stem) c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  for (const std::u16string device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (stem == device) return "a device name";
  }
  for (const std::u16string device : {u"COM", u"LPT"}) {
    for (const char16_t digit : std::u16string(u"123456789\u00B9\u00B2\u00B3")) {
      if (stem == device + digit) return "a device name";
    }
  }
  return "";
}

// -w 1 over a folder that holds every kind of pair Windows refuses: a
// folder and a file, or two of a kind, whose names differ only in case
// (devices among them), and names with each character Windows cannot hold.
// Where the system cannot hold a name, the rules make it ("~HH" becomes
// the character HH). Afterwards every name passes the rules of Windows and
// no two names of a folder differ only in case; a debug run foresees it.
TEST_F(WalkTest, WindowsNamesLeaveOnlyNamesWindowsCanHold) {
  std::string rules;
  std::vector<char16_t> made;
  for (char16_t c = 1; c < 0x80; ++c) {
    // A rule line cannot hold CR, LF or Ctrl-Z; "\\" is a separator on Windows.
    if (c == u'\n' || c == u'\r' || c == 0x1A || c == u'/' || (c == u'\\' && OnWindows())) {
      continue;
    }
    if (c >= 0x20 && c != 0x7F && c != u'.' && std::isalpha(c) == 0 &&
        std::u16string_view(u"<>:\"\\|?*").find(c) == std::u16string_view::npos) {
      continue;
    }
    made.push_back(c);
    char hex[8];
    std::snprintf(hex, sizeof hex, "~%02X", static_cast<unsigned>(c));
    rules += std::string(hex) + "\r\n" + static_cast<char>(c) + "\r\n";
  }
  Rules(rules);
  Dir(u"T");
  // before + "~HH" + after.
  auto hex = [](const char* before, char16_t c, const char* after = "") {
    char text[32];
    std::snprintf(text, sizeof text, "%s~%02X%s", before, static_cast<unsigned>(c), after);
    return U(text);
  };
  std::size_t named = 0;
  for (const char16_t c : made) {
    if (std::isalpha(c) != 0 || c == u'.') continue;
    ++named;
    File(J({u"T", hex("f", c, ".txt")}));
    Dir(J({u"T", hex("d", c)}));
  }
  // Pairs: a folder and a file, two folders, two files, devices; made by
  // the rules, since Windows cannot hold them side by side.
  Dir(J({u"T", hex("D", u'o', "cs")}));
  File(J({u"T", u"docs"}));
  Dir(J({u"T", hex("", u'C', "ON")}));
  File(J({u"T", hex("c", u'o', "n")}));
  Dir(J({u"T", u"Data"}));
  Dir(J({u"T", hex("DAT", u'A')}));
  File(J({u"T", u"Readme.txt"}));
  File(J({u"T", hex("README", u'.', "txt")}));
  File(J({u"T", hex("", u'A', "UX~3A")}));
  File(J({u"T", hex("a", u'U', "x")}));
  if (!OnWindows()) {
    // The names themselves, as a Linux file system holds them.
    for (const std::u16string name : {u"Docs2", u"a<b", u"c\nd", u"e\x01f", u"g:h", u"i\\j", u"k|l",
                                      u"m\"n", u"o?p", u"q*r", u"CON2", u"nul", u"x>y."}) {
      File(J({u"T", u"s", name}));
      Dir(J({u"T", u"s", name + u"_d"}));
    }
    Dir(J({u"T", u"s", u"docs2"}));
    Dir(J({u"T", u"s", u"NUL"}));
  }
  DebugThenWorkingAgree({u"-d", u"T", u"-w", u"1"});
  std::map<fs::path, std::set<std::u16string>> keysByFolder;
  std::size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(At(u"T"))) {
    const std::u16string name = testsupport::NameOf(entry.path().filename());
    EXPECT_EQ(WhyNotAWindowsName(name), "") << Narrow(name);
    EXPECT_TRUE(keysByFolder[entry.path().parent_path()].insert(platform::FoldCase(name)).second)
        << Narrow(name) << " differs only in case from another name of its folder";
    ++entries;
  }
  EXPECT_GE(entries, 2 * named + 10);
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
