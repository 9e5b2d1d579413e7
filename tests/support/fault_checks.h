// What the fault-injection tests check after a run: the files left in a
// tree, and the counts a run printed.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_FAULT_CHECKS_H
#define TESTS_SUPPORT_FAULT_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

/// Every regular file below `root`, by its path relative to `root` (with
/// "/"), with its content.
std::map<std::string, std::string> FilesBelow(const std::filesystem::path& root);

/// The contents of `files`, sorted: the multiset that no run may change.
std::vector<std::string> SortedContents(const std::map<std::string, std::string>& files);

/// The number after `label` on the first line that starts with it; -1 when
/// there is no such line.
std::int64_t SummaryValue(const std::vector<std::u16string>& lines, const std::u16string& label);

/// How many lines start with `prefix`.
std::size_t CountStartingWith(const std::vector<std::u16string>& lines,
                              const std::u16string& prefix);

/// True when `lines` holds `line`.
bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& line);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_FAULT_CHECKS_H
