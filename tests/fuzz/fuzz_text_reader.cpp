// The input text reader: the lines it returns, joined back with line ends,
// are the file up to its first Ctrl-Z without its CRs, each line cut after
// its first 64 KiB; the in-memory splitter returns the same lines.
//
// The first byte is a control byte: when its top bit is set, a long line of
// filler goes first, so that what follows straddles the reader's 64 KiB
// buffer at a point the low seven bits choose.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/text_lines.h"

namespace {

constexpr std::size_t kReadBuffer = 65536;
constexpr std::size_t kMaxLineBytes = 65536;

const fuzz::ScratchFile& TextFile() {
  static const fuzz::ScratchFile file("text");
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string bytes;
  if ((data[0] & 0x80) != 0) bytes.assign(kReadBuffer - (data[0] & 0x7F), 'x');
  bytes += fuzz::Bytes(data + 1, size - 1);
  TextFile().Write(bytes);

  std::vector<std::string> lines;
  platform::InputTextFile file;
  FUZZ_CHECK(file.Open(TextFile().Name()), "cannot open the text file");
  while (!file.AtEnd()) lines.push_back(platform::ToAnsi(file.ReadLine()));
  FUZZ_CHECK(file.Close(), "cannot close the text file");

  const std::string text = bytes.substr(0, bytes.find('\x1A'));
  std::string expected;
  std::size_t lineBytes = 0;
  for (const char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      expected += c;
      lineBytes = 0;
    } else if (lineBytes++ < kMaxLineBytes) {
      expected += c;
    }
  }

  std::string joined;
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.find_first_of("\r\n\x1A") == std::string::npos,
               "line end or Ctrl-Z inside the line " + fuzz::Show(line));
    joined += line + "\n";
  }
  // A last line without a line end reads like any other, even when all it
  // holds is a CR that is dropped.
  if (!text.empty() && text.back() != '\n') expected += '\n';
  FUZZ_CHECK(joined == expected, "lines do not join back to the text: " + fuzz::Show(joined) +
                                     " instead of " + fuzz::Show(expected));
  FUZZ_CHECK(testsupport::SplitTextLines(bytes) == lines,
             "the file reader and SplitTextLines disagree on " + fuzz::Show(bytes));
  return 0;
}
