// A second process changes the tree while namescourer walks it: files and
// folders vanish, move and appear. Whatever the interleaving, the renamer
// must not crash, must count every failure it reports, and must lose no
// file that the other process did not delete itself.
// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/internal.h"
#include "platform/platform.h"
#include "renamer/renamer.h"
#include "tests/support/child_process.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
namespace labels = testsupport::namescourer;
using Lines = std::vector<std::u16string>;

constexpr int kDirs = 20;
constexpr int kFilesPerDir = 150;

// The other process. It knows the tree only by the names it was made with
// and the names the rule gives them, so each of its steps tries both.
// Moves the first candidate that still exists to `target`.
bool MoveAny(const std::vector<fs::path>& from, const fs::path& target) {
  return std::any_of(from.begin(), from.end(), [&](const fs::path& path) {
    std::error_code error;
    fs::rename(path, target, error);
    return !error;
  });
}

struct Meddler {
  Meddler(fs::path scratch, unsigned seed) : root(std::move(scratch)), random(seed) {}

  fs::path root;  // the scratch folder: T, and beside it away and trash
  std::mt19937 random;
  int serial = 0;
  std::vector<std::string> deleted;  // contents of the files it deleted
  std::vector<std::string> created;  // contents of the files it made
  int steps = 0, done = 0;

  std::vector<fs::path> DirCandidates(int d) const {
    const std::string n = std::to_string(d);
    return {root / "T" / ("d&" + n), root / "T" / ("d+" + n)};
  }

  std::vector<fs::path> FileCandidates() {
    const int d = static_cast<int>(random() % kDirs);
    const std::string f = std::to_string(random() % kFilesPerDir);
    std::vector<fs::path> paths;
    for (const fs::path& dir : DirCandidates(d)) {
      paths.push_back(dir / ("f&" + f));
      paths.push_back(dir / ("f+" + f));
    }
    return paths;
  }

  bool Delete() {
    // Taken out of the tree first, so that what is read is what is deleted.
    const fs::path taken = root / "trash" / std::to_string(serial++);
    if (!MoveAny(FileCandidates(), taken)) return false;
    deleted.push_back(testsupport::ReadBytes(taken));
    fs::remove(taken);
    return true;
  }

  bool MoveAway() { return MoveAny(FileCandidates(), root / "away" / std::to_string(serial++)); }

  bool MoveWithinTree() {
    const std::vector<fs::path> dirs = DirCandidates(static_cast<int>(random() % kDirs));
    return std::any_of(dirs.begin(), dirs.end(), [this](const fs::path& dir) {
      return MoveAny(FileCandidates(), dir / ("m&" + std::to_string(serial++)));
    });
  }

  bool MoveFolderAway() {
    const int d = static_cast<int>(random() % kDirs);
    return MoveAny(DirCandidates(d), root / "away" / ("dir" + std::to_string(serial++)));
  }

  bool Create(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return false;
    const std::string content = "new " + std::to_string(serial++);
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    // Made, if only in part: it must not be lost either way.
    created.push_back(written ? content : testsupport::ReadBytes(file));
    return true;
  }

  bool CreateFile() {
    const std::vector<fs::path> dirs = DirCandidates(static_cast<int>(random() % kDirs));
    return std::any_of(dirs.begin(), dirs.end(), [this](const fs::path& dir) {
      return Create(dir / ("n&" + std::to_string(serial++)));
    });
  }

  bool CreateFolder() {
    const fs::path folder = root / "T" / ("nd&" + std::to_string(serial++));
    std::error_code error;
    if (!fs::create_directory(folder, error)) return false;
    return Create(folder / ("n&" + std::to_string(serial++)));
  }

  void Step() {
    ++steps;
    const auto kind = static_cast<unsigned>(random() % 100);
    bool ok = false;
    if (kind < 25)
      ok = Delete();
    else if (kind < 45)
      ok = MoveAway();
    else if (kind < 65)
      ok = MoveWithinTree();
    else if (kind < 90)
      ok = CreateFile();
    else if (kind < 99)
      ok = CreateFolder();
    else
      ok = MoveFolderAway();
    if (ok) ++done;
  }
};

void Add(std::vector<std::string>& all, const std::map<std::string, std::string>& files) {
  for (const auto& file : files) all.push_back(file.second);
}

TEST(ConcurrentWalkFault, EveryFailureIsCountedAndNoFileIsLost) {
  struct Round {
    unsigned seed;
    const char16_t* level;
    int maxSteps;
  } const rounds[] = {{1, u"2", 4000}, {2, u"1", 4000}, {3, u"2", 400}};
  for (const Round& round : rounds) {
    SCOPED_TRACE("seed " + std::to_string(round.seed));
    testsupport::ScratchDir dir;
    std::vector<std::string> expected;
    for (int d = 0; d < kDirs; ++d) {
      const fs::path folder = dir / "T" / ("d&" + std::to_string(d));
      fs::create_directories(folder);
      for (int f = 0; f < kFilesPerDir; ++f) {
        const std::string content = "file " + std::to_string(d) + "/" + std::to_string(f);
        testsupport::WriteBytes(folder / ("f&" + std::to_string(f)), content);
        expected.push_back(content);
      }
    }
    fs::create_directory(dir / "away");
    fs::create_directory(dir / "trash");
    testsupport::WriteBytes(dir / "rules.txt", "&\r\n+\r\n");

    Meddler meddler(dir.path(), round.seed);
    testsupport::Child child = testsupport::StartChild(
        "namescourer", {u"-d", u"T", u"-r", u"rules.txt", u"-v", round.level}, dir.path());
    while (!testsupport::ChildFinished(child)) {
      if (meddler.steps < round.maxSteps) {
        meddler.Step();
      } else {
        ::usleep(1000);
      }
    }
    const testsupport::ProcessResult run = testsupport::FinishChild(child);
    const Lines console = testsupport::ConsoleLines(run.out);

    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    const std::int64_t errors =
        testsupport::SummaryValue(console, testsupport::namescourer::kIoErrors);
    const std::size_t fileGroups =
        testsupport::CountStartingWith(console, u"ERR_EXCEPTION FILE OLD:");
    const std::size_t dirGroups =
        testsupport::CountStartingWith(console, u"ERR_EXCEPTION DIR OLD:");
    EXPECT_EQ(errors, static_cast<std::int64_t>(fileGroups + dirGroups));
    EXPECT_EQ(testsupport::CountStartingWith(console, u"ERR_EXCEPTION FILE NEW:"), fileGroups);
    EXPECT_EQ(testsupport::CountStartingWith(console, u"ERR_EXCEPTION DIR NEW:"), dirGroups);
    // A run that counted an error never reads as success; one without exits 0.
    EXPECT_EQ(run.exitCode != 0, errors != 0);
    if (round.level[0] == u'2') {
      // Every announced rename either happened or was reported as failed.
      EXPECT_EQ(
          testsupport::CountStartingWith(console, u"Old File:"),
          static_cast<std::size_t>(testsupport::SummaryValue(console, labels::kRenamedFiles)) +
              fileGroups);
      EXPECT_EQ(testsupport::CountStartingWith(console, u"Old Dir:"),
                static_cast<std::size_t>(testsupport::SummaryValue(console, labels::kRenamedDirs)) +
                    dirGroups);
    }

    expected.insert(expected.end(), meddler.created.begin(), meddler.created.end());
    for (const std::string& gone : meddler.deleted) {
      auto at = std::find(expected.begin(), expected.end(), gone);
      ASSERT_NE(at, expected.end()) << "deleted twice: " << gone;
      expected.erase(at);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> found;
    Add(found, testsupport::FilesOf(testsupport::TreeBelow(dir / "T")));
    Add(found, testsupport::FilesOf(testsupport::TreeBelow(dir / "away")));
    std::sort(found.begin(), found.end());
    std::vector<std::string> lost, extra;
    std::set_difference(expected.begin(), expected.end(), found.begin(), found.end(),
                        std::back_inserter(lost));
    std::set_difference(found.begin(), found.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    EXPECT_EQ(lost, std::vector<std::string>()) << "files lost";
    EXPECT_EQ(extra, std::vector<std::string>()) << "files from nowhere";
    std::printf("seed %u: %d of %d changes made during the walk, %lld failures reported\n",
                round.seed, meddler.done, meddler.steps, static_cast<long long>(errors));
  }
}

// Another user swaps a folder of the tree with a link to a folder outside
// it, again and again, while the renamer walks the tree: nothing outside
// may ever be listed or renamed through the link. Bounded: 100 runs or 60 s.
TEST(ConcurrentWalkFault, AFolderSwappedForALinkNeverLeadsOutOfTheTree) {
  testsupport::ScratchDir dir;
  fs::create_directories(dir / "O" / "od&");
  for (int f = 0; f < 50; ++f) testsupport::WriteBytes(dir / "O" / ("o&" + std::to_string(f)), "o");
  const std::map<std::string, std::string> outside =
      testsupport::FilesOf(testsupport::TreeBelow(dir / "O"));
  testsupport::WriteBytes(dir / "rules.txt", "&\r\n+\r\n");
  const auto start = std::chrono::steady_clock::now();
  int runs = 0, swaps = 0;
  while (runs < 100 && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
    ++runs;
    fs::remove_all(dir / "T");
    fs::create_directories(dir / "T" / "s" / "sd&");
    for (int f = 0; f < 200; ++f) {
      testsupport::WriteBytes(dir / "T" / "s" / ("f&" + std::to_string(f)), "f");
    }
    fs::create_directory_symlink(fs::path("..") / "O", dir / "T" / "l");
    const std::string s = (dir / "T" / "s").string(), l = (dir / "T" / "l").string();
    testsupport::Child child =
        testsupport::StartChild("namescourer", {u"-d", u"T", u"-r", u"rules.txt"}, dir.path());
    while (!testsupport::ChildFinished(child)) {
      // 2 is RENAME_EXCHANGE: the folder and the link trade places at once.
      if (::syscall(SYS_renameat2, AT_FDCWD, s.c_str(), AT_FDCWD, l.c_str(), 2u) == 0) ++swaps;
    }
    const testsupport::ProcessResult run = testsupport::FinishChild(child);
    ASSERT_EQ(run.signal, 0);
    ASSERT_EQ(testsupport::FilesOf(testsupport::TreeBelow(dir / "O")), outside) << "run " << runs;
    ASSERT_TRUE(fs::is_directory(dir / "O" / "od&")) << "run " << runs;
  }
  std::printf("%d runs, %d swaps, nothing outside touched\n", runs, swaps);
}

// The window between two steps of a rename, held open: the platform
// layer's fallback rename calls the hook after it has claimed the target
// and just before its final rename. Each test sets what another user does
// there, by the rename's target.
struct HeldWindow {
  static fs::path scratch;
  static void (*act)(const std::string& target);
  static void Hook(const char* target) { act(target); }
};
fs::path HeldWindow::scratch;
void (*HeldWindow::act)(const std::string& target) = nullptr;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// 2 is RENAME_EXCHANGE: both names trade places at once.
void Exchange(const fs::path& a, const fs::path& b) {
  if (::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), 2u) != 0) {
    throw std::runtime_error("exchange failed");
  }
}

// The renamer run inside the test with the window held open; the other
// user acts as nobody when the tests run as root.
void RunWithHeldWindow(const std::vector<std::u16string>& args) {
  renamer::ResetRun();
  platform::SetArguments(args);
  platform::detail::testBeforeFallbackRename = HeldWindow::Hook;
  renamer::RunRenamer();
  platform::detail::testBeforeFallbackRename = nullptr;
  renamer::ResetRun();
}

std::u16string Absolute(const fs::path& path) { return testsupport::NameOf(path); }

// The start directory is renamed in the folder that held it when the run
// looked, though another user swaps that folder for a link to a folder of
// root's between the two steps of the rename.
TEST(ConcurrentWalkFault, TheStartDirectoryIsRenamedInItsOwnFolderOnly) {
  std::string reason;
  if (!testsupport::PermissionsApply(reason)) GTEST_SKIP() << reason;
  testsupport::ScratchDir dir(testsupport::ScratchDir::Reach::kEveryUser);
  fs::create_directories(dir / "base" / "P" / "T&U");
  fs::create_directories(dir / "victim" / "T&U");
  fs::create_directory_symlink(fs::path("..") / "victim", dir / "base" / "Plink");
  testsupport::WriteBytes(dir / "rules.txt", "&\r\n[+]\r\n");
  testsupport::OpenUp(dir / "base");
  fs::permissions(dir / "victim", static_cast<fs::perms>(0755));
  HeldWindow::scratch = dir.path();
  HeldWindow::act = [](const std::string& target) {
    if (!EndsWith(target, "T[+]U")) return;
    ASSERT_TRUE(testsupport::RunUnprivileged(
        [](const fs::path& d) { Exchange(d / "base" / "P", d / "base" / "Plink"); },
        HeldWindow::scratch));
  };
  RunWithHeldWindow({u"-d", Absolute(dir / "base" / "P" / "T&U") + u"/", u"-r",
                     Absolute(dir / "rules.txt"), u"-v", u"0"});
  EXPECT_TRUE(fs::is_directory(dir / "victim" / "T&U"));
  EXPECT_FALSE(fs::exists(dir / "victim" / "T[+]U"));
  EXPECT_TRUE(fs::is_directory(dir / "base" / "Plink" / "T[+]U"));
}

// After the start directory was renamed, another user makes a folder of
// its old name with a file in it, and swaps that folder for a link to a
// folder of root's between the two steps of the file's rename: the file
// pass, rooted in the folder it found, renames nothing through the link.
TEST(ConcurrentWalkFault, TheFilePassAfterARenamedStartDirectoryFollowsNoLink) {
  std::string reason;
  if (!testsupport::PermissionsApply(reason)) GTEST_SKIP() << reason;
  testsupport::ScratchDir dir(testsupport::ScratchDir::Reach::kEveryUser);
  fs::create_directories(dir / "T&U" / "s&");
  fs::create_directories(dir / "victim");
  testsupport::WriteBytes(dir / "victim" / "f&", "root's");
  testsupport::WriteBytes(dir / "rules.txt", "&\r\n[+]\r\n");
  testsupport::OpenUp(dir / "T&U");
  fs::permissions(dir / "victim", static_cast<fs::perms>(0755));
  HeldWindow::scratch = dir.path();
  HeldWindow::act = [](const std::string& target) {
    if (EndsWith(target, "s[+]")) {
      ASSERT_TRUE(testsupport::RunUnprivileged(
          [](const fs::path& d) {
            fs::create_directory(d / "T&U");
            testsupport::WriteBytes(d / "T&U" / "f&", "made again");
            fs::create_directory_symlink("victim", d / "L");
          },
          HeldWindow::scratch));
    } else if (EndsWith(target, "f[+]")) {
      ASSERT_TRUE(testsupport::RunUnprivileged(
          [](const fs::path& d) { Exchange(d / "T&U", d / "L"); }, HeldWindow::scratch));
    }
  };
  RunWithHeldWindow(
      {u"-d", Absolute(dir / "T&U") + u"/", u"-r", Absolute(dir / "rules.txt"), u"-v", u"0"});
  EXPECT_EQ(testsupport::ReadBytes(dir / "victim" / "f&"), "root's");
  EXPECT_FALSE(fs::exists(dir / "victim" / "f[+]"));
  EXPECT_TRUE(fs::is_directory(dir / "T[+]U" / "s[+]"));
}

}  // namespace
