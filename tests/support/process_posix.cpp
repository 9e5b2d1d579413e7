// Runs a built program as a child process (POSIX), through the child
// runner of the fault tests without any fault.
// SPDX-License-Identifier: MIT
#include "tests/support/child_process.h"

namespace testsupport {

ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const std::filesystem::path& workDir,
                         const std::filesystem::path& stdoutTarget) {
  ChildOptions options;
  options.stdoutTarget = stdoutTarget;
  return RunChild(name, args, workDir, options);
}

}  // namespace testsupport
