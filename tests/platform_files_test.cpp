#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testsupport::NameOf;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::WriteBytes;

namespace {

TEST(OutputTextFile, CreatesUtf8WithCrLfAndNoByteOrderMark) {
  ScratchDir dir;
  platform::OutputTextFile file;
  ASSERT_TRUE(file.Open(NameOf(dir / "new.log")));
  file.WriteLine(u"caf\u00e9 \u4e2d");
  file.WriteLine(u"");
  // Control characters, and lone surrogates, where U+DC80..U+DCFF stand for
  // raw bytes of a POSIX name.
  file.WriteLine(std::u16string(u"\x1b[m\r\n\x7f") + char16_t(0xDC80) + char16_t(0xD800));
  ASSERT_TRUE(file.Close());
  const std::string last = platform::kPathSeparator == u'/'
                               ? "?[m???\x80\xef\xbf\xbd"
                               : "\x1b[m\r\n\x7f\xef\xbf\xbd\xef\xbf\xbd";
  EXPECT_EQ(ReadBytes(dir / "new.log"), "caf\xc3\xa9 \xe4\xb8\xad\r\n\r\n" + last + "\r\n");
}

TEST(OutputTextFile, AppendsAfterContentAndCutsAtACtrlZInTheLast128Bytes) {
  struct Case {
    std::string before, after;
  } const cases[] = {
      {"", "x\r\n"},
      {"old\r\n", "old\r\nx\r\n"},
      {"old\r\n\x1a", "old\r\nx\r\n"},
      {"a\x1a"
       "b\x1a"
       "c",
       "ax\r\n"},
      {std::string(200, 'p') + "\x1a" + std::string(127, 'q'), std::string(200, 'p') + "x\r\n"},
      // A Ctrl-Z further back than 128 bytes from the end stays.
      {"\x1a" + std::string(128, 'q'), "\x1a" + std::string(128, 'q') + "x\r\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "old.log", c.before);
    platform::OutputTextFile file;
    ASSERT_TRUE(file.Open(NameOf(dir / "old.log")));
    file.WriteLine(u"x");
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadBytes(dir / "old.log"), c.after) << c.before.size();
  }
}

TEST(OutputTextFile, HoldsLinesInA128ByteBufferUntilFullOrClosed) {
  ScratchDir dir;
  platform::OutputTextFile file;
  ASSERT_TRUE(file.Open(NameOf(dir / "b.log")));
  file.WriteLine(std::u16string(100, u'a'));
  EXPECT_EQ(fs::file_size(dir / "b.log"), 0u);
  file.WriteLine(std::u16string(100, u'b'));
  EXPECT_EQ(fs::file_size(dir / "b.log"), 128u);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(fs::file_size(dir / "b.log"), 204u);
}

TEST(OutputTextFile, FailsToOpenInAMissingFolderOrOverADirectory) {
  ScratchDir dir;
  fs::create_directory(dir / "sub");
  platform::OutputTextFile file;
  EXPECT_FALSE(file.Open(NameOf(dir / "missing" / "x.log")));
  EXPECT_FALSE(file.Open(NameOf(dir / "sub")));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

TEST(InputTextFile, ReadsLinesLikeSplitTextLinesAcrossBufferBoundaries) {
  ScratchDir dir;
  std::string bytes = "&\r\n[+]\n\xe9\r" + std::string(70000, 'z') +
                      "\n\nlast\x1a"
                      "after\n";
  WriteBytes(dir / "rules.txt", bytes);
  platform::InputTextFile file;
  ASSERT_TRUE(file.Open(NameOf(dir / "rules.txt")));
  std::vector<std::u16string> lines;
  while (!file.AtEnd()) lines.push_back(file.ReadLine());
  EXPECT_TRUE(file.Close());
  std::vector<std::u16string> expected;
  for (const auto& line : platform::SplitTextLines(bytes)) {
    expected.push_back(platform::FromAnsi(line));
  }
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(lines[2].substr(0, 2), u"\u00e9z");
}

TEST(InputTextFile, FailsToOpenAMissingFileOrADirectory) {
  ScratchDir dir;
  platform::InputTextFile file;
  EXPECT_FALSE(file.Open(NameOf(dir / "none.txt")));
  EXPECT_FALSE(file.Open(NameOf(dir.path())));
}

TEST(ByteFile, ReadsExactlyAndRefusesAShortRead) {
  ScratchDir dir;
  WriteBytes(dir / "s.scr", std::string(10, '\x5a'));
  platform::ByteFile file;
  ASSERT_TRUE(file.OpenRead(NameOf(dir / "s.scr")));
  std::uint64_t size = 0;
  ASSERT_TRUE(file.Size(size));
  EXPECT_EQ(size, 10u);
  std::uint8_t data[16] = {};
  EXPECT_TRUE(file.Read(data, 4));
  EXPECT_EQ(data[3], 0x5a);
  EXPECT_FALSE(file.Read(data, 7));
  EXPECT_TRUE(file.Close());
}

TEST(ByteFile, CreateTruncatesAndWrites) {
  ScratchDir dir;
  WriteBytes(dir / "o.bmp", std::string(100, 'x'));
  platform::ByteFile file;
  ASSERT_TRUE(file.Create(NameOf(dir / "o.bmp")));
  const std::uint8_t data[] = {'B', 'M'};
  EXPECT_TRUE(file.Write(data, 2));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadBytes(dir / "o.bmp"), "BM");
  EXPECT_FALSE(file.Create(NameOf(dir / "no" / "o.bmp")));
}

TEST(ExistenceTests, TellFilesFromDirectories) {
  ScratchDir dir;
  fs::create_directory(dir / "d");
  WriteBytes(dir / "f", "x");
  EXPECT_TRUE(platform::FileExists(NameOf(dir / "f")));
  EXPECT_FALSE(platform::FileExists(NameOf(dir / "d")));
  EXPECT_FALSE(platform::FileExists(NameOf(dir / "none")));
  EXPECT_TRUE(platform::DirectoryExists(NameOf(dir / "d")));
  EXPECT_FALSE(platform::DirectoryExists(NameOf(dir / "f")));
  EXPECT_FALSE(platform::DirectoryExists(NameOf(dir / "none")));
  EXPECT_FALSE(platform::DirectoryExists(NameOf(dir / "none" / "deeper")));
  EXPECT_FALSE(platform::FileExists(u"*"));
}

TEST(RenameNoReplace, NeverReplacesAnExistingEntry) {
  ScratchDir dir;
  WriteBytes(dir / "a", "A");
  WriteBytes(dir / "b", "B");
  fs::create_directory(dir / "d");
  EXPECT_FALSE(platform::RenameNoReplace(NameOf(dir / "a"), NameOf(dir / "b")));
  EXPECT_FALSE(platform::RenameNoReplace(NameOf(dir / "a"), NameOf(dir / "d")));
  EXPECT_FALSE(platform::RenameNoReplace(NameOf(dir / "d"), NameOf(dir / "b")));
  EXPECT_FALSE(platform::RenameNoReplace(NameOf(dir / "none"), NameOf(dir / "c")));
  EXPECT_EQ(ReadBytes(dir / "a"), "A");
  EXPECT_EQ(ReadBytes(dir / "b"), "B");
  EXPECT_TRUE(platform::RenameNoReplace(NameOf(dir / "a"), NameOf(dir / "c")));
  EXPECT_TRUE(platform::RenameNoReplace(NameOf(dir / "d"), NameOf(dir / "e")));
  EXPECT_EQ(ReadBytes(dir / "c"), "A");
  EXPECT_FALSE(fs::exists(dir / "a"));
  EXPECT_TRUE(fs::is_directory(dir / "e"));
}

TEST(DirectoryListing, ListsMatchingEntriesWithDotsAndDirectories) {
  ScratchDir dir;
  fs::create_directory(dir / "sub.txt");
  WriteBytes(dir / "a.txt", "");
  WriteBytes(dir / ".hidden.txt", "");
  WriteBytes(dir / "b.jpg", "");
  std::u16string base = NameOf(dir.path()) + platform::kPathSeparator;

  std::set<std::u16string> all, txtFiles, txtDirs;
  platform::DirectoryListing listing;
  ASSERT_TRUE(listing.Open(base + u"*.*"));
  platform::DirEntry entry;
  while (listing.Next(entry)) all.insert(entry.name);
  EXPECT_EQ(
      all, (std::set<std::u16string>{u".", u"..", u"sub.txt", u"a.txt", u".hidden.txt", u"b.jpg"}));

  ASSERT_TRUE(listing.Open(base + u"*.TXT"));
  while (listing.Next(entry)) (entry.isDirectory ? txtDirs : txtFiles).insert(entry.name);
  EXPECT_EQ(txtFiles, (std::set<std::u16string>{u"a.txt", u".hidden.txt"}));
  EXPECT_EQ(txtDirs, (std::set<std::u16string>{u"sub.txt"}));

  EXPECT_FALSE(listing.Open(NameOf(dir / "none") + platform::kPathSeparator + u"*.*"));
}

}  // namespace
