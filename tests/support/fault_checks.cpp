// SPDX-License-Identifier: MIT
#include "tests/support/fault_checks.h"

#include <algorithm>

#include "tests/support/test_support.h"

namespace testsupport {

namespace fs = std::filesystem;

std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    files[fs::relative(entry.path(), root).generic_string()] = ReadBytes(entry.path());
  }
  return files;
}

std::vector<std::string> SortedContents(const std::map<std::string, std::string>& files) {
  std::vector<std::string> contents;
  contents.reserve(files.size());
  for (const auto& file : files) contents.push_back(file.second);
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

}  // namespace testsupport
