// The operating-system layer shared by namescourer and zxraster.
//
// Text is UTF-16 (std::u16string) everywhere above this layer; bytes are
// std::uint8_t. The Win32 backend (win32.cpp) calls the Windows functions
// directly. The POSIX backend (posix.cpp) gives each call the result it has
// on Windows wherever POSIX can; where it cannot, or where the Windows
// result would be unsafe there, the contract below says what POSIX does.
// Nothing here exposes a system handle type.
// SPDX-License-Identifier: MIT
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Thrown when a line cannot be written to the console, a log or a file
/// list, or a text file cannot be read. what() names the file ("standard
/// output" for the console) and gives the system's reason, as in
/// "run.log: No space left on device". The programs catch it only where a
/// step is guarded; anywhere else it ends the run through
/// ReportUnexpectedError.
struct IoError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The character that separates directories in a path: "\" on Windows,
/// "/" on POSIX.
extern const char16_t kPathSeparator;

/// True where the file system takes names that differ only in case for one
/// name (Windows), false where it tells them apart (POSIX).
extern const bool kNamesIgnoreCase;

// ---------------------------------------------------------------- process

/// The program's arguments without the program name. Windows: split from
/// GetCommandLineW by SplitCommandLine. POSIX: argv[1..] decoded by
/// DecodeUtf8, empty arguments dropped. InitArguments must run first on
/// POSIX (it keeps argc/argv); on Windows it ignores them.
void InitArguments(int argc, char** argv);
const std::vector<std::u16string>& Arguments();
/// Replaces the argument list (InitArguments uses it; so do tests).
void SetArguments(std::vector<std::u16string> arguments);
/// Argument i (1-based), or empty when i is 0 or past the last one.
std::u16string ArgumentAt(std::uint32_t i);
/// The option lookup of both programs: stores the argument after the first
/// exact occurrence of token in target, when that argument exists and is not
/// empty; otherwise target keeps its value.
void FindOptionValue(const std::u16string& token, std::u16string& target);

/// Splits a Windows command line: words are separated by characters below
/// 33; a double quote opens or closes a quoted section and is removed;
/// there is no escape character; an empty word is never produced. The first
/// word (the program as invoked) is dropped.
std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine);

/// Writes out standard output, then one line "kind: message" on standard
/// error (OEM code page and CR LF on Windows, UTF-8 and LF on POSIX).
/// Never throws.
void ReportUnexpectedError(const std::string& kind, const std::string& message);

/// The kind ReportUnexpectedError names for an exception that ended a run:
/// "I/O error", "Out of memory" or "Error".
const char* UnexpectedErrorKind(const std::exception& error);

/// The system's reason why the last call of this layer that failed did so,
/// in UTF-8 without a line end or a final period: strerror on POSIX,
/// FormatMessageW's text on Windows. Ask at once: any later call may
/// replace it.
std::string LastErrorText();

/// Ends the process. The console must have been flushed by the caller.
/// POSIX caps the code at 255 so that a count of 256 never reads as 0.
[[noreturn]] void ExitProcess(std::uint32_t code);

/// The exit status POSIX reports for a code: min(code, 255). Identity on
/// Windows.
std::uint32_t ExitStatusFor(std::uint32_t code);

// ---------------------------------------------------------------- console

/// Writes text and a line end (CR LF on Windows, LF on POSIX) to standard
/// output; POSIX writes control characters as "?". A console gets the line
/// at once; a redirected output is written through a 128-byte buffer.
/// Throws IoError ("standard output: " and the reason) when the write fails.
void ConsoleWriteLine(const std::u16string& text);

/// Writes out what the console buffer holds. Throws IoError, as
/// ConsoleWriteLine, on failure.
void ConsoleFlush();

// ---------------------------------------------------------------- text

/// Windows-1252 on POSIX; GetACP() on Windows.
std::uint32_t AnsiCodePage();

/// Converts to the ANSI code page with best fit: a character the code page
/// cannot hold becomes a look-alike or "?". One character in, one byte out
/// (a surrogate pair is one character).
std::string ToAnsi(const std::u16string& text);

/// Converts bytes of the ANSI code page to UTF-16.
std::u16string FromAnsi(const std::string& bytes);

/// UTF-8 to UTF-16. A byte that is not part of valid UTF-8 becomes the lone
/// surrogate U+DC00 + byte, so that EncodeUtf8 gives back the same bytes.
std::u16string DecodeUtf8(const std::string& bytes);

/// UTF-16 to UTF-8. The lone surrogates U+DC80..U+DCFF become the single
/// byte they stand for; any other lone surrogate becomes U+FFFD.
std::string EncodeUtf8(const std::u16string& text);

/// The key of a name for comparisons without regard to case, the same in
/// every build: each code unit becomes its simple upper case, then that
/// unit's simple case folding (platform/case_fold.cpp, generated by
/// tools/gen_case_fold.py); surrogates stay. Names that Windows' file
/// systems take for one name have equal keys.
std::u16string FoldCase(std::u16string name);

/// A number as plain unsigned decimal text: digits only, no sign, no
/// grouping, no leading zeros ("0" for zero).
std::u16string Decimal(std::uint64_t value);

/// True for a UTF-16 high surrogate (U+D800..U+DBFF), which starts a pair.
inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
/// True for a UTF-16 low surrogate (U+DC00..U+DFFF), which ends a pair.
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
/// True when text[i] and text[i + 1] are a high and a low surrogate: one character.
inline bool IsSurrogatePairAt(std::u16string_view text, std::size_t i) {
  return i + 1 < text.size() && IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]);
}
/// The code point that the surrogate pair `high`, `low` stands for.
inline char32_t SurrogatePairValue(char16_t high, char16_t low) {
  return static_cast<char32_t>(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
}

/// True for a character that could break a line or turn it around when
/// shown: the C1 controls U+0080..U+009F, U+2028, U+2029, U+202A..U+202E
/// and U+2066..U+2069.
inline bool IsLineControl(char16_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

/// True for "." and "..", the names a listing gives a directory itself and its parent.
inline bool IsDotName(std::u16string_view name) { return name == u"." || name == u".."; }

// ---------------------------------------------------------------- files

/// Sets the walk root, the directory a tree walk starts from: `directory`
/// as the walk names it ("" for the current directory, else ending in the
/// separator or not). It is opened once here, a link followed (the user
/// named it). Until ClearWalkRoot, every path that starts with the root's
/// text is resolved below it by FileExists, DirectoryExists,
/// RenameNoReplace and DirectoryListing::Open, so that no change of the
/// tree during the walk can lead them out of it:
/// - POSIX: from the root's handle, one directory at a time (openat2 with
///   RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, else openat with O_NOFOLLOW per
///   part); a symbolic link or ".." among the directories of the path makes
///   it name nothing (the tests say no, a listing or rename fails). A link
///   in the last part is still followed by the existence tests. Paths
///   longer than the system's path limit work like any other.
/// - Windows: a directory below the root is listed only when it is no
///   reparse point, and is kept open against renaming while it is listed.
/// Paths not below the root behave as without one. EntryExists resolves
/// below the root too (POSIX). When RenameNoReplace renames the root
/// itself, the root's text becomes the new name; that rename is made in the
/// root's parent, resolved once and checked to hold the root (POSIX: the
/// same device and inode as the root's ".."; a root named by a link: the
/// link there still leads to it), so that no change of the path above can
/// move the root into another folder or rename another folder's entry.
/// Returns false, and sets no root, when the directory cannot be opened. A
/// new call replaces the root; after the root renamed itself, a new root at
/// its old path is looked up in that same parent, no link followed (POSIX).
bool SetWalkRoot(const std::u16string& directory);
/// Forgets the walk root; paths are resolved as the system does.
void ClearWalkRoot();

// A name that holds a NUL names nothing: no call below passes it to the
// system, the tests say no, and opens, listings and renames fail.

/// File test: an existing entry that is not a directory.
bool FileExists(const std::u16string& name);

/// File test of an input text file (a rule or palette file): POSIX wants
/// a regular file, a link followed, so that a device, FIFO or socket counts
/// as missing; Windows: FileExists.
bool InputFileExists(const std::u16string& name);

/// Directory test: an existing directory, or a test that fails for any
/// reason other than "not found" or an invalid name (access denied counts
/// as existing).
bool DirectoryExists(const std::u16string& name);

/// Renames a file or directory; never replaces an existing entry and never
/// moves one into another directory. Returns false on any failure: the
/// target existing, or a target whose directory part differs from the
/// source's, or whose last part is ".", ".." or holds a NUL.
bool RenameNoReplace(const std::u16string& from, const std::u16string& to);

/// Whether RenameNoReplace(from, to) stays in one directory, as it must:
/// the same directory part, and a new last part that is not empty, "." or
/// "..", and holds no NUL. Asks nothing of the system.
bool RenameStaysInItsDirectory(const std::u16string& from, const std::u16string& to);

/// Existence test that follows no link: true when an entry of any kind (a
/// dangling link too) has this name, or when the test fails for any reason
/// other than "not found" or an invalid or too long name.
bool EntryExists(const std::u16string& name);

/// The same test, with what DirectoryExists would say of the name in
/// `isDirectory` (false when no entry has the name); on POSIX one system
/// call where the entry is not a link.
bool EntryExists(const std::u16string& name, bool& isDirectory);

/// The absolute form of a path; links are not resolved. POSIX: a relative
/// path joined to the current directory ("" gives the current directory);
/// Windows: GetFullPathNameW. False when it cannot be made.
bool AbsolutePath(const std::u16string& path, std::u16string& absolute);

/// The build: "linux" for every POSIX build, "win64" or "win32".
extern const char16_t* const kBuildName;

// Every file class below follows one rule for Open (OpenRead, Create) on a
// file that is open: it closes that file first, as Close does, and fails
// (returns false) when that close fails, leaving the file as Close left it.
// The destructor closes the file as Close does and gives it up either way.
// These classes and DirectoryListing hold their system object in impl_, so
// none of them can be copied.

/// What a line of output holds of the bytes of a POSIX name that are not
/// UTF-8 (held as U+DC80..U+DCFF, DecodeUtf8). Windows names are UTF-16:
/// a lone surrogate is always written as U+FFFD.
enum class NameBytes {
  Replaced,  ///< U+FFFD for each: the output is valid UTF-8 (console, log)
  Kept,      ///< each byte as itself, so that a line names the real file (file list)
};

/// An output text file: UTF-8 without BOM, CR LF line ends, written through
/// a 128-byte buffer of whole lines, so that every write ends at a line end
/// (a longer line is written in one write).
class OutputTextFile {
 public:
  OutputTextFile();
  ~OutputTextFile();
  /// Takes over other's file and buffer; other gets this one's, and closes
  /// them when it goes, so `file = OutputTextFile();` closes and resets.
  OutputTextFile& operator=(OutputTextFile&& other) noexcept;

  /// Appends to an existing file (cut at the first Ctrl-Z among its last
  /// 128 bytes) or creates a new one; `names` tells what its lines hold of
  /// the bytes of a name that are not UTF-8. Returns false on failure.
  bool Open(const std::u16string& name, NameBytes names = NameBytes::Replaced);
  /// Writes text and CR LF (POSIX: control characters as "?"). Throws
  /// IoError when the buffer cannot be written out, or the file is not open.
  void WriteLine(const std::u16string& text);
  /// Writes out the buffer and closes. Returns false on failure. When the
  /// buffer cannot be written out, the file stays open with its lines
  /// (IsOpen() stays true) so that a later Close tries again; a failure of
  /// the system's close itself leaves it closed.
  bool Close();
  bool IsOpen() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// An input text file in the ANSI code page: lines end at LF or CR LF, a
/// lone CR is dropped, Ctrl-Z ends the file, no BOM handling. A line is cut
/// after kMaxLineBytes bytes (the rest of it is skipped), so that memory
/// stays bounded for any file. POSIX opens only a regular file.
class InputTextFile {
 public:
  static constexpr std::size_t kMaxLineBytes = 65536;

  InputTextFile();
  ~InputTextFile();

  /// Opens an existing file for reading. Returns false on failure.
  bool Open(const std::u16string& name);
  /// True when no further line is left. Throws IoError (the file's name and
  /// the reason) on a read failure.
  bool AtEnd();
  /// The next line, converted from ANSI. Throws IoError on a read failure.
  std::u16string ReadLine();
  /// Returns false on failure; the file is closed either way.
  bool Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// A file of raw bytes.
class ByteFile {
 public:
  ByteFile();
  ~ByteFile();

  /// Opens an existing file for reading only (shared for reading and
  /// writing by others). Returns false on failure.
  bool OpenRead(const std::u16string& name);
  /// Creates a file or truncates an existing one, for writing (shared for
  /// reading and writing by others). Returns false on failure.
  bool Create(const std::u16string& name);
  /// Creates a file that does not exist yet, for writing (shared for
  /// reading); false when it exists. Nothing is buffered: each Write is
  /// handed to the system before it returns.
  bool CreateNew(const std::u16string& name);
  /// Moves the read and write position to a byte offset; false on failure.
  bool Seek(std::uint64_t position);
  /// The size in bytes; false on failure.
  bool Size(std::uint64_t& size);
  /// Reads exactly count bytes; false on failure or a short read.
  bool Read(std::uint8_t* data, std::size_t count);
  /// Writes exactly count bytes; false on failure or a short write.
  bool Write(const std::uint8_t* data, std::size_t count);
  /// Returns false on failure; the file is closed either way.
  bool Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------- whole files

/// A byte file that takes the place of a name only once it is complete.
/// Create makes a new file of its own in the folder of `name`; Commit
/// closes it and moves it over `name` (Windows: MoveFileExW with
/// MOVEFILE_REPLACE_EXISTING; POSIX: rename), replacing a file of that
/// name. A failed Commit, and a file given up before its Commit (the
/// destructor), remove the new file, so the file of that name stays as it
/// was. Where a new file cannot take the old one's place whole, Create
/// opens the old file and empties it, and the bytes are written into it:
/// an existing device (/dev/null, NUL); a file with other links; POSIX, a
/// file in a folder this user may not write, or whose owner, group or mode
/// a new file would not get; Windows, a folder where no temporary name
/// fits; and POSIX a symbolic link that leads to no file yet (the file is
/// created where it leads). POSIX: a new file that replaces a regular one
/// gets its permission bits; a regular file the user may not write is
/// neither replaced nor written (Windows: MoveFileExW refuses a read-only
/// file).
class ReplacingFile {
 public:
  ReplacingFile();
  ~ReplacingFile();

  /// Starts the new file. Returns false on failure (a missing folder, a
  /// folder that cannot be written); nothing is left behind then.
  bool Create(const std::u16string& name);
  /// Writes exactly count bytes; false on failure or a short write.
  bool Write(const std::uint8_t* data, std::size_t count);
  /// Closes the new file and puts it in place; false on failure.
  bool Commit();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// True when both names open the same existing file, by the file's
/// identity, not its spelling (POSIX: device and inode; Windows: volume
/// serial number and file index). False when either is missing.
bool SameFile(const std::u16string& a, const std::u16string& b);

/// Removes a file; false on failure.
bool RemoveFile(const std::u16string& name);

// ---------------------------------------------------------------- listing

struct DirEntry {
  std::u16string name;
  bool isDirectory = false;
  /// A directory that is a link (POSIX: a symbolic link to a directory;
  /// Windows: a name surrogate such as a junction): to be renamed, never
  /// entered.
  bool isLink = false;
};

/// Lists the entries of a directory that match a wildcard pattern, "." and
/// ".." included. The argument is the directory path followed by the
/// pattern (as FindFirstFileW takes it).
class DirectoryListing {
 public:
  DirectoryListing();
  ~DirectoryListing();

  /// Starts the listing, ending one under way first. Returns false when it
  /// cannot be started (missing directory, access denied).
  bool Open(const std::u16string& pathAndPattern);
  /// The next matching entry. False when there is none left, and also when
  /// reading the directory fails part way: the entries already returned
  /// stand, and the caller carries on as at the end. Failed() tells the two
  /// apart.
  bool Next(DirEntry& entry);
  /// True when the last Next returned false because reading the directory
  /// failed, not because the listing was complete.
  bool Failed() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// True when text holds a character that separates the parts of a path:
/// "/" on POSIX; "\\", "/" and ":" (a drive) on Windows. A file mask that
/// holds one would list another folder than the one it is applied in.
bool HoldsPathSeparator(const std::u16string& text);

/// True where a listing's pattern also matches 8.3 short names (Windows),
/// so that no other filter can stand in for it; false on POSIX, where the
/// listing itself filters by MatchesWildcard.
extern const bool kMasksMatchShortNames;

/// Windows wildcard matching as the POSIX listing applies it: "*" any run,
/// "?" one character, case-insensitive for ASCII and Latin-1 letters, "*.*"
/// matches every name, "*." matches names without a dot.
bool MatchesWildcard(const std::u16string& pattern, const std::u16string& name);

}  // namespace platform

#endif  // PLATFORM_PLATFORM_H
