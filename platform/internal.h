// What the two backends (win32.cpp, posix.cpp) offer to the portable parts
// of the layer (files.cpp): raw file access, and the shared output buffer.
// SPDX-License-Identifier: MIT
#ifndef PLATFORM_INTERNAL_H
#define PLATFORM_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace platform::detail {

/// A file opened by a backend: the system's handle (a descriptor on POSIX,
/// a HANDLE on Windows), held as a number so that no system type shows
/// here. Move-only; it closes the file when it goes (or is assigned to),
/// unless RawClose did.
class RawFile;

/// Closes the file and leaves the handle empty; true when it was not open.
/// False when the system's close failed: the handle is given up either way.
bool RawClose(RawFile& file);

/// Closes the file, if open, for a caller that does not ask how the close
/// went: the system's last error (errno, GetLastError) stays that of the
/// call before, which a caller on an error path may still be about to read.
void RawDrop(RawFile& file);

class RawFile {
 public:
  /// No handle: -1 is an invalid descriptor, and INVALID_HANDLE_VALUE.
  static constexpr std::intptr_t kNone = -1;

  RawFile() = default;
  explicit RawFile(std::intptr_t handle) : handle_(handle) {}
  RawFile(RawFile&& other) noexcept : handle_(other.Release()) {}
  RawFile& operator=(RawFile&& other) noexcept {
    if (this != &other) {
      RawDrop(*this);
      handle_ = other.Release();
    }
    return *this;
  }
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  ~RawFile() { RawDrop(*this); }

  bool IsOpen() const { return handle_ != kNone; }
  std::intptr_t Handle() const { return handle_; }
  /// Hands the handle over without closing it; the file is then empty.
  std::intptr_t Release() { return std::exchange(handle_, kNone); }

 private:
  std::intptr_t handle_ = kNone;
};

enum class OpenMode {
  Read,               ///< existing text file, read only, shared for reading
  ReadBytes,          ///< existing byte file, read only, shared for reading and writing
  ReadWriteExisting,  ///< existing text file, read and write, shared for reading
  CreateTruncate,     ///< text file created, read and write, shared for reading; an existing
                      ///< one is truncated on Windows, kept (appended to) on POSIX
  CreateBytes,        ///< byte file created or truncated, read and write, shared for both
  CreateNewBytes,     ///< byte file that must not exist, read and write, shared for reading
};

/// Opens a file; an empty RawFile on any failure (a directory of that name
/// included).
RawFile RawOpen(const std::u16string& name, OpenMode mode);
/// Reads up to count bytes; got is 0 at the end of the file. False on failure.
bool RawRead(const RawFile& file, std::uint8_t* data, std::size_t count, std::size_t& got);
/// Writes all count bytes; false on failure or a short write. `written`
/// gets how many bytes were written, also on failure.
bool RawWrite(const RawFile& file, const std::uint8_t* data, std::size_t count,
              std::size_t& written);
/// From now on every write goes to the end of the file, whoever else
/// writes to it: POSIX opened text files with O_APPEND already; Windows
/// closes the file and opens `name` again with FILE_APPEND_DATA alone.
/// False on failure (the file is then closed).
bool RawAppendFromNowOn(RawFile& file, const std::u16string& name);
/// The file's size in bytes; false on failure.
bool RawSize(const RawFile& file, std::uint64_t& size);
/// Moves the file position; false on failure.
bool RawSeek(const RawFile& file, std::uint64_t position);
/// Cuts the file at the current position; false on failure.
bool RawTruncateHere(const RawFile& file);

// Every call above that fails leaves its reason for LastErrorText
// (platform.h), a short write and a refused file type included.

/// Creates a new, empty byte file with a name of its own in the folder of
/// `name`, for writing; `temporary` receives its name. An empty RawFile on
/// failure, with `inPlace` set where the existing file `name` is to be
/// written in place instead: POSIX, a regular file with more than one
/// link, another owner or group than a new file would get, set-id or
/// sticky bits, or in a folder this user may not write (a new file gets
/// the old one's permission bits); Windows, a file with more than one link,
/// or a folder so deep that no temporary name fits where `name` fits.
RawFile RawCreateBeside(const std::u16string& name, std::u16string& temporary, bool& inPlace);
/// True when `name` exists and is to be written in place, not replaced: a
/// device (POSIX: neither a regular file nor a directory; Windows: not a
/// disk file, such as NUL); POSIX also a symbolic link that leads to no
/// file yet, so that the file is created where it leads.
bool RawWritesInPlace(const std::u16string& name);
/// The name whose file a write to `name` reaches: POSIX resolves a symbolic
/// link (so that the picture replaces the link's target, and the link stays
/// a link); `name` itself when it is no link, or a dangling one (written in
/// place, through the link), and always on Windows.
std::u16string RawLinkTarget(const std::u16string& name);
/// Moves `from` over `to`, replacing a file of that name; false on failure.
bool RawReplace(const std::u16string& from, const std::u16string& to);
/// Removes a file; false on failure.
bool RawRemove(const std::u16string& name);

/// DecodeUtf8 and EncodeUtf8 into a string the caller keeps, whose storage
/// is reused: a listing converts every name with them and allocates only
/// for a name longer than any before it.
void DecodeUtf8Into(std::string_view bytes, std::u16string& out);
void EncodeUtf8Into(std::u16string_view text, std::string& out);

/// Writes as "?" each character of a line that a viewer could take as a
/// line break, a terminal command or a change of writing direction: those
/// of IsLineControl (platform.h), and with `c0` also U+0000..U+001F and
/// U+007F.
void MaskLineControls(std::u16string& text, bool c0);

/// Writes U+FFFD for each of U+DC80..U+DCFF, the escapes of raw bytes
/// that are not UTF-8 (DecodeUtf8), so that the text's UTF-8 is valid.
void ReplaceRawBytes(std::u16string& text);

/// The bytes of one line of console or text-file output, without its line
/// end: UTF-8 on both backends, after MaskLineControls (POSIX with the C0
/// controls, which Windows names cannot hold), so that no name can end a
/// line or steer a terminal. POSIX writes U+DC80..U+DCFF as the raw bytes
/// they stand for with `rawBytes` (so that a line names the real file),
/// else as U+FFFD; Win32 converts with WideCharToMultiByte (a lone
/// surrogate becomes U+FFFD). False when the conversion fails, with the
/// reason in LastErrorText.
bool EncodeLine(const std::u16string& text, NameBytes names, std::string& bytes);

/// The length of the folder part of `path`: up to and including its last
/// separator (any character of `separators`); without one, with `drives`
/// a leading drive designator ("C:", a drive's current folder); else 0.
inline std::size_t FolderPartLength(std::u16string_view path, std::u16string_view separators,
                                    bool drives) {
  std::size_t cut = path.size();
  while (cut > 0 && separators.find(path[cut - 1]) == std::u16string_view::npos) --cut;
  if (cut > 0) return cut;
  const bool letter = path.size() >= 2 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                                           (path[0] >= u'a' && path[0] <= u'z'));
  return drives && letter && path[1] == u':' ? 2 : 0;
}

/// True when renaming `from` to `to` keeps the entry in its directory: both
/// paths have the same folder part (FolderPartLength), and the new last part
/// is not empty, "." or "..", and holds no NUL. The preview asks this of
/// every rename, so it copies nothing.
inline bool StaysInItsDirectory(const std::u16string& from, const std::u16string& to,
                                std::u16string_view separators, bool drives = false) {
  const std::size_t fromParent = FolderPartLength(from, separators, drives);
  const std::size_t toParent = FolderPartLength(to, separators, drives);
  if (fromParent != toParent ||
      std::memcmp(from.data(), to.data(), fromParent * sizeof(char16_t)) != 0) {
    return false;
  }
  const std::u16string_view name(to.data() + toParent, to.size() - toParent);
  return !name.empty() && !IsDotName(name) && name.find(u'\0') == std::u16string_view::npos;
}

/// Test seam of the POSIX backend, set only by tests: while it is not null,
/// RenameNoReplace takes its fallback path, as on a file system that
/// refuses both RENAME_NOREPLACE and hard links, and calls it with the
/// target just before the final rename(), where another process could act.
extern void (*testBeforeFallbackRename)(const char* target);

/// Test seam of the POSIX backend, set only by tests: while it is true,
/// paths below the walk root are resolved by one openat per directory, as
/// on a kernel without openat2.
extern bool testResolveByComponents;

/// A 128-byte write buffer that holds whole lines only, so that each write
/// to the file ends at a line end: two programs appending to one file then
/// never splice each other's lines.
struct OutputBuffer {
  static constexpr std::size_t kSize = 128;
  std::uint8_t data[kSize] = {};
  std::size_t used = 0;
};

/// Writes out and empties the buffer. False when the write fails; the bytes
/// that did not reach the file then stay for the next flush.
template <typename Write>
bool BufferedFlush(OutputBuffer& buffer, Write write);

/// Appends one whole line (its bytes and its line end). When it does not
/// fit beside what the buffer holds, the buffer is written out first
/// through write(data, count, written), which tells in `written` how many
/// bytes reached the file, also when it fails; a line longer than the
/// buffer then goes to the file in one write of its own. A buffer that the
/// line fills exactly is written out at once. A failed write drops this
/// line, so that the next one starts whole, and keeps the bytes of earlier
/// lines that did not reach the file for the next write; no byte reaches
/// the file twice. Returns false when a write fails.
template <typename Write>
bool BufferedAppend(OutputBuffer& buffer, const std::string& line, Write write) {
  if (buffer.used + line.size() > OutputBuffer::kSize) {
    if (!BufferedFlush(buffer, write)) return false;
    if (line.size() > OutputBuffer::kSize) {
      std::size_t written = 0;
      return write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), written);
    }
  }
  const std::size_t lineStart = buffer.used;
  std::memcpy(buffer.data + buffer.used, line.data(), line.size());
  buffer.used += line.size();
  if (buffer.used < OutputBuffer::kSize) return true;
  std::size_t written = 0;
  if (write(buffer.data, buffer.used, written)) {
    buffer.used = 0;
    return true;
  }
  const std::size_t keep = lineStart > written ? lineStart - written : 0;
  std::memmove(buffer.data, buffer.data + written, keep);
  buffer.used = keep;
  return false;
}

template <typename Write>
bool BufferedFlush(OutputBuffer& buffer, Write write) {
  if (buffer.used == 0) return true;
  std::size_t written = 0;
  const bool ok = write(buffer.data, buffer.used, written);
  if (ok) written = buffer.used;
  std::memmove(buffer.data, buffer.data + written, buffer.used - written);
  buffer.used -= written;
  return ok;
}

}  // namespace platform::detail

#endif  // PLATFORM_INTERNAL_H
