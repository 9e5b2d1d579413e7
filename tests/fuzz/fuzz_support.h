// What the fuzz targets share: failing with a message that libFuzzer shows
// beside the saved input, turning fuzz bytes into text, and scratch files
// (in /dev/shm, one set per process, removed when the process exits).
// SPDX-License-Identifier: MIT
#ifndef TESTS_FUZZ_FUZZ_SUPPORT_H
#define TESTS_FUZZ_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzz {

/// Prints "PROPERTY VIOLATED: " and the message on standard error, then
/// aborts, so that libFuzzer reports a crash and keeps the input.
[[noreturn]] inline void Fail(const std::string& message) {
  std::fprintf(stderr, "PROPERTY VIOLATED: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz

/// Fails with the message when the condition does not hold; the message is
/// only built then.
#define FUZZ_CHECK(condition, message)       \
  do {                                       \
    if (!(condition)) ::fuzz::Fail(message); \
  } while (false)

namespace fuzz {

/// The bytes as a string of chars.
inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

/// UTF-16 code units from byte pairs, little-endian; an odd last byte is
/// dropped. Reaches every code unit, lone surrogates included.
inline std::u16string CodeUnits(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return text;
}

/// Messages show long inputs by their two ends.
constexpr std::size_t kShownEnds = 60;

/// Text for a message: printable ASCII as is, anything else as \uXXXX;
/// the middle of a long text left out.
// NOLINTNEXTLINE(misc-no-recursion): one level deep, the two ends are short
inline std::string Show(const std::u16string& text) {
  if (text.size() > 3 * kShownEnds) {
    return Show(text.substr(0, kShownEnds)) + "..." + Show(text.substr(text.size() - kShownEnds)) +
           " (" + std::to_string(text.size()) + " units)";
  }
  std::string out = "\"";
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'"') {
      out.push_back(static_cast<char>(c));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

/// Bytes for a message: printable ASCII as is, anything else as \xHH;
/// the middle of a long string left out.
// NOLINTNEXTLINE(misc-no-recursion): one level deep, the two ends are short
inline std::string Show(const std::string& bytes) {
  if (bytes.size() > 3 * kShownEnds) {
    return Show(bytes.substr(0, kShownEnds)) + "..." +
           Show(bytes.substr(bytes.size() - kShownEnds)) + " (" + std::to_string(bytes.size()) +
           " bytes)";
  }
  std::string out = "\"";
  for (char b : bytes) {
    auto u = static_cast<unsigned char>(b);
    if (u >= 0x20 && u < 0x7F && u != '\\' && u != '"') {
      out.push_back(b);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", u);
      out += escape;
    }
  }
  return out + "\"";
}

/// A scratch file of this process, "/dev/shm/zx-fuzz-<pid>-<tag>" (memory,
/// not disk, since every input is written); removed at exit.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& tag)
      : path_("/dev/shm/zx-fuzz-" + std::to_string(::getpid()) + "-" + tag) {}
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  /// The path as the program layer takes it.
  std::u16string Name() const { return std::u16string(path_.begin(), path_.end()); }
  /// Replaces the file's content; fails when it cannot be written.
  void Write(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    FUZZ_CHECK(static_cast<bool>(out), "cannot write the scratch file " + path_);
  }
  /// The whole content; fails when the file cannot be read.
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    FUZZ_CHECK(static_cast<bool>(in), "cannot read the scratch file " + path_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

}  // namespace fuzz

#endif  // TESTS_FUZZ_FUZZ_SUPPORT_H
