// Text and byte files over the backends' raw file primitives.
// SPDX-License-Identifier: MIT
#include <algorithm>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

using detail::OpenMode;
using detail::RawFile;

namespace {

constexpr std::uint8_t kCtrlZ = 0x1A;

// Positions an existing text file for appending: at its first Ctrl-Z if one
// stands among its last 128 bytes (cutting the file there), else at its end.
bool SeekForAppend(RawFile* file) {
  std::uint64_t size = 0;
  if (!detail::RawSize(file, size)) return false;
  std::uint64_t tailStart = size > 128 ? size - 128 : 0;
  std::uint8_t tail[128];
  const auto tailLength = static_cast<std::size_t>(size - tailStart);
  std::size_t got = 0, total = 0;
  if (!detail::RawSeek(file, tailStart)) return false;
  while (total < tailLength) {
    if (!detail::RawRead(file, tail + total, tailLength - total, got)) return false;
    if (got == 0) break;
    total += got;
  }
  const std::uint8_t* cut = std::find(tail, tail + total, kCtrlZ);
  if (cut == tail + total) return detail::RawSeek(file, size);
  return detail::RawSeek(file, tailStart + static_cast<std::uint64_t>(cut - tail)) &&
         detail::RawTruncateHere(file);
}

}  // namespace

// ------------------------------------------------------------ OutputTextFile

struct OutputTextFile::Impl {
  RawFile* file = nullptr;
  detail::OutputBuffer buffer;
  // Not const: it writes to the file this record owns.
  // NOLINTNEXTLINE(readability-make-member-function-const)
  bool Write(const std::uint8_t* data, std::size_t count) {
    return detail::RawWrite(file, data, count);
  }
};

OutputTextFile::OutputTextFile() : impl_(new Impl) {}

OutputTextFile::~OutputTextFile() {
  if (impl_->file != nullptr) Close();
}

bool OutputTextFile::Open(const std::u16string& name) {
  if (impl_->file != nullptr) return true;
  impl_->buffer.used = 0;
  if (FileExists(name)) {
    RawFile* file = detail::RawOpen(name, OpenMode::ReadWriteExisting);
    if (file == nullptr) return false;
    if (!SeekForAppend(file)) {
      detail::RawClose(file);
      return false;
    }
    impl_->file = file;
  } else {
    impl_->file = detail::RawOpen(name, OpenMode::CreateTruncate);
  }
  return impl_->file != nullptr;
}

void OutputTextFile::WriteLine(const std::u16string& text) {
  if (impl_->file == nullptr) throw IoError("write to a closed text file");
  auto write = [this](const std::uint8_t* d, std::size_t n) { return impl_->Write(d, n); };
  if (!detail::BufferedAppend(impl_->buffer, detail::EncodeLine(text) + "\r\n", write)) {
    throw IoError("WriteFile: the text file cannot be written");
  }
}

bool OutputTextFile::Close() {
  if (impl_->file == nullptr) return true;
  auto write = [this](const std::uint8_t* d, std::size_t n) { return impl_->Write(d, n); };
  bool ok = detail::BufferedFlush(impl_->buffer, write);
  ok = detail::RawClose(impl_->file) && ok;
  impl_->file = nullptr;
  return ok;
}

bool OutputTextFile::IsOpen() const { return impl_->file != nullptr; }

// ------------------------------------------------------------- InputTextFile

struct InputTextFile::Impl {
  RawFile* file = nullptr;
  std::uint8_t data[65536];
  std::size_t position = 0;
  std::size_t length = 0;
  bool ended = false;  // end of file or Ctrl-Z reached

  // True when a byte is available at `position`.
  bool Fill() {
    if (ended) return false;
    if (position < length) return true;
    std::size_t got = 0;
    if (!detail::RawRead(file, data, sizeof data, got)) {
      throw IoError("ReadFile: the text file cannot be read");
    }
    position = 0;
    length = got;
    if (got == 0) ended = true;
    return got != 0;
  }
};

InputTextFile::InputTextFile() : impl_(new Impl) {}

InputTextFile::~InputTextFile() {
  if (impl_->file != nullptr) Close();
}

bool InputTextFile::Open(const std::u16string& name) {
  if (impl_->file != nullptr) Close();
  impl_->position = impl_->length = 0;
  impl_->ended = false;
  impl_->file = detail::RawOpen(name, OpenMode::Read);
  return impl_->file != nullptr;
}

bool InputTextFile::AtEnd() {
  if (impl_->file == nullptr) return true;
  if (!impl_->Fill()) return true;
  if (impl_->data[impl_->position] == kCtrlZ) impl_->ended = true;
  return impl_->ended;
}

std::u16string InputTextFile::ReadLine() {
  std::string line;
  while (impl_->file != nullptr && impl_->Fill()) {
    std::uint8_t b = impl_->data[impl_->position];
    if (b == kCtrlZ) {
      impl_->ended = true;
      break;
    }
    ++impl_->position;
    if (b == '\n') break;
    if (b != '\r') line.push_back(static_cast<char>(b));
  }
  return FromAnsi(line);
}

bool InputTextFile::Close() {
  if (impl_->file == nullptr) return true;
  bool ok = detail::RawClose(impl_->file);
  impl_->file = nullptr;
  return ok;
}

std::vector<std::string> SplitTextLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t end = bytes.find(static_cast<char>(kCtrlZ));
  if (end == std::string::npos) end = bytes.size();
  std::size_t i = 0;
  while (i < end) {
    std::string line;
    while (i < end && bytes[i] != '\n') {
      if (bytes[i] != '\r') line.push_back(bytes[i]);
      ++i;
    }
    if (i < end) ++i;  // the LF
    lines.push_back(std::move(line));
  }
  return lines;
}

// ------------------------------------------------------------------ ByteFile

struct ByteFile::Impl {
  RawFile* file = nullptr;
};

ByteFile::ByteFile() : impl_(new Impl) {}

ByteFile::~ByteFile() {
  if (impl_->file != nullptr) Close();
}

bool ByteFile::OpenRead(const std::u16string& name) {
  if (impl_->file != nullptr) Close();
  impl_->file = detail::RawOpen(name, OpenMode::ReadBytes);
  return impl_->file != nullptr;
}

bool ByteFile::Create(const std::u16string& name) {
  if (impl_->file != nullptr) Close();
  impl_->file = detail::RawOpen(name, OpenMode::CreateBytes);
  return impl_->file != nullptr;
}

bool ByteFile::Size(std::uint64_t& size) {
  return impl_->file != nullptr && detail::RawSize(impl_->file, size);
}

bool ByteFile::Read(std::uint8_t* data, std::size_t count) {
  if (impl_->file == nullptr) return false;
  std::size_t total = 0, got = 0;
  while (total < count) {
    if (!detail::RawRead(impl_->file, data + total, count - total, got) || got == 0) return false;
    total += got;
  }
  return true;
}

bool ByteFile::Write(const std::uint8_t* data, std::size_t count) {
  return impl_->file != nullptr && detail::RawWrite(impl_->file, data, count);
}

bool ByteFile::Close() {
  if (impl_->file == nullptr) return true;
  bool ok = detail::RawClose(impl_->file);
  impl_->file = nullptr;
  return ok;
}

}  // namespace platform
