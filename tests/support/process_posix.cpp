// Runs a built program as a child process (POSIX), through the child
// runner of the fault tests without any fault.
// SPDX-License-Identifier: MIT
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

namespace testsupport {

ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir,
                         const std::filesystem::path& stdoutTarget) {
  ChildOptions options;
  options.stdoutTarget = stdoutTarget;
  ChildResult child = RunChild(name, args, workDir, options);
  ProcessResult result;
  // A killed program reads as the shell reports it.
  result.exitCode =
      child.signal != 0 ? 128 + static_cast<std::uint32_t>(child.signal) : child.exitCode;
  result.out = std::move(child.out);
  result.err = std::move(child.err);
  return result;
}

}  // namespace testsupport
