// Scratch directories, byte files, and the lines and files a run leaves.
// SPDX-License-Identifier: MIT
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace testsupport {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(Reach reach) {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("scratch");
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  // TMPDIR may lie where user nobody cannot go.
  const bool everyUser = reach == Reach::kEveryUser;
  path_ = (everyUser ? fs::path("/tmp") : fs::temp_directory_path()) /
          ("zxtest-" + name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
  if (everyUser) fs::permissions(path_, fs::perms::all);
}

ScratchDir::~ScratchDir() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info != nullptr && info->result() != nullptr && info->result()->Failed()) {
    std::fprintf(stderr, "scratch directory kept: %s\n", path_.string().c_str());
    return;
  }
  std::error_code ignored;
  OpenUp(path_);
  fs::remove_all(path_, ignored);
}

void OpenUp(const fs::path& root) {
  std::vector<fs::path> pending{root};
  while (!pending.empty()) {
    const fs::path path = pending.back();
    pending.pop_back();
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || fs::is_symlink(status)) continue;
    if (!fs::is_directory(status)) {
      fs::permissions(path, fs::perms(0666), error);
      continue;
    }
    // A directory's mode comes first: without it its entries cannot be listed.
    fs::permissions(path, fs::perms::all, error);
    for (const auto& entry : fs::directory_iterator(path, error)) pending.push_back(entry.path());
  }
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

fs::path PathOf(const std::u16string& name) {
#ifdef _WIN32
  return fs::path(std::wstring(name.begin(), name.end()));
#else
  return fs::path(platform::EncodeUtf8(name));
#endif
}

std::u16string NameOf(const fs::path& path) {
#ifdef _WIN32
  std::wstring wide = path.wstring();
  return std::u16string(wide.begin(), wide.end());
#else
  return platform::DecodeUtf8(path.string());
#endif
}

namespace {

std::vector<std::u16string> SplitLines(const std::u16string& text, const std::u16string& end) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t at = text.find(end, start);
    if (at == std::u16string::npos) {
      lines.push_back(text.substr(start));
      lines.emplace_back(u"<no line end>");
      break;
    }
    lines.push_back(text.substr(start, at - start));
    start = at + end.size();
  }
  return lines;
}

}  // namespace

std::vector<std::u16string> ConsoleLines(const std::string& out) {
#ifdef _WIN32
  return SplitLines(platform::FromAnsi(out), u"\r\n");
#else
  return SplitLines(platform::DecodeUtf8(out), u"\n");
#endif
}

ConsoleRun RunForConsole(const std::string& name, const std::vector<std::u16string>& args,
                         const fs::path& workDir) {
  const ProcessResult run = RunProgram(name, args, workDir);
  EXPECT_EQ(run.err, "") << name;
  return {run.exitCode, ConsoleLines(run.out)};
}

std::vector<std::u16string> Utf8Lines(const std::string& bytes) {
  return SplitLines(platform::DecodeUtf8(bytes), u"\r\n");
}

std::u16string Sep() { return std::u16string(1, platform::kPathSeparator); }

std::u16string U(const std::string& utf8) { return platform::DecodeUtf8(utf8); }

std::string Narrow(const std::u16string& text) { return platform::EncodeUtf8(text); }

Tree TreeBelow(const fs::path& root) {
  Tree tree;
  const std::size_t prefix = root.native().size() + 1;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    fs::path::string_type relative = entry.path().native().substr(prefix);
#ifdef _WIN32
    std::replace(relative.begin(), relative.end(), L'\\', L'/');
    const std::string key = Narrow(std::u16string(relative.begin(), relative.end()));
#else
    const std::string& key = relative;
#endif
    tree[key] = entry.is_symlink()     ? "<link>"
                : entry.is_directory() ? "<dir>"
                                       : ReadBytes(entry.path());
  }
  return tree;
}

Tree FilesOf(const Tree& tree) {
  Tree files;
  for (const auto& entry : tree) {
    if (entry.second != "<dir>" && entry.second != "<link>") files.insert(entry);
  }
  return files;
}

std::vector<std::string> FileContents(const Tree& tree) {
  std::vector<std::string> contents;
  for (const auto& file : FilesOf(tree)) contents.push_back(file.second);
  std::sort(contents.begin(), contents.end());
  return contents;
}

std::int64_t SummaryValue(const std::vector<std::u16string>& lines, const std::u16string& label) {
  for (const std::u16string& line : lines) {
    if (line.rfind(label, 0) != 0) continue;
    const std::string digits = Narrow(line.substr(label.size()));
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(digits);
  }
  return -1;
}

std::size_t CountStartingWith(const std::vector<std::u16string>& lines,
                              const std::u16string& prefix) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [&](const std::u16string& line) { return line.rfind(prefix, 0) == 0; }));
}

bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::u16string> Concat(std::initializer_list<std::vector<std::u16string>> groups) {
  std::vector<std::u16string> all;
  for (const auto& group : groups) all.insert(all.end(), group.begin(), group.end());
  return all;
}

std::vector<std::u16string> EachAfter(const std::u16string& message,
                                      const std::vector<std::u16string>& lines) {
  std::vector<std::u16string> all;
  for (const std::u16string& line : lines) all.insert(all.end(), {message, line});
  return all;
}

}  // namespace testsupport
