// The Win32 backend of the operating-system layer.
// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

const char16_t kPathSeparator = u'\\';
#ifdef _WIN64
const char16_t* const kBuildName = u"win64";
#else
const char16_t* const kBuildName = u"win32";
#endif
const bool kNamesIgnoreCase = true;
const bool kMasksMatchShortNames = true;

namespace {

// Longer names are refused before the system sees them, as MAX_PATH - 1.
constexpr std::size_t kMaxNameLength = 259;

// The largest piece handed to one ReadFile/WriteFile call.
constexpr std::size_t kMaxChunk = 1u << 30;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A name the system cannot be given faithfully: too long, or cut short by
// an embedded NUL (which would silently name another file).
bool UsableName(const std::u16string& name) {
  return name.size() <= kMaxNameLength && name.find(u'\0') == std::u16string::npos;
}

// No flags and no caller-supplied default character: the code page's own
// best fit and default character apply.
bool ConvertPiece(UINT codePage, const char16_t* text, std::size_t size, std::string& bytes) {
  if (size == 0) return true;
  if (size > INT_MAX) {
    SetLastError(ERROR_ARITHMETIC_OVERFLOW);
    return false;
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  int length = static_cast<int>(size);
  int needed = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  std::size_t start = bytes.size();
  bytes.resize(start + static_cast<std::size_t>(needed));
  return WideCharToMultiByte(codePage, 0, wide, length, &bytes[start], needed, nullptr, nullptr) ==
         needed;
}

// A surrogate pair is one character, so it gets one default character.
// Wine gives one per code unit; each pair is therefore converted alone and
// a doubled default character folded into one.
bool ToCodePage(UINT codePage, const std::u16string& text, std::string& bytes) {
  bytes.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogatePairAt(text, i)) continue;
    if (!ConvertPiece(codePage, text.data() + start, i - start, bytes)) return false;
    std::string pair;
    if (!ConvertPiece(codePage, text.data() + i, 2, pair)) return false;
    bytes += pair == "??" ? "?" : pair;
    start = ++i + 1;
  }
  return ConvertPiece(codePage, text.data() + start, text.size() - start, bytes);
}

bool FromCodePage(UINT codePage, const std::string& bytes, std::u16string& text) {
  text.clear();
  if (bytes.empty()) return true;
  if (bytes.size() > INT_MAX) return false;
  int length = static_cast<int>(bytes.size());
  int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  text.resize(static_cast<std::size_t>(needed));
  return MultiByteToWideChar(codePage, 0, bytes.data(), length,
                             reinterpret_cast<wchar_t*>(text.data()), needed) == needed;
}

// A write that takes nothing fails with ERROR_WRITE_FAULT, so that the
// last error names a reason.
bool WriteAll(HANDLE handle, const std::uint8_t* data, std::size_t count, std::size_t& written) {
  written = 0;
  while (count > written) {
    const auto piece = static_cast<DWORD>(std::min(count - written, kMaxChunk));
    DWORD done = 0;
    if (WriteFile(handle, data + written, piece, &done, nullptr) == FALSE) return false;
    if (done == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    written += done;
  }
  return true;
}

struct Console {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool interactive = false;
  UINT codePage = CP_ACP;
  detail::OutputBuffer buffer;
};

Console& TheConsole() {
  static Console console = [] {
    Console c;
    c.handle = GetStdHandle(STD_OUTPUT_HANDLE);
    c.interactive = GetFileType(c.handle) == FILE_TYPE_CHAR;
    c.codePage = c.interactive ? GetConsoleOutputCP() : AnsiCodePage();
    return c;
  }();
  return console;
}

bool WriteConsoleBytes(const std::uint8_t* data, std::size_t count, std::size_t& written) {
  return WriteAll(TheConsole().handle, data, count, written);
}

IoError StdoutError() { return IoError("standard output: " + LastErrorText()); }

// Whether a link opens as its target: ERROR_SUCCESS, or the reason it does
// not. `flags` is FILE_FLAG_BACKUP_SEMANTICS for a directory.
DWORD TargetOpenError(const std::u16string& name, DWORD flags) {
  HANDLE handle = CreateFileW(Wide(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(handle);
  return ERROR_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------- process

void InitArguments(int /*argc*/, char** /*argv*/) {
  SetArguments(SplitCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW())));
}

void ReportUnexpectedError(const std::string& kind, const std::string& message) {
  try {
    ConsoleFlush();
  } catch (...) {
    // The report below matters more than output that cannot be written.
  }
  try {
    std::string text = kind + ": " + message;
    // Masked as every other line, and C0 controls too: the report is one line.
    std::u16string masked = DecodeUtf8(text);
    detail::MaskLineControls(masked, true);
    std::string line;
    if (!ToCodePage(GetOEMCP(), masked, line)) line = EncodeUtf8(masked);
    line += "\r\n";
    std::size_t written = 0;
    WriteAll(GetStdHandle(STD_ERROR_HANDLE), reinterpret_cast<const std::uint8_t*>(line.data()),
             line.size(), written);
  } catch (...) {
    // Nowhere left to report to.
  }
}

std::string LastErrorText() {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (length != 0 && text != nullptr) message.assign(reinterpret_cast<char16_t*>(text), length);
  LocalFree(text);
  // The system's text ends in a period and CR LF, and a few break a line
  // inside: the report is one line.
  while (!message.empty() && (message.back() <= u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  std::replace_if(
      message.begin(), message.end(), [](char16_t c) { return c < u' '; }, u' ');
  if (message.empty()) return "error " + std::to_string(error);
  return EncodeUtf8(message);
}

void ExitProcess(std::uint32_t code) { ::ExitProcess(code); }

std::uint32_t ExitStatusFor(std::uint32_t code) { return code; }

// ---------------------------------------------------------------- console

void ConsoleWriteLine(const std::u16string& text) {
  Console& console = TheConsole();
  std::u16string masked = text;
  detail::MaskLineControls(masked, false);
  std::string bytes;
  if (!ToCodePage(console.codePage, masked, bytes)) throw StdoutError();
  bytes += "\r\n";
  std::size_t written = 0;
  bool ok = console.interactive
                ? WriteConsoleBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    bytes.size(), written)
                : detail::BufferedAppend(console.buffer, bytes, WriteConsoleBytes);
  if (!ok) throw StdoutError();
}

void ConsoleFlush() {
  if (!detail::BufferedFlush(TheConsole().buffer, WriteConsoleBytes)) throw StdoutError();
}

// ---------------------------------------------------------------- text

std::uint32_t AnsiCodePage() {
  static const UINT codePage = GetACP();
  return codePage;
}

std::string ToAnsi(const std::u16string& text) {
  std::string bytes;
  if (ToCodePage(AnsiCodePage(), text, bytes)) return bytes;
  // Only a text too long for one call gets here: ASCII kept, "?" for any
  // other character.
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    if (IsSurrogatePairAt(text, i)) ++i;
  }
  return bytes;
}

std::u16string FromAnsi(const std::string& bytes) {
  std::u16string text;
  if (FromCodePage(AnsiCodePage(), bytes, text)) return text;
  text.clear();
  for (char b : bytes) text += static_cast<unsigned char>(b) < 0x80 ? char16_t(b) : u'\uFFFD';
  return text;
}

// ---------------------------------------------------------------- whole files

namespace detail {

namespace {

// True when `name` is a file with other links, which a new file would not
// have.
bool HasOtherLinks(const std::u16string& name) {
  HANDLE handle = CreateFileW(Wide(name), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool linked = GetFileInformationByHandle(handle, &info) != 0 && info.nNumberOfLinks > 1;
  CloseHandle(handle);
  return linked;
}

}  // namespace

RawFile RawCreateBeside(const std::u16string& name, std::u16string& temporary, bool& inPlace) {
  inPlace = false;
  if (!UsableName(name)) {
    SetLastError(name.size() > kMaxNameLength ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
    return RawFile();
  }
  // The folder part ends at the last separator, or at the colon of a drive.
  const std::size_t cut = name.find_last_of(u"\\/:");
  const std::u16string folder =
      cut == std::u16string::npos ? std::u16string() : name.substr(0, cut + 1);
  // The temporary name is no longer than the name's own part, so that it
  // fits wherever the name fits: "~zx", 8 hex digits and ".tmp" where that
  // allows, else "~" and fewer digits; below 3 digits the file is written
  // in place, as is one with other links.
  const std::size_t own = name.size() - folder.size();
  if (own < 4 || HasOtherLinks(name)) {
    inPlace = true;
    return RawFile();
  }
  const bool full = own >= 15;
  const std::size_t digits = full ? 8 : std::min<std::size_t>(own - 1, 8);
  // A name unlikely to be taken; CREATE_NEW makes sure it is not.
  static DWORD counter = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const DWORD mix = GetCurrentProcessId() * 2654435761u ^ static_cast<DWORD>(now.QuadPart) ^
                      (++counter * 40503u);
    std::u16string hex;
    for (int shift = 28; shift >= 0; shift -= 4) hex += u"0123456789abcdef"[(mix >> shift) & 15];
    const std::u16string candidate =
        folder + (full ? u"~zx" : u"~") + hex.substr(8 - digits) + (full ? u".tmp" : u"");
    HANDLE handle = CreateFileW(Wide(candidate), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      temporary = candidate;
      return RawFile(reinterpret_cast<std::intptr_t>(handle));
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return RawFile();
}

bool RawWritesInPlace(const std::u16string& name) {
  if (!UsableName(name)) return false;
  // A device (NUL, CON, a serial port) has no folder to put a file beside.
  HANDLE handle = CreateFileW(Wide(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool device = GetFileType(handle) != FILE_TYPE_DISK;
  CloseHandle(handle);
  return device;
}

// Windows links are rare in output paths; MoveFileExW replaces the name.
std::u16string RawLinkTarget(const std::u16string& name) { return name; }

bool RawReplace(const std::u16string& from, const std::u16string& to) {
  if (!UsableName(from) || !UsableName(to)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RawRemove(const std::u16string& name) {
  return UsableName(name) && DeleteFileW(Wide(name)) != 0;
}

}  // namespace detail

namespace {

// The volume serial number and file index of an existing file or folder.
bool FileIdentity(const std::u16string& name, BY_HANDLE_FILE_INFORMATION& info) {
  if (!UsableName(name)) return false;
  // No access asked: the identity needs none, and any open file allows it.
  HANDLE handle = CreateFileW(Wide(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  return ok;
}

}  // namespace

bool SameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return FileIdentity(a, first) && FileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

// ---------------------------------------------------------------- files

bool FileExists(const std::u16string& name) {
  if (name.find(u'\0') != std::u16string::npos) return false;
  DWORD attributes = GetFileAttributesW(Wide(name));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
      return false;
    }
    // A file held open exclusively (a page file, say) refuses its
    // attributes but still shows in a listing.
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(name), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  // A link counts when its target opens, or is merely locked by another process.
  const DWORD error = TargetOpenError(name, FILE_ATTRIBUTE_NORMAL);
  return error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION;
}

bool InputFileExists(const std::u16string& name) { return FileExists(name); }

bool DirectoryExists(const std::u16string& name) {
  if (name.find(u'\0') != std::u16string::npos) return false;
  DWORD attributes = GetFileAttributesW(Wide(name));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    // Anything else (access denied above all) means something is there.
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
           error != ERROR_NOT_READY && error != ERROR_BAD_NETPATH && error != ERROR_INVALID_NAME;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  // A link to a directory counts only when its target can be opened.
  return TargetOpenError(name, FILE_FLAG_BACKUP_SEMANTICS) == ERROR_SUCCESS;
}

namespace {

// The walk root's text, ending in a separator unless empty; `set` while a
// walk runs.
struct WalkRoot {
  bool set = false;
  std::u16string path;
};
WalkRoot walkRoot;

// True when `directory` (without its final separator) lies strictly below
// the walk root.
bool BelowRoot(const std::u16string& directory) {
  if (!walkRoot.set || directory.size() <= walkRoot.path.size() ||
      directory.compare(0, walkRoot.path.size(), walkRoot.path) != 0) {
    return false;
  }
  // With the current directory as the root, a drive or UNC path lies elsewhere.
  return !walkRoot.path.empty() || (directory.find(u':') == std::u16string::npos &&
                                    directory[0] != u'\\' && directory[0] != u'/');
}

}  // namespace

bool SetWalkRoot(const std::u16string& directory) {
  ClearWalkRoot();
  if (!UsableName(directory)) return false;
  if (!directory.empty()) {
    const DWORD attributes = GetFileAttributesW(Wide(directory));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return false;
    }
  }
  walkRoot.path = directory;
  if (!directory.empty() && directory.back() != u'\\' && directory.back() != u'/') {
    walkRoot.path += u'\\';
  }
  walkRoot.set = true;
  return true;
}

void ClearWalkRoot() {
  walkRoot.set = false;
  walkRoot.path.clear();
}

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
  if (!UsableName(from) || !UsableName(to)) return false;
  // MoveFileW would take a "\" or "/" in the new name as a directory, and
  // a leading "C:" as drive C's current folder: both names must share it.
  if (!detail::StaysInItsDirectory(from, to, u"\\/", true)) return false;
  // Nor a ":" in the name's own part: "name:s" is a stream of another file.
  const std::size_t folderLength = detail::FolderPartLength(from, u"\\/", true);
  if (to.find(u':', detail::FolderPartLength(to, u"\\/", true)) != std::u16string::npos) {
    return false;
  }
  const bool isRoot = walkRoot.set && !walkRoot.path.empty() && from + u'\\' == walkRoot.path;
  HANDLE parent = INVALID_HANDLE_VALUE;
  if (isRoot) {
    // The root's own rename, the one above the walk: its parent is held
    // without delete sharing while MoveFileW looks it up twice, so that it
    // cannot be renamed or replaced in between.
    std::u16string folder = folderLength == 0 ? u"." : from.substr(0, folderLength);
    if (folder.back() == u':') folder += u'.';
    parent = CreateFileW(Wide(folder), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (parent == INVALID_HANDLE_VALUE) return false;
  }
  // Without MOVEFILE_REPLACE_EXISTING, MoveFileW refuses an existing target.
  const bool moved = MoveFileW(Wide(from), Wide(to)) != 0;
  if (parent != INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(parent);
    SetLastError(error);
  }
  if (!moved) return false;
  // The root renamed itself: the walk goes on below its new name.
  if (isRoot) walkRoot.path = to + u'\\';
  return true;
}

bool EntryExists(const std::u16string& name) {
  if (name.find(u'\0') != std::u16string::npos) return false;
  if (GetFileAttributesW(Wide(name)) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
         error != ERROR_NOT_READY && error != ERROR_BAD_NETPATH && error != ERROR_INVALID_NAME &&
         error != ERROR_FILENAME_EXCED_RANGE;
}

bool EntryExists(const std::u16string& name, bool& isDirectory) {
  const bool exists = EntryExists(name);
  isDirectory = exists && DirectoryExists(name);
  return exists;
}

bool AbsolutePath(const std::u16string& path, std::u16string& absolute) {
  if (path.find(u'\0') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const std::u16string name = path.empty() ? u"." : path;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFullPathNameW(Wide(name), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return false;
    if (length < buffer.size()) {
      absolute.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
      return true;
    }
    buffer.resize(length);
  }
}

// ---------------------------------------------------------------- raw files

namespace detail {

bool EncodeLine(const std::u16string& text, NameBytes /*names*/, std::string& bytes) {
  std::u16string masked = text;
  MaskLineControls(masked, false);
  bytes.clear();
  return ConvertPiece(CP_UTF8, masked.data(), masked.size(), bytes);
}

namespace {

// RawFile holds the HANDLE as a number, so that internal.h names no system
// type; this is the one place that turns it back.
HANDLE Handle(const RawFile& file) {
  return reinterpret_cast<HANDLE>(file.Handle());  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

RawFile RawOpen(const std::u16string& name, OpenMode mode) {
  if (!UsableName(name)) {
    SetLastError(name.size() > kMaxNameLength ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
    return RawFile();
  }
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::Read:
      access = GENERIC_READ;
      break;
    case OpenMode::ReadBytes:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case OpenMode::ReadWriteExisting:
      break;
    case OpenMode::CreateTruncate:
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::CreateBytes:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::CreateNewBytes:
      disposition = CREATE_NEW;
      break;
  }
  HANDLE handle =
      CreateFileW(Wide(name), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return RawFile(reinterpret_cast<std::intptr_t>(handle));  // kNone when it failed
}

bool RawRead(const RawFile& file, std::uint8_t* data, std::size_t count, std::size_t& got) {
  got = 0;
  DWORD read = 0;
  if (ReadFile(Handle(file), data, static_cast<DWORD>(std::min(count, kMaxChunk)), &read,
               nullptr) == FALSE) {
    return false;
  }
  got = read;
  return true;
}

bool RawWrite(const RawFile& file, const std::uint8_t* data, std::size_t count,
              std::size_t& written) {
  return WriteAll(Handle(file), data, count, written);
}

bool RawAppendFromNowOn(RawFile& file, const std::u16string& name) {
  if (!RawClose(file)) return false;
  // Without FILE_WRITE_DATA every write goes to the end of the file.
  HANDLE handle = CreateFileW(Wide(name), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  file = RawFile(reinterpret_cast<std::intptr_t>(handle));  // kNone when it failed
  return file.IsOpen();
}

bool RawSize(const RawFile& file, std::uint64_t& size) {
  LARGE_INTEGER value;
  if (GetFileSizeEx(Handle(file), &value) == FALSE) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool RawSeek(const RawFile& file, std::uint64_t position) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(Handle(file), distance, nullptr, FILE_BEGIN) != 0;
}

bool RawTruncateHere(const RawFile& file) { return SetEndOfFile(Handle(file)) != 0; }

bool RawClose(RawFile& file) {
  if (!file.IsOpen()) return true;
  HANDLE handle = Handle(file);
  file.Release();
  return CloseHandle(handle) != 0;
}

void RawDrop(RawFile& file) {
  if (!file.IsOpen()) return;
  const DWORD saved = GetLastError();
  CloseHandle(Handle(file));
  file.Release();
  SetLastError(saved);
}

}  // namespace detail

// ---------------------------------------------------------------- listing

namespace {

// Opens a folder itself, not what a reparse point in its last part leads
// to, with reading access (or the system would not hold the share mode
// against others).
HANDLE OpenFolder(const std::u16string& directory, DWORD share) {
  return CreateFileW(Wide(directory), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, share, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// True when the open folder is to be listed: a directory, and no name
// surrogate (junction, link). Where the file system refuses the tag query,
// the reparse attribute of its basic information decides: a reparse point
// whose tag cannot be read may be a link, and is not listed.
bool ListableFolder(HANDLE folder) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag) != 0) {
    return (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
            IsReparseTagNameSurrogate(tag.ReparseTag) == 0);
  }
  FILE_BASIC_INFO basic;
  return GetFileInformationByHandleEx(folder, FileBasicInfo, &basic, sizeof basic) != 0 &&
         (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

struct DirectoryListing::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  // The listed directory below the walk root, held open while it is listed
  // so that nobody can rename it or swap it for a link meanwhile.
  HANDLE pin = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data;
  // FindFirstFileW already holds the first entry when the listing starts.
  bool firstPending = false;
  bool failed = false;
  // A folder that another program holds open for deletion is pinned with
  // deletion shared, and listed through that handle and its pattern
  // (byHandle), so that the folder listed is the one checked.
  bool byHandle = false;
  std::u16string pattern;
  std::vector<std::uint64_t> records;  // FILE_ID_BOTH_DIR_INFO records, aligned
  std::size_t next = 0;                // offset of the next record; 0 with none left
  bool restart = true;

  void Close() {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    if (pin != INVALID_HANDLE_VALUE) CloseHandle(pin);
    find = pin = INVALID_HANDLE_VALUE;
    firstPending = false;
    byHandle = false;
    records.clear();
  }

  // Pins the directory: held without delete sharing where it can be, else
  // with it, and kept only when ListableFolder says so.
  bool Pin(const std::u16string& directory) {
    pin = OpenFolder(directory, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (pin == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
      pin = OpenFolder(directory, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
      byHandle = pin != INVALID_HANDLE_VALUE;
    }
    if (pin == INVALID_HANDLE_VALUE) return false;
    if (ListableFolder(pin)) return true;
    CloseHandle(pin);
    pin = INVALID_HANDLE_VALUE;
    byHandle = false;
    return false;
  }

  // The next record of a listing through the handle that the pattern
  // matches, by its long or its 8.3 short name, as FindFirstFileW matches.
  bool NextByHandle(DirEntry& entry) {
    for (;;) {
      if (next == 0) {
        if (records.empty()) records.resize(8192);
        const auto size = static_cast<DWORD>(records.size() * sizeof(std::uint64_t));
        if (GetFileInformationByHandleEx(
                pin, restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                records.data(), size) == 0) {
          failed = GetLastError() != ERROR_NO_MORE_FILES;
          Close();
          return false;
        }
        restart = false;
      }
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(records.data());
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + next);
      next = info->NextEntryOffset == 0 ? 0 : next + info->NextEntryOffset;
      const std::u16string name(reinterpret_cast<const char16_t*>(info->FileName),
                                info->FileNameLength / sizeof(WCHAR));
      const std::u16string shortName(
          reinterpret_cast<const char16_t*>(info->ShortName),
          static_cast<std::size_t>(static_cast<std::uint8_t>(info->ShortNameLength)) /
              sizeof(WCHAR));
      if (!MatchesWildcard(pattern, name) &&
          (shortName.empty() || !MatchesWildcard(pattern, shortName))) {
        continue;
      }
      entry.name = name;
      entry.isDirectory = (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A reparse point's tag stands where the extended attributes' size would.
      entry.isLink = entry.isDirectory &&
                     (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                     IsReparseTagNameSurrogate(info->EaSize) != 0;
      return true;
    }
  }
};

DirectoryListing::DirectoryListing() : impl_(new Impl) {}

DirectoryListing::~DirectoryListing() { impl_->Close(); }

bool DirectoryListing::Open(const std::u16string& pathAndPattern) {
  impl_->Close();
  impl_->failed = false;
  if (pathAndPattern.find(u'\0') != std::u16string::npos) return false;
  const std::size_t cut = pathAndPattern.find_last_of(u"\\/");
  if (cut != std::u16string::npos && cut > 0 && BelowRoot(pathAndPattern.substr(0, cut)) &&
      !impl_->Pin(pathAndPattern.substr(0, cut))) {
    return false;
  }
  if (impl_->byHandle) {
    impl_->pattern = pathAndPattern.substr(cut + 1);
    impl_->next = 0;
    impl_->restart = true;
    return true;
  }
  impl_->find = FindFirstFileW(Wide(pathAndPattern), &impl_->data);
  if (impl_->find == INVALID_HANDLE_VALUE) {
    impl_->Close();
    return false;
  }
  impl_->firstPending = true;
  return true;
}

bool DirectoryListing::Next(DirEntry& entry) {
  if (impl_->byHandle) return impl_->pin != INVALID_HANDLE_VALUE && impl_->NextByHandle(entry);
  if (impl_->find == INVALID_HANDLE_VALUE) return false;
  if (impl_->firstPending) {
    impl_->firstPending = false;
  } else if (FindNextFileW(impl_->find, &impl_->data) == FALSE) {
    // ERROR_NO_MORE_FILES is the end; any other error a read that failed.
    impl_->failed = GetLastError() != ERROR_NO_MORE_FILES;
    impl_->Close();
    return false;
  }
  const WIN32_FIND_DATAW& data = impl_->data;
  entry.name = reinterpret_cast<const char16_t*>(data.cFileName);
  entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Junctions, mount points and directory symbolic links; other reparse
  // points (cloud placeholders, deduplicated folders) are real directories.
  entry.isLink = entry.isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                 IsReparseTagNameSurrogate(data.dwReserved0) != 0;
  return true;
}

bool DirectoryListing::Failed() const { return impl_->failed; }

bool RenameStaysInItsDirectory(const std::u16string& from, const std::u16string& to) {
  return detail::StaysInItsDirectory(from, to, u"\\/");
}

bool HoldsPathSeparator(const std::u16string& text) {
  return text.find_first_of(u"\\/:") != std::u16string::npos;
}

}  // namespace platform
