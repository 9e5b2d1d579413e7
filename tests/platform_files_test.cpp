// The platform's files: text output and input, byte files, no-replace renames and listings.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "platform/internal.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "tests/support/text_lines.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testsupport::NameOf;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::WriteBytes;

namespace {

// A log's lines are valid UTF-8; a file list's keep the bytes of a POSIX
// name that are not UTF-8, so that each names the real file.
TEST(OutputTextFile, CreatesUtf8WithCrLfAndNoByteOrderMark) {
  for (const platform::NameBytes names :
       {platform::NameBytes::Replaced, platform::NameBytes::Kept}) {
    ScratchDir dir;
    platform::OutputTextFile file;
    ASSERT_TRUE(file.Open(NameOf(dir / "new.log"), names));
    file.WriteLine(u"caf\u00e9 \u4e2d");
    file.WriteLine(u"");
    // Control characters, and lone surrogates, where U+DC80..U+DCFF stand for
    // raw bytes of a POSIX name.
    file.WriteLine(std::u16string(u"\x1b[m\r\n\x7f") + char16_t(0xDC80) + char16_t(0xD800));
    // On every platform: C1 controls (U+0085 a line break to some viewers),
    // the line and paragraph separators and the bidirectional controls; the
    // characters next to them stay.
    file.WriteLine(u"b\u0085c\u009b\u2028\u2029\u202a\u202e\u2066\u2069\u00a0\u202f\u2065");
    ASSERT_TRUE(file.Close());
    const std::string rawByte = names == platform::NameBytes::Kept ? "\x80" : "\xef\xbf\xbd";
    const std::string last = platform::kPathSeparator == u'/'
                                 ? "?[m???" + rawByte + "\xef\xbf\xbd"
                                 : "\x1b[m\r\n\x7f\xef\xbf\xbd\xef\xbf\xbd";
    EXPECT_EQ(ReadBytes(dir / "new.log"), "caf\xc3\xa9 \xe4\xb8\xad\r\n\r\n" + last +
                                              "\r\nb?c???????\xc2\xa0\xe2\x80\xaf\xe2\x81\xa5\r\n");
  }
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

// Each write ends at a line end, so that writers who share a file never
// splice their lines: the buffer goes out up to its last whole line, and a
// line longer than the buffer goes out in one write.
TEST(OutputTextFile, HoldsWholeLinesInA128ByteBufferUntilFullOrClosed) {
  ScratchDir dir;
  platform::OutputTextFile file;
  ASSERT_TRUE(file.Open(NameOf(dir / "b.log")));
  file.WriteLine(std::u16string(100, u'a'));
  EXPECT_EQ(fs::file_size(dir / "b.log"), 0u);
  file.WriteLine(std::u16string(100, u'b'));
  EXPECT_EQ(fs::file_size(dir / "b.log"), 102u);
  file.WriteLine(std::u16string(24, u'c'));  // fills the buffer
  EXPECT_EQ(fs::file_size(dir / "b.log"), 102u + 128u);
  file.WriteLine(std::u16string(20, u'e'));
  file.WriteLine(std::u16string(300, u'd'));
  EXPECT_EQ(fs::file_size(dir / "b.log"), 102u + 128u + 22u + 302u);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadBytes(dir / "b.log"),
            std::string(100, 'a') + "\r\n" + std::string(100, 'b') + "\r\n" + std::string(24, 'c') +
                "\r\n" + std::string(20, 'e') + "\r\n" + std::string(300, 'd') + "\r\n");
}

// Two writers of one file (two runs with one log): each line lands at the
// end, none over another. Windows keeps the second writer out instead.
TEST(OutputTextFile, ConcurrentWritersAppendAndOverwriteNothing) {
  for (const bool exists : {true, false}) {
    ScratchDir dir;
    if (exists) WriteBytes(dir / "run.log", "A\r\n");
    platform::OutputTextFile one, two;
    ASSERT_TRUE(one.Open(NameOf(dir / "run.log")));
    if (!two.Open(NameOf(dir / "run.log"))) {
      EXPECT_EQ(platform::kPathSeparator, u'\\') << "only Windows refuses a second writer";
      continue;
    }
    one.WriteLine(u"one");
    ASSERT_TRUE(one.Close());
    two.WriteLine(u"two");
    ASSERT_TRUE(two.Close());
    EXPECT_EQ(ReadBytes(dir / "run.log"), std::string(exists ? "A\r\n" : "") + "one\r\ntwo\r\n");
  }
}

// A write that fails part way: what reached the file is not written again,
// the failed line's rest is dropped, the next line starts whole, and the
// earlier lines still waiting in the buffer are kept.
TEST(OutputBuffer, AFailedWriteLeavesNoPartOfItsLineAndWritesNothingTwice) {
  std::string disk;
  std::size_t room = 64;
  auto write = [&disk, &room](const std::uint8_t* data, std::size_t count, std::size_t& written) {
    written = std::min(count, room);
    disk.append(reinterpret_cast<const char*>(data), written);
    room -= written;
    return written == count;
  };
  platform::detail::OutputBuffer buffer;
  const std::string a = std::string(100, 'A') + "\r\n";
  EXPECT_TRUE(platform::detail::BufferedAppend(buffer, a, write));
  EXPECT_FALSE(platform::detail::BufferedAppend(buffer, std::string(60, 'B') + "\r\n", write));
  EXPECT_EQ(disk, std::string(64, 'A'));
  room = 1000;
  EXPECT_TRUE(platform::detail::BufferedAppend(buffer, "C\r\n", write));
  EXPECT_TRUE(platform::detail::BufferedFlush(buffer, write));
  EXPECT_EQ(disk, a + "C\r\n");
  // A flush that fails part way keeps only what it did not write.
  room = 1;
  EXPECT_TRUE(platform::detail::BufferedAppend(buffer, "DE", write));
  EXPECT_FALSE(platform::detail::BufferedFlush(buffer, write));
  EXPECT_TRUE(platform::detail::BufferedAppend(buffer, "F", write));
  room = 1000;
  EXPECT_TRUE(platform::detail::BufferedFlush(buffer, write));
  EXPECT_EQ(disk, a + "C\r\nDEF");
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

// Every file class closes an open file before it opens another: the output
// file's lines reach its disk, the input file starts again.
TEST(FileClasses, OpenOnAnOpenFileClosesItFirst) {
  ScratchDir dir;
  WriteBytes(dir / "in.txt", "a\r\nb\r\n");
  platform::OutputTextFile out;
  ASSERT_TRUE(out.Open(NameOf(dir / "one.log")));
  out.WriteLine(u"first");
  ASSERT_TRUE(out.Open(NameOf(dir / "two.log")));
  EXPECT_EQ(ReadBytes(dir / "one.log"), "first\r\n");
  out.WriteLine(u"second");
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(ReadBytes(dir / "two.log"), "second\r\n");

  platform::InputTextFile in;
  ASSERT_TRUE(in.Open(NameOf(dir / "in.txt")));
  EXPECT_EQ(in.ReadLine(), u"a");
  ASSERT_TRUE(in.Open(NameOf(dir / "in.txt")));
  EXPECT_EQ(in.ReadLine(), u"a");

  platform::ByteFile bytes;
  ASSERT_TRUE(bytes.Create(NameOf(dir / "b.bin")));
  ASSERT_TRUE(bytes.OpenRead(NameOf(dir / "in.txt")));
  std::uint64_t size = 0;
  ASSERT_TRUE(bytes.Size(size));
  EXPECT_EQ(size, 6u);
}

#ifndef _WIN32
// Lines that cannot be written out keep their file open, and Open refuses
// to leave them behind; a new object in its place gives the file up.
TEST(OutputTextFile, AFailedCloseKeepsTheFileOpenWithItsLines) {
  ScratchDir dir;
  platform::OutputTextFile file;
  ASSERT_TRUE(file.Open(u"/dev/full"));
  file.WriteLine(u"kept");
  EXPECT_FALSE(file.Close());
  EXPECT_TRUE(file.IsOpen());
  EXPECT_FALSE(file.Open(NameOf(dir / "next.log")));
  EXPECT_FALSE(fs::exists(dir / "next.log"));
  file = platform::OutputTextFile();
  EXPECT_FALSE(file.IsOpen());
}

// A handle given up without asking how its close went, as on an error
// path, leaves the reason of the call that failed before it in place, even
// when its own close fails.
TEST(FileClasses, ADroppedHandleKeepsTheLastError) {
  const int stale = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stale, 0);
  ASSERT_EQ(::close(stale), 0);  // the number now names no file: closing it fails
  errno = ENOENT;
  { const platform::detail::RawFile dropped(stale); }
  EXPECT_EQ(errno, ENOENT);
  platform::detail::RawFile replaced(stale);
  errno = ENOENT;
  replaced = platform::detail::RawFile();
  EXPECT_EQ(errno, ENOENT);
}
#endif

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
  for (const auto& line : testsupport::SplitTextLines(bytes)) {
    expected.push_back(platform::FromAnsi(line));
  }
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(lines[2].substr(0, 2), u"\u00e9z");
  EXPECT_EQ(lines[2].size(), platform::InputTextFile::kMaxLineBytes);  // the rest is skipped
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

TEST(ByteFile, CreateNewRefusesAnExistingFileAndWritesAtOnce) {
  ScratchDir dir;
  WriteBytes(dir / "old.j", "kept");
  platform::ByteFile file;
  EXPECT_FALSE(file.CreateNew(NameOf(dir / "old.j")));
  EXPECT_EQ(ReadBytes(dir / "old.j"), "kept");
  ASSERT_TRUE(file.CreateNew(NameOf(dir / "new.j")));
  const std::uint8_t data[] = {'r', '1'};
  EXPECT_TRUE(file.Write(data, 2));
  EXPECT_EQ(ReadBytes(dir / "new.j"), "r1");  // before the close: nothing buffered
  EXPECT_TRUE(file.Seek(1));
  EXPECT_TRUE(file.Close());
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
  // EntryExists follows no link: any entry counts, a dangling link too.
  EXPECT_TRUE(platform::EntryExists(NameOf(dir / "f")));
  EXPECT_TRUE(platform::EntryExists(NameOf(dir / "d")));
  EXPECT_FALSE(platform::EntryExists(NameOf(dir / "none")));
  EXPECT_FALSE(platform::EntryExists(NameOf(dir / "f" / "below")));
  EXPECT_FALSE(platform::EntryExists(std::u16string(u"d\0x", 3)));
#ifndef _WIN32
  fs::create_symlink("none", dir / "dangling");
  fs::create_directory_symlink("d", dir / "to-d");
  fs::create_symlink("f", dir / "to-f");
  EXPECT_TRUE(platform::EntryExists(NameOf(dir / "dangling")));
  EXPECT_FALSE(platform::FileExists(NameOf(dir / "dangling")));
#endif
  // With the kind: what DirectoryExists says, for an entry that exists.
  const struct {
    const char* name;
    bool exists;
    bool isDirectory;
  } kinds[] = {
      {"f", true, false},        {"d", true, true},    {"none", false, false},
#ifndef _WIN32
      {"dangling", true, false}, {"to-d", true, true}, {"to-f", true, false},
#endif
  };
  for (const auto& k : kinds) {
    bool isDirectory = !k.isDirectory;
    EXPECT_EQ(platform::EntryExists(NameOf(dir / k.name), isDirectory), k.exists) << k.name;
    EXPECT_EQ(isDirectory, k.isDirectory) << k.name;
  }
}

TEST(AbsolutePath, JoinsARelativePathToTheCurrentDirectory) {
  const std::u16string here = NameOf(fs::current_path());
  const std::u16string sep(1, platform::kPathSeparator);
  std::u16string absolute;
  ASSERT_TRUE(platform::AbsolutePath(u"", absolute));
  EXPECT_EQ(absolute, here);
  ASSERT_TRUE(platform::AbsolutePath(u"a&b" + sep + u"c", absolute));
  EXPECT_EQ(absolute, here + sep + u"a&b" + sep + u"c");
  ASSERT_TRUE(platform::AbsolutePath(here + sep + u"x", absolute));
  EXPECT_EQ(absolute, here + sep + u"x");
}

// The Windows split of a rename's two names: the folder part ends at the
// last separator or, without one, after a leading drive designator; a ":"
// left in the new name's own part names a stream.
TEST(RenameNoReplace, WindowsNamesKeepTheirFolderAndDrive) {
  const struct {
    std::u16string from, to;
    bool stays;
    std::size_t folder;  // FolderPartLength of `to`
  } cases[] = {
      {u"C:TEMP", u"C:T[+]MP", true, 2},
      {u"c.txt", u"C:moved.txt", false, 2},
      {u"C:a", u"D:a", false, 2},
      {u"C:a", u"C:", false, 2},
      {u"C:\\T\\a", u"C:\\T\\b:s", true, 5},
      {u"T/a", u"T/C:b", true, 2},
      {u"1:a", u"1:b", true, 0},
      {u"a", u"..", false, 0},
  };
  for (const auto& c : cases) {
    const std::string what = testsupport::Narrow(c.from + u" -> " + c.to);
    EXPECT_EQ(platform::detail::StaysInItsDirectory(c.from, c.to, u"\\/", true), c.stays) << what;
    EXPECT_EQ(platform::detail::FolderPartLength(c.to, u"\\/", true), c.folder) << what;
  }
  EXPECT_EQ(platform::detail::FolderPartLength(u"C:a", u"/", false), 0u);
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

#ifndef _WIN32
// What another process does at the last moment before the fallback's
// rename: it makes an entry of the source's kind at the target if it can,
// or removes the source.
enum class Race { kCreateTarget, kRemoveSource };
Race race = Race::kCreateTarget;
bool raceDirectory = false;
std::string raceSource;
bool raceCreated = false;

void RaceIn(const char* target) {
  if (race == Race::kRemoveSource) {
    ::unlink(raceSource.c_str());
  } else if (raceDirectory) {
    raceCreated = ::mkdir(target, 0755) == 0;
  } else {
    const int fd = ::open(target, O_WRONLY | O_CREAT | O_EXCL, 0644);
    raceCreated = fd >= 0;
    if (fd >= 0) ::close(fd);
  }
}

// Where RENAME_NOREPLACE and hard links are both refused, the target is
// claimed before the rename, so nothing made there in the meantime is
// replaced, and a failed rename leaves no claim behind.
TEST(RenameNoReplace, FallbackClaimsTheTargetFirst) {
  struct Case {
    const char* what;
    bool directory;
    Race race;
    bool renamed;
  } const cases[] = {
      {"file, a file raced in", false, Race::kCreateTarget, true},
      {"directory, a directory raced in", true, Race::kCreateTarget, true},
      {"file gone before the rename", false, Race::kRemoveSource, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const fs::path source = c.directory ? dir / "a" / "in" : dir / "a";
    if (c.directory) fs::create_directory(dir / "a");
    WriteBytes(source, "A");
    race = c.race;
    raceDirectory = c.directory;
    raceSource = (dir / "a").string();
    raceCreated = false;
    platform::detail::testBeforeFallbackRename = RaceIn;
    const bool renamed = platform::RenameNoReplace(NameOf(dir / "a"), NameOf(dir / "b"));
    platform::detail::testBeforeFallbackRename = nullptr;
    EXPECT_EQ(renamed, c.renamed);
    EXPECT_FALSE(raceCreated) << "the target was free to take";
    if (c.renamed) {
      EXPECT_EQ(ReadBytes(c.directory ? dir / "b" / "in" : dir / "b"), "A");
    } else {
      EXPECT_FALSE(fs::exists(dir / "b"));
    }
  }
}
#endif

#ifndef _WIN32
// Below the walk root no call passes through a symbolic link or "..",
// whether openat2 resolves the path or one openat per folder does.
TEST(WalkRoot, NothingBelowTheRootIsReachedThroughALink) {
  for (const bool byComponents : {false, true}) {
    SCOPED_TRACE(byComponents ? "openat per folder" : "openat2");
    ScratchDir dir;
    fs::create_directories(dir / "R" / "d");
    fs::create_directories(dir / "O" / "sub");
    WriteBytes(dir / "R" / "d" / "f", "R");
    WriteBytes(dir / "O" / "f", "O");
    fs::create_directory_symlink(fs::path("..") / "O", dir / "R" / "l");
    const std::u16string root = NameOf(dir / "R") + u"/";
    platform::detail::testResolveByComponents = byComponents;
    ASSERT_TRUE(platform::SetWalkRoot(root));
    platform::DirectoryListing listing;
    EXPECT_TRUE(platform::FileExists(root + u"d/f"));
    EXPECT_FALSE(platform::FileExists(root + u"l/f"));
    EXPECT_FALSE(platform::FileExists(root + u"../O/f"));
    EXPECT_TRUE(platform::FileExists(NameOf(dir / "O" / "f")));  // not below the root
    EXPECT_TRUE(platform::DirectoryExists(root + u"d"));
    EXPECT_TRUE(platform::DirectoryExists(root + u"l"));  // a link in the last part counts
    EXPECT_FALSE(platform::DirectoryExists(root + u"l/sub"));
    EXPECT_TRUE(listing.Open(root + u"d/*.*"));
    EXPECT_FALSE(listing.Open(root + u"l/*.*"));
    EXPECT_FALSE(platform::RenameNoReplace(root + u"l/f", root + u"l/g"));
    EXPECT_TRUE(platform::RenameNoReplace(root + u"d/f", root + u"d/g"));
    platform::ClearWalkRoot();
    platform::detail::testResolveByComponents = false;
    EXPECT_TRUE(platform::FileExists(root + u"l/f"));
    EXPECT_EQ(ReadBytes(dir / "O" / "f"), "O");
    EXPECT_EQ(ReadBytes(dir / "R" / "d" / "g"), "R");
  }
}
#endif

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
  EXPECT_FALSE(listing.Failed()) << "the end of a listing is no failure";
  EXPECT_EQ(
      all, (std::set<std::u16string>{u".", u"..", u"sub.txt", u"a.txt", u".hidden.txt", u"b.jpg"}));

  ASSERT_TRUE(listing.Open(base + u"*.TXT"));
  while (listing.Next(entry)) (entry.isDirectory ? txtDirs : txtFiles).insert(entry.name);
  EXPECT_EQ(txtFiles, (std::set<std::u16string>{u"a.txt", u".hidden.txt"}));
  EXPECT_EQ(txtDirs, (std::set<std::u16string>{u"sub.txt"}));

  EXPECT_FALSE(listing.Open(NameOf(dir / "none") + platform::kPathSeparator + u"*.*"));
}

}  // namespace
