// The POSIX backend: Windows-1252 as the ANSI code page, UTF-8 names and
// console, never-replacing rename.
// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/cp1252.h"
#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

const char16_t kPathSeparator = u'/';
const bool kNamesIgnoreCase = false;

namespace {

std::string Native(const std::u16string& name) { return EncodeUtf8(name); }

// Writes all bytes to a descriptor, retrying after signals and partial
// writes. A write that takes nothing fails with EIO, so that errno names a
// reason.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    ssize_t n = ::write(fd, data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) return false;
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

struct Console {
  detail::OutputBuffer buffer;
  bool checked = false;
  bool terminal = false;
};
Console console;

bool WriteStdout(const std::uint8_t* data, std::size_t count) { return WriteAll(1, data, count); }

IoError StdoutError() { return IoError("standard output: " + LastErrorText()); }

// U+0000..U+001F and U+007F, as bytes of UTF-8.
bool IsControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

// ------------------------------------------------------------------ process

void InitArguments(int argc, char** argv) {
  // A closed pipe or a file-size limit must show up as a failed write that
  // the program reports, not as a signal that kills it silently.
  // Both are valid signals, so signal() cannot fail here.
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '\0') arguments.push_back(DecodeUtf8(argv[i]));
  }
  SetArguments(std::move(arguments));
}

void ReportUnexpectedError(const std::string& kind, const std::string& message) {
  try {
    ConsoleFlush();
  } catch (...) {
    // Standard output is what failed; the report still goes out.
  }
  std::string line = kind + ": " + message;
  // A name in the message (a rule file's, say) must not break the line.
  std::replace_if(line.begin(), line.end(), IsControlByte, '?');
  line += "\n";
  WriteAll(2, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
}

std::string LastErrorText() { return std::strerror(errno); }

void ExitProcess(std::uint32_t code) { ::_exit(static_cast<int>(ExitStatusFor(code))); }

std::uint32_t ExitStatusFor(std::uint32_t code) { return std::min<std::uint32_t>(code, 255); }

// ------------------------------------------------------------------ console

void ConsoleWriteLine(const std::u16string& text) {
  if (!console.checked) {
    console.terminal = ::isatty(1) == 1;
    console.checked = true;
  }
  std::string bytes;
  bool ok = detail::EncodeLine(text, bytes) &&
            detail::BufferedAppend(console.buffer, bytes + "\n", WriteStdout);
  if (ok && console.terminal) ok = detail::BufferedFlush(console.buffer, WriteStdout);
  if (!ok) throw StdoutError();
}

void ConsoleFlush() {
  if (!detail::BufferedFlush(console.buffer, WriteStdout)) throw StdoutError();
}

// --------------------------------------------------------------------- text

std::uint32_t AnsiCodePage() { return 1252; }

std::string ToAnsi(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a surrogate pair is one character, and none fits
      out.push_back('?');
      continue;
    }
    const char16_t* high = std::find(cp1252::kHighHalf, cp1252::kHighHalf + 32, c);
    if (high != cp1252::kHighHalf + 32) {
      out.push_back(static_cast<char>(0x80 + (high - cp1252::kHighHalf)));
      continue;
    }
    const cp1252::BestFit* end = cp1252::kBestFit + cp1252::kBestFitCount;
    const cp1252::BestFit* fit = std::lower_bound(
        cp1252::kBestFit, end, c, [](const cp1252::BestFit& f, char16_t v) { return f.from < v; });
    out.push_back(fit != end && fit->from == c ? static_cast<char>(fit->to) : '?');
  }
  return out;
}

std::u16string FromAnsi(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char b : bytes) {
    auto u = static_cast<unsigned char>(b);
    out.push_back(u < 0x80 ? u : cp1252::kHighHalf[u - 0x80]);
  }
  return out;
}

// -------------------------------------------------------------------- files

bool FileExists(const std::u16string& name) {
  struct stat st;
  return ::stat(Native(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::u16string& name) {
  struct stat st;
  if (::stat(Native(name).c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG && errno != EINVAL;
}

namespace detail {
void (*testBeforeFallbackRename)(const char* target) = nullptr;
}  // namespace detail

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
  // Also keeps a NUL from cutting the native name short.
  if (!detail::StaysInItsDirectory(from, to, u"/")) return false;
  std::string source = Native(from), target = Native(to);
  const bool forceFallback = detail::testBeforeFallbackRename != nullptr;
#ifdef SYS_renameat2
  if (!forceFallback) {
    if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), 1u) == 0) {
      return true;  // 1u is RENAME_NOREPLACE
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
  }
#endif
  // The file system does not know RENAME_NOREPLACE: a hard link fails when
  // the target exists.
  struct stat st;
  if (::lstat(source.c_str(), &st) != 0) return false;
  const bool directory = S_ISDIR(st.st_mode);
  if (!directory && !forceFallback) {
    if (::link(source.c_str(), target.c_str()) == 0) {
      if (::unlink(source.c_str()) == 0) return true;
      ::unlink(target.c_str());
      return false;
    }
    if (errno == EEXIST) return false;
  }
  // Neither works here: claim the target first, so that nothing another
  // process creates there can be replaced, then rename over the claim.
  if (directory) {
    if (::mkdir(target.c_str(), 0700) != 0) return false;
  } else {
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
  }
  if (forceFallback) detail::testBeforeFallbackRename(target.c_str());
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  // rmdir removes only the empty claim, never what another process put in it.
  (void)(directory ? ::rmdir(target.c_str()) : ::unlink(target.c_str()));
  return false;
}

namespace detail {

bool EncodeLine(const std::u16string& text, std::string& bytes) {
  bytes = EncodeUtf8(text);
  // Control characters are single bytes in UTF-8, and every other byte of
  // the text, of a longer sequence or an escaped raw byte, is 0x80 or above.
  std::replace_if(bytes.begin(), bytes.end(), IsControlByte, '?');
  return true;
}

namespace {

int Descriptor(const RawFile& file) { return static_cast<int>(file.Handle()); }

// Why a file just opened with these flags is not kept (a directory, FIFO or
// socket), or 0 once its blocking I/O is restored.
int RefusalOf(int fd, int flags) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return EINVAL;
  if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK & ~O_CREAT & ~O_TRUNC) != 0) return errno;
  return 0;
}

}  // namespace

RawFile RawOpen(const std::u16string& name, OpenMode mode) {
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case OpenMode::Read:
    case OpenMode::ReadBytes:
      flags |= O_RDONLY;
      break;
    case OpenMode::ReadWriteExisting:
      flags |= O_RDWR;
      break;
    case OpenMode::CreateTruncate:
    case OpenMode::CreateBytes:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  // O_NONBLOCK keeps a FIFO from blocking the open; such files and
  // directories are then refused, and ordinary blocking I/O restored.
  RawFile file(::open(Native(name).c_str(), flags, 0666));
  if (!file.IsOpen()) return file;
  const int error = RefusalOf(Descriptor(file), flags);
  if (error != 0) {
    RawClose(file);
    errno = error;  // the reason, not the close's result
  }
  return file;
}

bool RawRead(const RawFile& file, std::uint8_t* data, std::size_t count, std::size_t& got) {
  for (;;) {
    ssize_t n = ::read(Descriptor(file), data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    got = static_cast<std::size_t>(n);
    return true;
  }
}

bool RawWrite(const RawFile& file, const std::uint8_t* data, std::size_t count) {
  return WriteAll(Descriptor(file), data, count);
}

bool RawSize(const RawFile& file, std::uint64_t& size) {
  struct stat st;
  if (::fstat(Descriptor(file), &st) != 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool RawSeek(const RawFile& file, std::uint64_t position) {
  return ::lseek(Descriptor(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool RawTruncateHere(const RawFile& file) {
  off_t here = ::lseek(Descriptor(file), 0, SEEK_CUR);
  return here >= 0 && ::ftruncate(Descriptor(file), here) == 0;
}

bool RawClose(RawFile& file) {
  if (!file.IsOpen()) return true;
  // The descriptor is gone even when close reports an error.
  return ::close(static_cast<int>(file.Release())) == 0;
}

}  // namespace detail

// ------------------------------------------------------------------ listing

struct DirectoryListing::Impl {
  DIR* dir = nullptr;
  std::string directory;  // native, ends in "/" unless empty
  std::u16string pattern;
  bool failed = false;  // the last Next met a read error, not the end
};

DirectoryListing::DirectoryListing() : impl_(new Impl) {}

DirectoryListing::~DirectoryListing() {
  if (impl_->dir != nullptr) ::closedir(impl_->dir);
}

bool DirectoryListing::Open(const std::u16string& pathAndPattern) {
  if (impl_->dir != nullptr) ::closedir(impl_->dir);
  impl_->failed = false;
  std::size_t slash = pathAndPattern.rfind(u'/');
  std::u16string directory =
      slash == std::u16string::npos ? std::u16string() : pathAndPattern.substr(0, slash + 1);
  impl_->pattern = pathAndPattern.substr(directory.size());
  impl_->directory = Native(directory);
  impl_->dir = ::opendir(impl_->directory.empty() ? "." : impl_->directory.c_str());
  return impl_->dir != nullptr;
}

bool DirectoryListing::Next(DirEntry& entry) {
  if (impl_->dir == nullptr) return false;
  for (;;) {
    errno = 0;  // readdir leaves errno alone at the end, and sets it when it fails
    struct dirent* d = ::readdir(impl_->dir);
    if (d == nullptr) {
      impl_->failed = errno != 0;
      return false;
    }
    std::u16string name = DecodeUtf8(d->d_name);
    if (!MatchesWildcard(impl_->pattern, name)) continue;
    entry.name = std::move(name);
    entry.isDirectory = d->d_type == DT_DIR;
    entry.isLink = false;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      // A link to a directory is a directory entry too, but marked, so that
      // the walk never follows it out of its tree or round in a loop.
      struct stat st;
      std::string full = impl_->directory + d->d_name;
      const bool link =
          d->d_type == DT_LNK || (::lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
      entry.isDirectory = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      entry.isLink = link && entry.isDirectory;
    }
    return true;
  }
}

bool DirectoryListing::Failed() const { return impl_->failed; }

}  // namespace platform
