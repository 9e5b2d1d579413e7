// SPDX-License-Identifier: MIT
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace testsupport {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("scratch");
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  path_ = fs::temp_directory_path() /
          ("zxtest-" + name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info != nullptr && info->result() != nullptr && info->result()->Failed()) {
    std::fprintf(stderr, "scratch directory kept: %s\n", path_.string().c_str());
    return;
  }
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
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

std::vector<std::u16string> Utf8Lines(const std::string& bytes) {
  return SplitLines(platform::DecodeUtf8(bytes), u"\r\n");
}

std::u16string Sep() { return std::u16string(1, platform::kPathSeparator); }

std::u16string U(const std::string& utf8) { return platform::DecodeUtf8(utf8); }

std::string Narrow(const std::u16string& text) { return platform::EncodeUtf8(text); }

}  // namespace testsupport
