// Helpers shared by the test programs: scratch directories, byte files and
// running a built program as a child process.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh directory for one test case, under the system's temporary
/// folder. It is removed afterwards unless the test failed, so that a
/// failure can be inspected.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

/// The std::filesystem path of a UTF-16 name (lone surrogates U+DC80..U+DCFF
/// stand for single raw bytes on POSIX).
std::filesystem::path PathOf(const std::u16string& name);
/// The UTF-16 name of a path, as the platform layer takes it.
std::u16string NameOf(const std::filesystem::path& path);

struct ProcessResult {
  std::uint32_t exitCode = 0;
  std::string out;  ///< standard output, as bytes
  std::string err;  ///< standard error, as bytes
};

/// Runs the program `name` ("namescourer", "zxraster") that the build put
/// beside the test executable, with `args`, in `workDir`. Standard input is
/// empty; standard output and standard error are captured through files
/// kept outside `workDir`, or standard output goes to `stdoutTarget` when
/// that is not empty (for example "/dev/full").
ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir,
                         const std::filesystem::path& stdoutTarget = {});

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

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEST_SUPPORT_H
