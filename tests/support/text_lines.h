// The input text reader's line splitting without a file: the model that
// the reader's tests and fuzz target compare it with.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_TEXT_LINES_H
#define TESTS_SUPPORT_TEXT_LINES_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

/// The lines of bytes as platform::InputTextFile returns them (still in
/// ANSI): the text ends at the first Ctrl-Z, lines end at LF, CRs are dropped,
/// a line is cut after `maxLineBytes` bytes.
inline std::vector<std::string> SplitTextLines(const std::string& bytes,
                                               std::size_t maxLineBytes = 65536) {
  std::vector<std::string> lines;
  std::size_t end = bytes.find('\x1A');
  if (end == std::string::npos) end = bytes.size();
  std::size_t i = 0;
  while (i < end) {
    std::string line;
    while (i < end && bytes[i] != '\n') {
      if (bytes[i] != '\r' && line.size() < maxLineBytes) line.push_back(bytes[i]);
      ++i;
    }
    if (i < end) ++i;  // the LF
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEXT_LINES_H
