// Running a built program as a child process, on Windows.
// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "tests/support/test_support.h"

namespace testsupport {
namespace {

// A child that hangs must not hang the whole test run.
constexpr DWORD kTimeoutMilliseconds = 120000;

std::filesystem::path ExeFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Quotes a word the way the programs' splitter reads it back: no escapes,
// so quoting is needed only for an empty word or one with a separator.
std::wstring Word(const std::wstring& text) {
  bool quote = text.empty();
  for (wchar_t c : text) quote = quote || c < 33;
  return quote ? L"\"" + text + L"\"" : text;
}

HANDLE OpenInheritable(const std::filesystem::path& file, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.bInheritHandle = TRUE;
  return CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The capture files live in their own folder, so that a test that lists
// workDir never sees them.
std::filesystem::path NewCaptureFolder() {
  static unsigned counter = 0;
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("zx-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace

ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir,
                         const std::filesystem::path& stdoutTarget) {
  ProcessResult result;
  std::filesystem::path program = ExeFolder() / (name + ".exe");
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  for (const std::u16string& arg : args) {
    if (arg.find(u'"') != std::u16string::npos) {
      ADD_FAILURE() << "an argument cannot hold a double quote: " << Narrow(arg);
      return result;
    }
    commandLine += L" " + Word(std::wstring(arg.begin(), arg.end()));
  }

  std::filesystem::path captures = NewCaptureFolder();
  std::filesystem::path outFile = stdoutTarget.empty() ? captures / "stdout" : stdoutTarget;
  std::filesystem::path errFile = captures / "stderr";
  HANDLE input = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  // Windows has no /dev/full: a file opened for reading only refuses every
  // write just the same.
  bool full = stdoutTarget == "/dev/full";
  HANDLE output = full ? OpenInheritable(captures / "full", GENERIC_READ, CREATE_ALWAYS)
                       : OpenInheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = OpenInheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  bool started =
      input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
      error != INVALID_HANDLE_VALUE &&
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     workDir.empty() ? nullptr : workDir.c_str(), &startup, &process) != FALSE;
  DWORD startError = GetLastError();
  for (HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  if (!started) {
    ADD_FAILURE() << "cannot start " << program.string() << " (error " << startError << ")";
  } else {
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, kTimeoutMilliseconds) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
      ADD_FAILURE() << name << " did not end within " << kTimeoutMilliseconds / 1000 << " s";
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    result.exitCode = exitCode;
    if (stdoutTarget.empty()) result.out = ReadBytes(outFile);
    result.err = ReadBytes(errFile);
  }
  std::error_code ignored;
  std::filesystem::remove_all(captures, ignored);
  return result;
}

}  // namespace testsupport
