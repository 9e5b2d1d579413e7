// The POSIX backend: Windows-1252 as the ANSI code page, UTF-8 names and
// console, never-replacing rename.
// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp1252.h"
#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

const char16_t kPathSeparator = u'/';
const char16_t* const kBuildName = u"linux";
const bool kNamesIgnoreCase = false;
const bool kMasksMatchShortNames = false;

namespace {

// A name with a NUL would reach the system cut short, naming another entry.
bool HasNul(const std::u16string& name) { return name.find(u'\0') != std::u16string::npos; }

std::string Native(const std::u16string& name) { return EncodeUtf8(name); }

// Writes all bytes to a descriptor, retrying after signals and partial
// writes. A write that takes nothing fails with EIO, so that errno names a
// reason.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t count, std::size_t& written) {
  written = 0;
  while (count > written) {
    ssize_t n = ::write(fd, data + written, count - written);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

struct Console {
  detail::OutputBuffer buffer;
  bool checked = false;
  bool terminal = false;
};
Console console;

bool WriteStdout(const std::uint8_t* data, std::size_t count, std::size_t& written) {
  return WriteAll(1, data, count, written);
}

IoError StdoutError() { return IoError("standard output: " + LastErrorText()); }

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
  // A name in the message (a rule file's, say) is masked as in every other
  // line: it must neither break the line nor steer a terminal.
  std::string line;
  detail::EncodeLine(DecodeUtf8(kind + ": " + message), NameBytes::Replaced, line);
  line += "\n";
  std::size_t written = 0;
  WriteAll(2, reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), written);
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
  bool ok = detail::EncodeLine(text, NameBytes::Replaced, bytes) &&
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
    if (IsSurrogatePairAt(text, i)) {
      ++i;  // a surrogate pair is one character, and none fits
      out.push_back('?');
      continue;
    }
    out.push_back(static_cast<char>(cp1252::ToByte(c)));
  }
  return out;
}

std::u16string FromAnsi(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char b : bytes) out.push_back(cp1252::ToChar(static_cast<std::uint8_t>(b)));
  return out;
}

// -------------------------------------------------------------- whole files

namespace detail {

namespace {
int Descriptor(const RawFile& file) { return static_cast<int>(file.Handle()); }
}  // namespace

RawFile RawCreateBeside(const std::u16string& name, std::u16string& temporary, bool& inPlace) {
  inPlace = false;
  if (HasNul(name)) {
    errno = EINVAL;  // a NUL would cut the name short and name another file
    return RawFile();
  }
  const std::size_t slash = name.rfind(u'/');
  const std::u16string folder =
      slash == std::u16string::npos ? std::u16string() : name.substr(0, slash + 1);
  struct stat old;
  const bool replacesFile = ::stat(Native(name).c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // A new file takes the old one's place only where that keeps everything
  // the old one had: its other links, its owner, its mode; and only where
  // the folder lets this user put a file in it. Otherwise the old file is
  // written in place, where only a full disk can leave it partly written;
  // one this user may not write stays as it is (the open fails).
  if (replacesFile &&
      (old.st_nlink != 1 || old.st_uid != ::geteuid() || (old.st_mode & 07000) != 0 ||
       ::faccessat(AT_FDCWD, Native(name).c_str(), W_OK, AT_EACCESS) != 0 ||
       ::faccessat(AT_FDCWD, folder.empty() ? "." : Native(folder).c_str(), W_OK | X_OK,
                   AT_EACCESS) != 0)) {
    inPlace = true;
    return RawFile();
  }
  // A hidden name, unlikely to be taken; O_EXCL makes sure it is not.
  static std::uint32_t counter = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint32_t mix = static_cast<std::uint32_t>(::getpid()) * 2654435761u ^
                        static_cast<std::uint32_t>(now.tv_nsec) ^ (++counter * 40503u);
    char hex[9];
    (void)std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(mix));
    const std::u16string candidate = folder + u".zx" + DecodeUtf8(hex) + u".tmp";
    RawFile file(::open(Native(candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.IsOpen()) {
      if (!replacesFile) {
        temporary = candidate;
        return file;
      }
      // The new file's group is the folder's or this user's; the old file
      // keeps its place when that is not its own group, or when its
      // permission bits cannot be given to the new file.
      struct stat made;
      const int fd = Descriptor(file);
      if (::fstat(fd, &made) == 0 && made.st_gid == old.st_gid &&
          ::fchmod(fd, old.st_mode & 0777) == 0) {
        temporary = candidate;
        return file;
      }
      RawClose(file);
      (void)::unlink(Native(candidate).c_str());
      inPlace = true;
      return RawFile();
    }
    if (errno != EEXIST) break;
  }
  return RawFile();
}

bool RawWritesInPlace(const std::u16string& name) {
  if (HasNul(name)) return false;
  struct stat st;
  if (::stat(Native(name).c_str(), &st) == 0) return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  // A link that leads nowhere yet: the file is created where it leads.
  return errno == ENOENT && ::lstat(Native(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::u16string RawLinkTarget(const std::u16string& name) {
  struct stat st;
  if (HasNul(name) || ::lstat(Native(name).c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return name;
  }
  char* resolved = ::realpath(Native(name).c_str(), nullptr);
  if (resolved == nullptr) return name;
  std::u16string target = DecodeUtf8(resolved);
  std::free(resolved);
  return target;
}

bool RawReplace(const std::u16string& from, const std::u16string& to) {
  return !HasNul(from) && !HasNul(to) && ::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool RawRemove(const std::u16string& name) {
  return !HasNul(name) && ::unlink(Native(name).c_str()) == 0;
}

}  // namespace detail

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat first, second;
  if (HasNul(a) || HasNul(b)) return false;
  return ::stat(Native(a).c_str(), &first) == 0 && ::stat(Native(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// -------------------------------------------------------------------- files

namespace detail {
void (*testBeforeFallbackRename)(const char* target) = nullptr;
bool testResolveByComponents = false;
}  // namespace detail

namespace {

using detail::Descriptor;
using detail::RawFile;

// The walk root: opened once, links followed; `path` is its native text,
// empty (the current directory) or ending in "/".
struct WalkRoot {
  RawFile fd;
  std::string path;
  // Once the root renamed itself: the folder that held it, and its old
  // path (ending in "/"), where a new root of that path is looked up.
  RawFile parent;
  std::string renamedFrom;
};
WalkRoot walkRoot;

bool openat2Missing = false;  // the kernel (or a sandbox) refuses openat2

// The part of a native path below the walk root, when the path lies below
// it (the root itself gives ""); false otherwise, or when no root is set.
bool BelowRoot(const std::string& path, std::string& rest) {
  if (!walkRoot.fd.IsOpen() || path.compare(0, walkRoot.path.size(), walkRoot.path) != 0) {
    return false;
  }
  // With the current directory as the root, absolute paths lie elsewhere.
  if (walkRoot.path.empty() && !path.empty() && path[0] == '/') return false;
  rest.assign(path, walkRoot.path.size(), std::string::npos);
  return true;
}

// The directory names of `rest` ("a/b" or "a/b/"), without empty parts and
// ".", as views into it. False (ENOTDIR) when one is "..".
bool DirectoryParts(std::string_view rest, std::vector<std::string_view>& parts) {
  for (std::size_t at = 0; at <= rest.size();) {
    std::size_t end = rest.find('/', at);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view part = rest.substr(at, end - at);
    at = end + 1;
    if (part == "..") {
      errno = ENOTDIR;
      return false;
    }
    if (!part.empty() && part != ".") parts.push_back(part);
  }
  return true;
}

constexpr int kBeneathFlags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// openat2 of as many parts from parts[i] on as fit one system path, from
// the directory `from`; i moves past them. -1 with errno on failure.
int OpenPiece(int from, const std::vector<std::string_view>& parts, std::size_t& i, int flags) {
  std::string piece(parts[i]);
  std::size_t next = i + 1;
  while (next < parts.size() && piece.size() + parts[next].size() + 1 < 4000) {
    piece += '/';
    piece += parts[next++];
  }
  struct open_how how = {};
  how.flags = static_cast<std::uint64_t>((next == parts.size() ? flags : O_PATH) | kBeneathFlags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, from, piece.c_str(), &how, sizeof how);
  if (fd >= 0) i = next;
  return static_cast<int>(fd);
}

// The directories of `rest`, opened one below the other from the root:
// none may be a symbolic link or "..", so the result always lies inside the
// root. The last one gets `flags` (O_PATH or O_RDONLY). A link, a "..", or
// anything but a directory on the way fails with ENOTDIR.
RawFile OpenBeneath(const std::string& rest, int flags) {
  std::vector<std::string_view> parts;
  if (!DirectoryParts(rest, parts)) return RawFile();
  if (parts.empty()) return RawFile(::openat(Descriptor(walkRoot.fd), ".", flags | kBeneathFlags));
  RawFile current;
  std::size_t i = 0;
  while (i < parts.size()) {
    const int from = current.IsOpen() ? Descriptor(current) : Descriptor(walkRoot.fd);
    int fd = -1;
    if (!openat2Missing && !detail::testResolveByComponents) {
      fd = OpenPiece(from, parts, i, flags);
      // A kernel or sandbox without openat2: one openat per part from now on.
      openat2Missing = fd < 0 && (errno == ENOSYS || errno == EPERM);
    }
    if (fd < 0 && (openat2Missing || detail::testResolveByComponents)) {
      const int last = i + 1 == parts.size() ? flags : O_PATH;
      fd = ::openat(from, std::string(parts[i]).c_str(), last | kBeneathFlags);
      if (fd >= 0) ++i;
    }
    if (fd < 0) {
      if (errno == ELOOP || errno == EXDEV) errno = ENOTDIR;
      return RawFile();
    }
    current = RawFile(fd);
  }
  return current;
}

// The directory below the root that the last call worked in, by its path
// below the root: the walk tests and renames many entries of one directory
// in a row, and opens it once for all of them. It stays the directory that
// was resolved inside the root, whatever happens to its path meanwhile.
struct ParentCache {
  std::string rest;
  RawFile fd;
};
ParentCache parentCache;

// Where a path's last part lives: the directory to pass to the *at calls
// (AT_FDCWD, or a descriptor of its parent below the root, owned by
// parentCache) and the name to pass with it. False when the parent cannot
// be opened (errno says why).
struct Located {
  int dir = AT_FDCWD;
  std::string name;
  std::string rest;  // the path below the root, without a final "/"; empty when not below
};

bool Locate(const std::string& path, Located& at) {
  at.dir = AT_FDCWD;
  std::string& rest = at.rest;
  if (!BelowRoot(path, rest)) {
    at.name = path;
    rest.clear();
    return true;
  }
  // "a/b/" names b itself: its last part is "b", not the empty rest.
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  const std::size_t slash = rest.rfind('/');
  const std::size_t parentSize = slash == std::string::npos ? 0 : slash;
  at.name.assign(rest, slash == std::string::npos ? 0 : slash + 1, std::string::npos);
  if (at.name.empty()) at.name = ".";  // the root itself
  if (!parentCache.fd.IsOpen() ||
      parentCache.rest.compare(0, std::string::npos, rest, 0, parentSize) != 0) {
    parentCache.rest.assign(rest, 0, parentSize);
    parentCache.fd = OpenBeneath(parentCache.rest, O_PATH);
  }
  at.dir = Descriptor(parentCache.fd);
  return at.dir >= 0;
}

// The storage StatPath reuses from call to call: the walk tests many
// names in a row.
struct StatScratch {
  std::string native;
  Located at;
};
StatScratch statScratch;

// stat of a path, the link in its last part followed, as the tests below want it.
bool StatPath(const std::u16string& name, struct stat& st) {
  if (HasNul(name)) {
    errno = EINVAL;
    return false;
  }
  detail::EncodeUtf8Into(name, statScratch.native);
  Located& at = statScratch.at;
  return Locate(statScratch.native, at) && ::fstatat(at.dir, at.name.c_str(), &st, 0) == 0;
}

// Whether a failed lookup says that no entry has the name (rather than
// that the test itself failed).
bool NoSuchEntry(int error) {
  return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == EINVAL;
}

}  // namespace

bool SetWalkRoot(const std::u16string& directory) {
  const RawFile parent = std::move(walkRoot.parent);
  const std::string renamedFrom = std::move(walkRoot.renamedFrom);
  ClearWalkRoot();
  if (HasNul(directory)) return false;
  std::string path = Native(directory);
  if (!path.empty() && path.back() != '/') path += '/';
  RawFile fd;
  if (parent.IsOpen() && path == renamedFrom) {
    // The old path of a root that renamed itself: in the folder that held
    // it, whatever has become of the path above.
    const std::size_t slash = path.rfind('/', path.size() - 2);
    const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = path.substr(begin, path.size() - 1 - begin);
    fd = RawFile(
        ::openat(Descriptor(parent), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  } else {
    fd = RawFile(::open(path.empty() ? "." : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  if (!fd.IsOpen()) return false;
  walkRoot.fd = std::move(fd);
  walkRoot.path = std::move(path);
  return true;
}

void ClearWalkRoot() {
  walkRoot.fd = RawFile();
  walkRoot.path.clear();
  walkRoot.parent = RawFile();
  walkRoot.renamedFrom.clear();
  parentCache.fd = RawFile();
}

bool FileExists(const std::u16string& name) {
  struct stat st;
  return StatPath(name, st) && !S_ISDIR(st.st_mode);
}

bool InputFileExists(const std::u16string& name) {
  struct stat st;
  return StatPath(name, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::u16string& name) {
  struct stat st;
  if (StatPath(name, st)) return S_ISDIR(st.st_mode);
  return !NoSuchEntry(errno);
}

bool EntryExists(const std::u16string& name) {
  if (HasNul(name)) return false;
  struct stat st;
  Located at;
  if (Locate(Native(name), at) &&
      ::fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    return true;
  }
  return !NoSuchEntry(errno);
}

bool EntryExists(const std::u16string& name, bool& isDirectory) {
  isDirectory = false;
  if (HasNul(name)) return false;
  struct stat st;
  Located at;
  if (Locate(Native(name), at) &&
      ::fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    // A link is what it leads to, as DirectoryExists says.
    isDirectory = S_ISLNK(st.st_mode) ? DirectoryExists(name) : S_ISDIR(st.st_mode);
    return true;
  }
  if (NoSuchEntry(errno)) return false;
  isDirectory = DirectoryExists(name);
  return true;
}

bool AbsolutePath(const std::u16string& path, std::u16string& absolute) {
  if (!path.empty() && path[0] == u'/') {
    absolute = path;
    return true;
  }
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  absolute = DecodeUtf8(buffer.data());
  if (path.empty()) return true;
  if (absolute.back() != u'/') absolute += u'/';
  absolute += path;
  return true;
}

namespace {

// The no-replace rename of `from` to `to` in the directory `dir` (AT_FDCWD
// for paths); `target` is the target's whole path, for the test seam.
bool RenameIn(int dir, const std::string& from, const std::string& to, const std::string& target) {
  const bool forceFallback = detail::testBeforeFallbackRename != nullptr;
#ifdef SYS_renameat2
  if (!forceFallback) {
    if (::syscall(SYS_renameat2, dir, from.c_str(), dir, to.c_str(), 1u) == 0) {
      return true;  // 1u is RENAME_NOREPLACE
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
  }
#endif
  // The file system does not know RENAME_NOREPLACE: a hard link fails when
  // the target exists.
  struct stat st;
  if (::fstatat(dir, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool directory = S_ISDIR(st.st_mode);
  if (!directory && !forceFallback) {
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0) {
      if (::unlinkat(dir, from.c_str(), 0) == 0) return true;
      ::unlinkat(dir, to.c_str(), 0);
      return false;
    }
    if (errno == EEXIST) return false;
  }
  // Neither works here: claim the target first, so that nothing another
  // process creates there can be replaced, then rename over the claim.
  if (directory) {
    if (::mkdirat(dir, to.c_str(), 0700) != 0) return false;
  } else {
    int fd = ::openat(dir, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    ::close(fd);
  }
  if (forceFallback) detail::testBeforeFallbackRename(target.c_str());
  if (::renameat(dir, from.c_str(), dir, to.c_str()) == 0) return true;
  // rmdir removes only the empty claim, never what another process put in it.
  (void)::unlinkat(dir, to.c_str(), directory ? AT_REMOVEDIR : 0);
  return false;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The rename of the walk root itself, the one rename above the root: its
// parent is opened once, checked to be the root's parent, and the rename
// made in it, so that no change of the path above the root meanwhile can
// rename another folder's entry or move the root into another folder. A
// root named by a link (the user's start path) is a link in that parent
// that must still lead to the root.
bool RenameRoot(const std::string& source, const std::string& newName, const std::string& target,
                RawFile& held) {
  const std::size_t slash = source.rfind('/');
  const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    errno = EINVAL;
    return false;
  }
  const std::string parentPath = slash == std::string::npos ? "."
                                 : slash == 0               ? "/"
                                                            : source.substr(0, slash);
  RawFile parent(::open(parentPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  struct stat folder, entry, root, above;
  if (!parent.IsOpen() || ::fstat(Descriptor(parent), &folder) != 0 ||
      ::fstat(Descriptor(walkRoot.fd), &root) != 0 ||
      ::fstatat(Descriptor(parent), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  const bool holdsRoot =
      S_ISLNK(entry.st_mode)
          ? ::fstatat(Descriptor(parent), name.c_str(), &entry, 0) == 0 && SameEntry(entry, root)
          : SameEntry(entry, root) && ::fstatat(Descriptor(walkRoot.fd), "..", &above, 0) == 0 &&
                SameEntry(above, folder);
  if (!holdsRoot) {
    errno = ESTALE;  // the path no longer leads to the root's parent
    return false;
  }
  if (!RenameIn(Descriptor(parent), name, newName, target)) return false;
  held = std::move(parent);
  return true;
}

}  // namespace

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
  // Also keeps a NUL from cutting the native name short.
  if (!detail::StaysInItsDirectory(from, to, u"/") || HasNul(from)) return false;
  const std::string source = Native(from), target = Native(to);
  const std::string newName = Native(to.substr(to.rfind(u'/') + 1));  // npos + 1 is 0
  const bool isRoot = walkRoot.fd.IsOpen() && source + '/' == walkRoot.path;
  Located at;
  RawFile parent;
  if (isRoot) {
    if (!RenameRoot(source, newName, target, parent)) return false;
  } else if (!Locate(source, at) || at.name == "." ||
             !RenameIn(at.dir, at.dir == AT_FDCWD ? source : at.name,
                       at.dir == AT_FDCWD ? target : newName, target)) {
    return false;
  }
  // A directory renamed: a directory opened by its old path is not used
  // under that path again.
  if (!at.rest.empty() && parentCache.rest.compare(0, at.rest.size(), at.rest) == 0 &&
      (parentCache.rest.size() == at.rest.size() || parentCache.rest[at.rest.size()] == '/')) {
    parentCache.fd = RawFile();
  }
  // The root renamed itself: the walk goes on below its new name.
  if (isRoot) {
    walkRoot.renamedFrom = walkRoot.path;
    walkRoot.parent = std::move(parent);
    walkRoot.path = target + '/';
  }
  return true;
}

namespace detail {

bool EncodeLine(const std::u16string& text, NameBytes names, std::string& bytes) {
  std::u16string masked = text;
  MaskLineControls(masked, true);
  if (names == NameBytes::Replaced) ReplaceRawBytes(masked);
  bytes = EncodeUtf8(masked);
  return true;
}

namespace {

// Why a file just opened with these flags is not kept (a directory, FIFO or
// socket), or 0 once its blocking I/O is restored.
int RefusalOf(int fd, int flags) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return EINVAL;
  // A text file read to its end must end: no device.
  if ((flags & O_ACCMODE) == O_RDONLY && !S_ISREG(st.st_mode)) return EINVAL;
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
    // Text output appends, so that two runs writing one log at once never
    // overwrite each other's lines; for the same reason a text file made
    // by another run since the file test is not emptied.
    case OpenMode::ReadWriteExisting:
      flags |= O_RDWR | O_APPEND;
      break;
    case OpenMode::CreateTruncate:
      flags |= O_RDWR | O_CREAT | O_APPEND;
      break;
    case OpenMode::CreateBytes:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case OpenMode::CreateNewBytes:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  if (HasNul(name)) {
    errno = EINVAL;
    return RawFile();
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

bool RawWrite(const RawFile& file, const std::uint8_t* data, std::size_t count,
              std::size_t& written) {
  return WriteAll(Descriptor(file), data, count, written);
}

bool RawAppendFromNowOn(RawFile& /*file*/, const std::u16string& /*name*/) { return true; }

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

void RawDrop(RawFile& file) {
  if (!file.IsOpen()) return;
  const int saved = errno;
  (void)::close(static_cast<int>(file.Release()));
  errno = saved;
}

}  // namespace detail

// ------------------------------------------------------------------ listing

struct DirectoryListing::Impl {
  DIR* dir = nullptr;
  std::u16string pattern;
  std::u16string name;  // the name being matched, its storage kept from entry to entry
  bool failed = false;  // the last Next met a read error, not the end
};

DirectoryListing::DirectoryListing() : impl_(new Impl) {}

DirectoryListing::~DirectoryListing() {
  if (impl_->dir != nullptr) ::closedir(impl_->dir);
}

bool DirectoryListing::Open(const std::u16string& pathAndPattern) {
  if (impl_->dir != nullptr) ::closedir(impl_->dir);
  impl_->dir = nullptr;
  impl_->failed = false;
  if (HasNul(pathAndPattern)) return false;
  std::size_t slash = pathAndPattern.rfind(u'/');
  std::u16string directory =
      slash == std::u16string::npos ? std::u16string() : pathAndPattern.substr(0, slash + 1);
  impl_->pattern = pathAndPattern.substr(directory.size());
  impl_->name.reserve(256);  // a name has at most 255 bytes, so at most 255 units
  const std::string native = Native(directory);
  std::string rest;
  RawFile fd(BelowRoot(native, rest) ? OpenBeneath(rest, O_RDONLY).Release()
                                     : ::open(native.empty() ? "." : native.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen()) return false;
  impl_->dir = ::fdopendir(Descriptor(fd));
  if (impl_->dir != nullptr) fd.Release();
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
    detail::DecodeUtf8Into(d->d_name, impl_->name);
    if (!MatchesWildcard(impl_->pattern, impl_->name)) continue;
    entry.name.assign(impl_->name);  // into the storage the entry already has
    entry.isDirectory = d->d_type == DT_DIR;
    entry.isLink = false;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      // A link to a directory is a directory entry too, but marked, so that
      // the walk never follows it out of its tree or round in a loop.
      struct stat st;
      const int dir = ::dirfd(impl_->dir);
      const bool link =
          d->d_type == DT_LNK ||
          (::fstatat(dir, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode));
      entry.isDirectory = ::fstatat(dir, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      entry.isLink = link && entry.isDirectory;
    }
    return true;
  }
}

bool DirectoryListing::Failed() const { return impl_->failed; }

bool RenameStaysInItsDirectory(const std::u16string& from, const std::u16string& to) {
  return detail::StaysInItsDirectory(from, to, u"/");
}

bool HoldsPathSeparator(const std::u16string& text) {
  return text.find(u'/') != std::u16string::npos;
}

}  // namespace platform
