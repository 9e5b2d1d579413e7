// Running a built program under injected faults (POSIX only): a file-size
// limit, an unprivileged user, a second process working on the same tree
// while the program runs.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_CHILD_PROCESS_H
#define TESTS_SUPPORT_CHILD_PROCESS_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace testsupport {

/// How a child is started.
struct ChildOptions {
  std::filesystem::path stdoutTarget;  ///< empty: captured through a pipe
  std::uint64_t fileSizeLimit = 0;     ///< RLIMIT_FSIZE in bytes; 0: no limit
  bool unprivileged = false;           ///< as user nobody when the test runs as root
  bool closedStdout = false;           ///< standard output is a pipe without a reader
};

/// A started child and what it has written so far.
struct Child {
  int pid = -1;
  int outPipe = -1;  ///< -1 once at its end, or when stdout goes to a target
  int errPipe = -1;
  std::string out;  ///< standard output, as bytes
  std::string err;  ///< standard error, as bytes
  bool exited = false;
  int status = 0;  ///< the wait status, once exited
};

/// Starts the program `name` that the build put beside the test executable,
/// with `args`, in `workDir`; standard input is empty. Throws
/// std::runtime_error when the child cannot be set up.
Child StartChild(const std::string& name, const std::vector<std::u16string>& args,
                 const std::filesystem::path& workDir, const ChildOptions& options = {});

/// Reads what the child has written so far without blocking; true once it
/// has ended and both pipes are at their end.
bool ChildFinished(Child& child);

/// Waits for the child's end and collects its output.
ProcessResult FinishChild(Child& child);

/// StartChild and FinishChild in one.
ProcessResult RunChild(const std::string& name, const std::vector<std::u16string>& args,
                       const std::filesystem::path& workDir, const ChildOptions& options = {});

/// Runs `step` on `dir` in a forked process, as user nobody when the test
/// runs as root (an attacker who may change only what every user may), and
/// waits for it. False when the step threw, or the process could not be
/// set up.
bool RunUnprivileged(void (*step)(const std::filesystem::path& dir),
                     const std::filesystem::path& dir);

/// True when a child started with `unprivileged` is refused by file modes:
/// as root, user nobody exists and can be switched to; otherwise the test's
/// own user is refused a mode-000 file. Otherwise false, with the reason.
bool PermissionsApply(std::string& reason);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H
