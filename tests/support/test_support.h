// Helpers shared by the test programs: scratch directories, byte files,
// running a built program as a child process, and reading what it printed.
// What each program prints is in reports.h.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh directory for one test case. It is removed afterwards, with the
/// modes of its entries opened up first, unless the test failed, so that a
/// failure can be inspected.
class ScratchDir {
 public:
  /// Who must reach it: the test's own user (under the system's temporary
  /// folder), or every user, for a program run as user nobody (under /tmp,
  /// mode 0777).
  enum class Reach { kOwner, kEveryUser };

  explicit ScratchDir(Reach reach = Reach::kOwner);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

 private:
  std::filesystem::path path_;
};

/// Sets the mode bits of every entry below `root` (root included): 0777 for
/// directories, 0666 for files, so that any user can change them all.
void OpenUp(const std::filesystem::path& root);

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

/// The std::filesystem path of a UTF-16 name (lone surrogates U+DC80..U+DCFF
/// stand for single raw bytes on POSIX).
std::filesystem::path PathOf(const std::u16string& name);
/// The UTF-16 name of a path, as the platform layer takes it.
std::u16string NameOf(const std::filesystem::path& path);

/// How a child process ended.
struct ProcessResult {
  std::uint32_t exitCode = 0;  ///< a killed program reads 128 + signal, as a shell reports it
  int signal = 0;              ///< the signal that killed it (POSIX), or 0
  std::string out;             ///< standard output, as bytes
  std::string err;             ///< standard error, as bytes
};

/// Runs the program `name` ("namescourer", "zxraster") that the build put
/// beside the test executable, with `args`, in `workDir`. Standard input is
/// empty; standard output and standard error are captured through files
/// kept outside `workDir`, or standard output goes to `stdoutTarget` when
/// that is not empty (for example "/dev/full").
ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir,
                         const std::filesystem::path& stdoutTarget = {});

/// A run whose standard error must stay empty: how it ended and its console
/// lines.
struct ConsoleRun {
  std::uint32_t exitCode = 0;
  std::vector<std::u16string> console;
};

/// RunProgram, with an expectation that nothing reaches standard error.
ConsoleRun RunForConsole(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir);

/// Redirected console output split into lines: decoded from the ANSI code
/// page (Windows) or UTF-8 (POSIX), split at CR LF (Windows) or LF (POSIX).
/// A missing final line end is reported as a last line "<no line end>".
std::vector<std::u16string> ConsoleLines(const std::string& out);

/// The same, for a log or file list: UTF-8, CR LF on every platform.
std::vector<std::u16string> Utf8Lines(const std::string& bytes);

/// "\" on Windows, "/" on POSIX.
std::u16string Sep();

/// UTF-16 from UTF-8 source text, for readable expectations.
std::u16string U(const std::string& utf8);
/// UTF-8 of UTF-16, for gtest messages.
std::string Narrow(const std::u16string& text);

/// A snapshot of a tree: every entry below its root by its path relative to
/// the root, with "/" between names on every system (each name as the system
/// holds it on POSIX, its UTF-8 on Windows), and what it holds: a file's
/// content, "<dir>" for a directory, "<link>" for a symbolic link.
using Tree = std::map<std::string, std::string>;

/// The snapshot of everything below `root`.
Tree TreeBelow(const std::filesystem::path& root);

/// Only the files of `tree`: no directory, no link.
Tree FilesOf(const Tree& tree);

/// The contents of the files of `tree`, sorted: the multiset that no run may
/// change.
std::vector<std::string> FileContents(const Tree& tree);

/// The number after `label` on the first line that starts with it; -1 when
/// there is no such line.
std::int64_t SummaryValue(const std::vector<std::u16string>& lines, const std::u16string& label);

/// How many lines start with `prefix`.
std::size_t CountStartingWith(const std::vector<std::u16string>& lines,
                              const std::u16string& prefix);

/// True when `lines` holds `line`.
bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& line);

/// `groups` one after the other.
std::vector<std::u16string> Concat(std::initializer_list<std::vector<std::u16string>> groups);

/// Each of `lines` after a line `message`: the console of a run whose log
/// cannot be opened.
std::vector<std::u16string> EachAfter(const std::u16string& message,
                                      const std::vector<std::u16string>& lines);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEST_SUPPORT_H
