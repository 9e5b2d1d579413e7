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

// The message of an IoError for a file: its name, then the system's reason
// for the call that has just failed. Reads the reason first, before any
// other call can replace it.
IoError FileError(const std::u16string& name) {
  std::string reason = LastErrorText();
  return IoError(EncodeUtf8(name) + ": " + reason);
}

// Positions an existing text file for appending: at its first Ctrl-Z if one
// stands among its last 128 bytes (cutting the file there), else at its end.
bool SeekForAppend(const RawFile& file) {
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
  RawFile file;
  std::u16string name;
  detail::OutputBuffer buffer;
  NameBytes names = NameBytes::Replaced;

  ~Impl() { Close(); }

  // Writes to the file; what the buffer holds is written through this.
  bool Write(const std::uint8_t* data, std::size_t count, std::size_t& written) const {
    return detail::RawWrite(file, data, count, written);
  }
  // A buffer that cannot be written out keeps the file open.
  bool Close() {
    if (!file.IsOpen()) return true;
    auto write = [this](const std::uint8_t* d, std::size_t n, std::size_t& w) {
      return Write(d, n, w);
    };
    return detail::BufferedFlush(buffer, write) && detail::RawClose(file);
  }
};

OutputTextFile::OutputTextFile() : impl_(new Impl) {}

OutputTextFile::~OutputTextFile() = default;

OutputTextFile& OutputTextFile::operator=(OutputTextFile&& other) noexcept {
  impl_.swap(other.impl_);
  return *this;
}

bool OutputTextFile::Open(const std::u16string& name, NameBytes names) {
  if (!impl_->Close()) return false;
  impl_->buffer.used = 0;
  impl_->name = name;
  impl_->names = names;
  RawFile file;
  if (!FileExists(name)) {
    file = detail::RawOpen(name, OpenMode::CreateTruncate);
  } else {
    file = detail::RawOpen(name, OpenMode::ReadWriteExisting);
    if (file.IsOpen() && !SeekForAppend(file)) return false;
  }
  // Concurrent writers of one file interleave their lines, but never
  // overwrite each other's.
  if (!file.IsOpen() || !detail::RawAppendFromNowOn(file, name)) return false;
  impl_->file = std::move(file);
  return true;
}

void OutputTextFile::WriteLine(const std::u16string& text) {
  if (!impl_->file.IsOpen()) {
    const std::string name = impl_->name.empty() ? "text file" : EncodeUtf8(impl_->name);
    throw IoError(name + ": not open");
  }
  std::string bytes;
  auto write = [this](const std::uint8_t* d, std::size_t n, std::size_t& w) {
    return impl_->Write(d, n, w);
  };
  if (!detail::EncodeLine(text, impl_->names, bytes) ||
      !detail::BufferedAppend(impl_->buffer, bytes + "\r\n", write)) {
    throw FileError(impl_->name);
  }
}

bool OutputTextFile::Close() { return impl_->Close(); }

bool OutputTextFile::IsOpen() const { return impl_->file.IsOpen(); }

// ------------------------------------------------------------- InputTextFile

struct InputTextFile::Impl {
  RawFile file;
  std::u16string name;
  std::uint8_t data[65536];
  std::size_t position = 0;
  std::size_t length = 0;
  bool ended = false;  // end of file or Ctrl-Z reached

  // True when a byte is available at `position`.
  bool Fill() {
    if (ended) return false;
    if (position < length) return true;
    std::size_t got = 0;
    if (!detail::RawRead(file, data, sizeof data, got)) throw FileError(name);
    position = 0;
    length = got;
    if (got == 0) ended = true;
    return got != 0;
  }
};

InputTextFile::InputTextFile() : impl_(new Impl) {}

InputTextFile::~InputTextFile() = default;

bool InputTextFile::Open(const std::u16string& name) {
  if (!Close()) return false;
  impl_->position = impl_->length = 0;
  impl_->ended = false;
  impl_->name = name;
  impl_->file = detail::RawOpen(name, OpenMode::Read);
  return impl_->file.IsOpen();
}

bool InputTextFile::AtEnd() {
  if (!impl_->file.IsOpen()) return true;
  if (!impl_->Fill()) return true;
  if (impl_->data[impl_->position] == kCtrlZ) impl_->ended = true;
  return impl_->ended;
}

std::u16string InputTextFile::ReadLine() {
  std::string line;
  while (impl_->file.IsOpen() && impl_->Fill()) {
    std::uint8_t b = impl_->data[impl_->position];
    if (b == kCtrlZ) {
      impl_->ended = true;
      break;
    }
    ++impl_->position;
    if (b == '\n') break;
    if (b != '\r' && line.size() < kMaxLineBytes) line.push_back(static_cast<char>(b));
  }
  return FromAnsi(line);
}

bool InputTextFile::Close() { return detail::RawClose(impl_->file); }

// ------------------------------------------------------------------ ByteFile

struct ByteFile::Impl {
  RawFile file;

  bool Open(const std::u16string& name, OpenMode mode) {
    if (!detail::RawClose(file)) return false;
    file = detail::RawOpen(name, mode);
    return file.IsOpen();
  }
};

ByteFile::ByteFile() : impl_(new Impl) {}

ByteFile::~ByteFile() = default;

bool ByteFile::OpenRead(const std::u16string& name) {
  return impl_->Open(name, OpenMode::ReadBytes);
}

bool ByteFile::Create(const std::u16string& name) {
  return impl_->Open(name, OpenMode::CreateBytes);
}

bool ByteFile::CreateNew(const std::u16string& name) {
  return impl_->Open(name, OpenMode::CreateNewBytes);
}

bool ByteFile::Seek(std::uint64_t position) {
  return impl_->file.IsOpen() && detail::RawSeek(impl_->file, position);
}

bool ByteFile::Size(std::uint64_t& size) {
  return impl_->file.IsOpen() && detail::RawSize(impl_->file, size);
}

bool ByteFile::Read(std::uint8_t* data, std::size_t count) {
  if (!impl_->file.IsOpen()) return false;
  std::size_t total = 0, got = 0;
  while (total < count) {
    if (!detail::RawRead(impl_->file, data + total, count - total, got) || got == 0) return false;
    total += got;
  }
  return true;
}

bool ByteFile::Write(const std::uint8_t* data, std::size_t count) {
  std::size_t written = 0;
  return impl_->file.IsOpen() && detail::RawWrite(impl_->file, data, count, written);
}

bool ByteFile::Close() { return detail::RawClose(impl_->file); }

// ------------------------------------------------------------- ReplacingFile

struct ReplacingFile::Impl {
  RawFile file;
  std::u16string name;
  std::u16string temporary;  // empty when the file is written in place

  // Closes and removes the new file, if there is one.
  void GiveUp() {
    detail::RawClose(file);
    if (!temporary.empty()) detail::RawRemove(temporary);
    temporary.clear();
  }
  ~Impl() { GiveUp(); }
};

ReplacingFile::ReplacingFile() : impl_(new Impl) {}

ReplacingFile::~ReplacingFile() = default;

bool ReplacingFile::Create(const std::u16string& name) {
  impl_->GiveUp();
  impl_->name = detail::RawLinkTarget(name);
  bool inPlace = detail::RawWritesInPlace(impl_->name);
  if (!inPlace) impl_->file = detail::RawCreateBeside(impl_->name, impl_->temporary, inPlace);
  // Truncated and written: the caller has the whole content at hand.
  if (inPlace) impl_->file = detail::RawOpen(impl_->name, OpenMode::CreateBytes);
  return impl_->file.IsOpen();
}

bool ReplacingFile::Write(const std::uint8_t* data, std::size_t count) {
  std::size_t written = 0;
  return impl_->file.IsOpen() && detail::RawWrite(impl_->file, data, count, written);
}

bool ReplacingFile::Commit() {
  if (!impl_->file.IsOpen()) return false;
  bool ok = detail::RawClose(impl_->file);
  if (ok && !impl_->temporary.empty()) ok = detail::RawReplace(impl_->temporary, impl_->name);
  if (ok) impl_->temporary.clear();
  impl_->GiveUp();
  return ok;
}

bool RemoveFile(const std::u16string& name) { return detail::RawRemove(name); }

}  // namespace platform
