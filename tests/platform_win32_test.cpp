// Behaviour that only the Win32 backend has: the system's code pages and
// case mapping, the 259-unit name limit, MoveFileW's refusal to replace,
// FindFirstFileW's listing, and the console as a child process sees it.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <windows.h>
#include <set>
#include <string>
#include <vector>

#include "platform/cp1252.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::ReadBytes;
using testsupport::RunProgram;
using testsupport::ScratchDir;
using testsupport::U;
using testsupport::WriteBytes;

#define SKIP_UNLESS_1252()                                                     \
  if (platform::AnsiCodePage() != 1252)                                        \
  GTEST_SKIP() << "expectations are for ANSI code page 1252, this system has " \
               << platform::AnsiCodePage()

std::u16string Name(const std::filesystem::path& path) { return path.u16string(); }

TEST(Win32CodePage, IsWindows1252UnderWine) { EXPECT_EQ(1252u, platform::AnsiCodePage()); }

TEST(Win32CodePage, ToAnsiBestFitsOneByteForEachCharacter) {
  SKIP_UNLESS_1252();
  struct Case {
    std::u16string text;
    std::string ansi;
  } const cases[] = {
      {U("Łódź"),
       "L\xF3"
       "dz"},
      {U("x一y"), "x?y"},
      {U("\xF0\x9F\x98\x80"), "?"},
      {U("a\xF0\x9F\x98\x80"
         "b\xF0\x9F\x98\x80"),
       "a?b?"},
      {std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},
      {std::u16string(1, char16_t(0xDC41)), "?"},
      {U("€ café"), "\x80 caf\xE9"},
      {u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.ansi, platform::ToAnsi(c.text)) << testsupport::Narrow(c.text);
  }
}

// The POSIX backend's table must give what the system gives, for every
// code unit alone (lone surrogates included) and every byte.
TEST(Win32CodePage, SystemConversionEqualsTheCommittedTable) {
  int differences = 0;
  for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const auto wide = static_cast<wchar_t>(unit);
    char bytes[8] = {};
    const int n = WideCharToMultiByte(1252, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
    const std::uint8_t expected = platform::cp1252::ToByte(static_cast<char16_t>(unit));
    if (n != 1 || static_cast<std::uint8_t>(bytes[0]) != expected) {
      if (++differences <= 20) {
        ADD_FAILURE() << "U+" << std::hex << unit << ": system " << n << " byte(s) "
                      << (static_cast<unsigned>(bytes[0]) & 0xFF) << ", table "
                      << static_cast<unsigned>(expected);
      }
    }
  }
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t wide[4] = {};
    const int n = MultiByteToWideChar(1252, 0, &byte, 1, wide, 4);
    EXPECT_EQ(n, 1) << b;
    EXPECT_EQ(static_cast<char16_t>(wide[0]),
              platform::cp1252::ToChar(static_cast<std::uint8_t>(b)))
        << b;
  }
  EXPECT_EQ(differences, 0);
}

TEST(Win32CodePage, FromAnsiReadsWindows1252) {
  SKIP_UNLESS_1252();
  EXPECT_EQ(U("€é") + char16_t(0x81), platform::FromAnsi("\x80\xE9\x81"));
  EXPECT_EQ(u"", platform::FromAnsi(""));
}

// Every code unit and the system's upper case of it are one name to
// Windows; FoldCase must give them one key.
TEST(Win32Case, FoldCaseJoinsEveryUnitWithItsSystemUpperCase) {
  std::string missed;
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    auto upper = static_cast<wchar_t>(unit);
    CharUpperBuffW(&upper, 1);
    const std::u16string name(1, static_cast<char16_t>(unit));
    const std::u16string upperName(1, static_cast<char16_t>(upper));
    if (platform::FoldCase(name) != platform::FoldCase(upperName)) {
      missed += " U+" + std::to_string(unit) + "/" + std::to_string(upper);
    }
  }
  EXPECT_EQ(missed, "");
}

TEST(Win32Rename, RefusesAnExistingTargetAndKeepsBothEntries) {
  ScratchDir dir;
  WriteBytes(dir / "a.txt", "one");
  WriteBytes(dir / "b.txt", "two");
  std::filesystem::create_directory(dir / "sub");

  EXPECT_FALSE(platform::RenameNoReplace(Name(dir / "a.txt"), Name(dir / "b.txt")));
  EXPECT_FALSE(platform::RenameNoReplace(Name(dir / "a.txt"), Name(dir / "sub")));
  EXPECT_FALSE(platform::RenameNoReplace(Name(dir / "sub"), Name(dir / "b.txt")));
  EXPECT_EQ("one", ReadBytes(dir / "a.txt"));
  EXPECT_EQ("two", ReadBytes(dir / "b.txt"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));

  EXPECT_TRUE(platform::RenameNoReplace(Name(dir / "a.txt"), Name(dir / "c.txt")));
  EXPECT_EQ("one", ReadBytes(dir / "c.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "a.txt"));

  // A ":" in the new name would name a file in drive C's current folder, or
  // a stream: refused before the system sees it.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_FALSE(platform::RenameNoReplace(u"c.txt", u"C:moved.txt"));
  EXPECT_FALSE(platform::RenameNoReplace(u"c.txt", u"c.txt:stream"));
  std::filesystem::current_path(before);
  EXPECT_EQ("one", ReadBytes(dir / "c.txt"));
  std::error_code ignored;
  std::filesystem::remove("C:\\moved.txt", ignored);
}

// Another program holds each file open for reading and writing, sharing
// both: the rule and palette files share reading only, so that writer keeps
// them out; the screen is read and the BMP created beside it.
TEST(Win32Sharing, TextInputSharesReadingOnlyByteFilesShareBoth) {
  ScratchDir dir;
  WriteBytes(dir / "held.txt", "&\r\n[+]\r\n");
  const std::u16string held = Name(dir / "held.txt");
  HANDLE other = CreateFileW(reinterpret_cast<const wchar_t*>(held.c_str()),
                             GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  platform::InputTextFile text;
  EXPECT_FALSE(text.Open(held));
  platform::ByteFile screen;
  EXPECT_TRUE(screen.OpenRead(held));
  EXPECT_TRUE(screen.Close());
  platform::ByteFile bmp;
  EXPECT_TRUE(bmp.Create(held));
  EXPECT_TRUE(bmp.Close());
  CloseHandle(other);
  EXPECT_TRUE(text.Open(held));
  EXPECT_TRUE(text.Close());
}

TEST(Win32NameLength, NamesOver259UnitsAreRefused) {
  ScratchDir dir;
  std::u16string folder = Name(dir.path()) + u"\\";
  ASSERT_LT(folder.size(), 200u);
  std::u16string longest = folder + std::u16string(259 - folder.size(), u'a');
  std::u16string tooLong = folder + std::u16string(260 - folder.size(), u'b');

  platform::ByteFile file;
  EXPECT_TRUE(file.Create(longest));
  EXPECT_TRUE(file.Close());
  EXPECT_TRUE(platform::FileExists(longest));
  EXPECT_FALSE(file.Create(tooLong));
  EXPECT_FALSE(platform::FileExists(tooLong));

  platform::OutputTextFile text;
  EXPECT_FALSE(text.Open(tooLong));
  EXPECT_FALSE(platform::RenameNoReplace(longest, tooLong));
  EXPECT_TRUE(platform::FileExists(longest));
  std::u16string shortName = folder + u"s";
  EXPECT_TRUE(platform::RenameNoReplace(longest, shortName));
  EXPECT_FALSE(platform::RenameNoReplace(shortName, tooLong));
  EXPECT_TRUE(platform::FileExists(shortName));
}

// The picture's temporary name is no longer than its own name, so a name
// of 259 units in a deep folder is written, new and over an old file; one
// too short for any temporary name is written in place.
TEST(Win32NameLength, APictureIsWrittenWhereverItsNameFits) {
  ScratchDir dir;
  for (const std::u16string own :
       {u"o.bmp", u"ab", u"picture1.bmp", u"a-picture-of-24-units.bmp"}) {
    std::u16string folder = Name(dir.path()) + u"\\";
    folder += std::u16string(258 - folder.size() - own.size(), u'f') + u"\\";
    const std::u16string name = folder + own;
    ASSERT_EQ(name.size(), 259u);
    std::filesystem::create_directory(folder);
    for (const std::string content : {"first", "second"}) {
      platform::ReplacingFile file;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
      EXPECT_TRUE(file.Create(name) && file.Write(bytes, content.size()) && file.Commit())
          << testsupport::Narrow(own);
      EXPECT_EQ(ReadBytes(name), content) << testsupport::Narrow(own);
    }
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      (void)entry;
      ++entries;
    }
    EXPECT_EQ(entries, 1u) << "nothing left beside " << testsupport::Narrow(own);
    std::filesystem::remove_all(folder);
  }
}

TEST(Win32Names, AnEmbeddedNulNeverReachesTheSystem) {
  ScratchDir dir;
  WriteBytes(dir / "x", "keep");
  std::u16string cut = Name(dir / "x") + u'\0' + u"y";

  platform::ByteFile file;
  EXPECT_FALSE(file.Create(cut));
  EXPECT_FALSE(platform::FileExists(cut));
  EXPECT_FALSE(platform::RenameNoReplace(Name(dir / "x"), Name(dir / "z") + u'\0'));
  EXPECT_EQ("keep", ReadBytes(dir / "x"));
}

TEST(Win32Exists, TellsFilesFromDirectories) {
  ScratchDir dir;
  WriteBytes(dir / "f.txt", "");
  std::u16string file = Name(dir / "f.txt");
  std::u16string folder = Name(dir.path());
  std::u16string missing = Name(dir / "none" / "deeper");

  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::DirectoryExists(file));
  EXPECT_TRUE(platform::DirectoryExists(folder));
  EXPECT_FALSE(platform::FileExists(folder));
  EXPECT_FALSE(platform::FileExists(missing));
  EXPECT_FALSE(platform::DirectoryExists(missing));
  EXPECT_FALSE(platform::DirectoryExists(Name(dir / "none")));
  // Errors that mean "nothing there" (path not found, invalid name).
  for (const std::u16string& name :
       {file + u"\\x", folder + u"\\a*b", folder + u"\\a<b", std::u16string()}) {
    EXPECT_FALSE(platform::DirectoryExists(name)) << testsupport::Narrow(name);
    EXPECT_FALSE(platform::FileExists(name)) << testsupport::Narrow(name);
  }
}

// The second pass lists a folder below the walk root that the test holds
// open with delete access, as another program may: it cannot be pinned
// against renames, and is listed all the same, through a handle that shares
// deletion.
TEST(Win32Listing, FindsMatchesWithDotEntriesAndDirectoryFlags) {
  ScratchDir dir;
  const std::filesystem::path folder = dir / "L";
  std::filesystem::create_directory(folder);
  WriteBytes(folder / "a.txt", "");
  WriteBytes(folder / "B.TXT", "");
  WriteBytes(folder / "c.dat", "");
  std::filesystem::create_directory(folder / "sub.txt");

  auto list = [&](const std::u16string& pattern) {
    std::set<std::string> names;
    platform::DirectoryListing listing;
    if (!listing.Open(Name(folder) + u"\\" + pattern)) return names;
    platform::DirEntry entry;
    while (listing.Next(entry)) {
      names.insert(testsupport::Narrow(entry.name) + (entry.isDirectory ? "/" : ""));
    }
    EXPECT_FALSE(listing.Failed());
    return names;
  };
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held for deletion" : "plain");
    HANDLE other = INVALID_HANDLE_VALUE;
    if (held) {
      ASSERT_TRUE(platform::SetWalkRoot(Name(dir.path())));
      other = CreateFileW(folder.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      ASSERT_NE(other, INVALID_HANDLE_VALUE);
      HANDLE pin =
          CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      EXPECT_EQ(pin, INVALID_HANDLE_VALUE) << "the system lets the folder be pinned";
      if (pin != INVALID_HANDLE_VALUE) CloseHandle(pin);
    }
    EXPECT_EQ((std::set<std::string>{"B.TXT", "a.txt", "sub.txt/"}), list(u"*.txt"));
    EXPECT_EQ((std::set<std::string>{"./", "../", "B.TXT", "a.txt", "c.dat", "sub.txt/"}),
              list(u"*"));
    EXPECT_EQ((std::set<std::string>{"c.dat"}), list(u"?.dat"));
    EXPECT_TRUE(list(u"*.none").empty());
    if (held) {
      CloseHandle(other);
      platform::ClearWalkRoot();
    }
  }

  platform::DirectoryListing missing;
  EXPECT_FALSE(missing.Open(Name(dir / "none") + u"\\*"));
  platform::DirEntry entry;
  EXPECT_FALSE(missing.Next(entry));
}

// The probe writes each argument as a console line; here its standard
// output is a file, so the lines arrive in the ANSI code page.
TEST(Win32Console, RedirectedOutputIsAnsiWithCrLf) {
  SKIP_UNLESS_1252();
  ScratchDir dir;
  auto run = RunProgram("console_probe", {U("Łé€"), u"plain", u"a b", u"", u"\tx"}, dir.path());
  EXPECT_EQ("L\xE9\x80\r\nplain\r\na b\r\n\tx\r\n", run.out);
  EXPECT_EQ("", run.err);
  EXPECT_EQ(4u, run.exitCode);
}

TEST(Win32Console, BufferedOutputLosesNothingPastTheBuffer) {
  ScratchDir dir;
  std::vector<std::u16string> args;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    std::string line = "line " + std::to_string(i) + std::string(i % 7, '.');
    args.push_back(U(line));
    expected += line + "\r\n";
  }
  auto run = RunProgram("console_probe", args, dir.path());
  EXPECT_EQ(expected, run.out);
  EXPECT_EQ(40u, run.exitCode);
}

TEST(Win32Console, UnexpectedErrorGoesToStandardErrorInTheOemCodePage) {
  SKIP_UNLESS_1252();
  ScratchDir dir;
  auto run = RunProgram("console_probe", {u"before", u"-e", u"never"}, dir.path());
  EXPECT_EQ("before\r\n", run.out);
  // U+00E9 is 0x82 in the OEM code pages 437 and 850.
  EXPECT_EQ("IoError: caf\x82 closed\r\n", run.err);
  EXPECT_EQ(1u, run.exitCode);
}

// A redirected output is written when the buffer fills or at the end; both
// failures end the program through the error report.
TEST(Win32Console, AFailedWriteIsReportedOnceWithTheSystemsReason) {
  ScratchDir dir;
  for (const std::u16string& line : {std::u16string(u"short"), std::u16string(300, u'x')}) {
    auto run = RunProgram("console_probe", {line, u"more"}, dir.path(), "/dev/full");
    EXPECT_EQ(1u, run.exitCode);
    const std::string prefix = "IoError: standard output: ";
    EXPECT_EQ(0u, run.err.find(prefix)) << run.err;
    // FormatMessageW's text, on the same line, without its period.
    ASSERT_GT(run.err.size(), prefix.size() + 3) << run.err;
    EXPECT_EQ(run.err.size() - 2, run.err.find("\r\n")) << run.err;
    EXPECT_NE('.', run.err[run.err.size() - 3]) << run.err;
  }
}

}  // namespace
