// Starts a built program with a file-size limit or as user nobody, and
// collects its output through pipes, which no file-size limit applies to.
// SPDX-License-Identifier: MIT
#include "tests/support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "platform/platform.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

struct Nobody {
  bool found = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

Nobody LookUpNobody() {
  Nobody nobody;
  if (const passwd* entry = ::getpwnam("nobody")) {
    nobody.found = true;
    nobody.uid = entry->pw_uid;
    nobody.gid = entry->pw_gid;
  }
  return nobody;
}

bool DropToNobody(const Nobody& nobody) {
  return nobody.found && ::setgroups(0, nullptr) == 0 && ::setgid(nobody.gid) == 0 &&
         ::setuid(nobody.uid) == 0;
}

// Only async-signal-safe calls between fork and exec: the test may have a
// thread of its own.
[[noreturn]] void ChildFails(const char* what) {
  const char prefix[] = "child set-up failed: ";
  if (::write(2, prefix, sizeof prefix - 1) < 0 || ::write(2, what, std::strlen(what)) < 0) {
    ::_exit(127);
  }
  ::_exit(127);
}

fs::path TestBinaryDir() {
  char self[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length < 0) throw std::runtime_error("readlink(/proc/self/exe) failed");
  self[length] = '\0';
  return fs::path(self).parent_path();
}

// The build folder may lie where user nobody cannot go (a clone under
// /root); such runs start copies kept in a folder every user can reach.
struct ProgramCopies {
  fs::path folder;
  ~ProgramCopies() {
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
  }
};

fs::path ProgramPath(const std::string& name, bool reachableByAll) {
  fs::path original = TestBinaryDir() / name;
  if (!reachableByAll) return original;
  static ProgramCopies copies;
  if (copies.folder.empty()) {
    copies.folder = fs::path("/tmp") / ("zxfault-bin-" + std::to_string(::getpid()));
    fs::create_directories(copies.folder);
    fs::permissions(copies.folder, fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
  }
  fs::path copy = copies.folder / name;
  if (!fs::exists(copy)) {
    fs::copy_file(original, copy);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  }
  return copy;
}

// Reads what a non-blocking pipe holds; closes it at its end.
void Drain(int& fd, std::string& into) {
  char chunk[65536];
  while (fd >= 0) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      into.append(chunk, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      ::close(fd);
      fd = -1;
    }
  }
}

}  // namespace

Child StartChild(const std::string& name, const std::vector<std::u16string>& args,
                 const fs::path& workDir, const ChildOptions& options) {
  const bool dropPrivileges = options.unprivileged && ::geteuid() == 0;
  const Nobody nobody = dropPrivileges ? LookUpNobody() : Nobody();
  if (dropPrivileges && !nobody.found) throw std::runtime_error("there is no user nobody");

  std::vector<std::string> argv8{ProgramPath(name, options.unprivileged).string()};
  argv8.reserve(args.size() + 1);
  for (const auto& a : args) argv8.push_back(platform::EncodeUtf8(a));
  std::vector<char*> argv;
  argv.reserve(argv8.size() + 1);
  for (auto& a : argv8) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string target = options.stdoutTarget.string();
  const std::string dir = workDir.string();

  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
  if ((target.empty() && ::pipe2(outPipe, O_CLOEXEC) != 0) || ::pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  // Closed before the fork, so that no process ever holds the reader.
  if (options.closedStdout && target.empty()) {
    ::close(outPipe[0]);
    outPipe[0] = -1;
  }

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int out = target.empty() ? outPipe[1] : ::open(target.c_str(), O_WRONLY | O_CREAT, 0644);
    if (in < 0 || out < 0) ChildFails("open");
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(errPipe[1], 2) < 0) ChildFails("dup2");
    // The program must guard itself against these; the test's own
    // dispositions must not do it for the program.
    ::signal(SIGXFSZ, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    if (options.fileSizeLimit != 0) {
      const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ChildFails("setrlimit");
    }
    if (dropPrivileges && !DropToNobody(nobody)) ChildFails("switching to user nobody");
    if (::chdir(dir.c_str()) != 0) ChildFails("chdir");
    ::execv(argv[0], argv.data());
    ChildFails("execv");
  }

  Child child;
  child.pid = pid;
  if (target.empty()) ::close(outPipe[1]);
  if (outPipe[0] >= 0) {
    child.outPipe = outPipe[0];
    ::fcntl(child.outPipe, F_SETFL, O_NONBLOCK);
  }
  ::close(errPipe[1]);
  child.errPipe = errPipe[0];
  ::fcntl(child.errPipe, F_SETFL, O_NONBLOCK);
  return child;
}

bool ChildFinished(Child& child) {
  Drain(child.outPipe, child.out);
  Drain(child.errPipe, child.err);
  if (!child.exited && ::waitpid(child.pid, &child.status, WNOHANG) == child.pid) {
    child.exited = true;
  }
  return child.exited && child.outPipe < 0 && child.errPipe < 0;
}

ProcessResult FinishChild(Child& child) {
  while (child.outPipe >= 0 || child.errPipe >= 0) {
    pollfd fds[2] = {{child.outPipe, POLLIN, 0}, {child.errPipe, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    Drain(child.outPipe, child.out);
    Drain(child.errPipe, child.err);
  }
  while (!child.exited) {
    if (::waitpid(child.pid, &child.status, 0) == child.pid)
      child.exited = true;
    else if (errno != EINTR)
      break;
  }
  ProcessResult result;
  if (WIFEXITED(child.status))
    result.exitCode = static_cast<std::uint32_t>(WEXITSTATUS(child.status));
  if (WIFSIGNALED(child.status)) {
    result.signal = WTERMSIG(child.status);
    result.exitCode = 128 + static_cast<std::uint32_t>(result.signal);
  }
  result.out = std::move(child.out);
  result.err = std::move(child.err);
  return result;
}

ProcessResult RunChild(const std::string& name, const std::vector<std::u16string>& args,
                       const fs::path& workDir, const ChildOptions& options) {
  Child child = StartChild(name, args, workDir, options);
  return FinishChild(child);
}

bool RunUnprivileged(void (*step)(const fs::path& dir), const fs::path& dir) {
  const bool root = ::geteuid() == 0;
  const Nobody nobody = root ? LookUpNobody() : Nobody();
  if (root && !nobody.found) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (root && !DropToNobody(nobody)) ::_exit(2);
    try {
      step(dir);
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) != pid) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PermissionsApply(std::string& reason) {
  const bool root = ::geteuid() == 0;
  const Nobody nobody = root ? LookUpNobody() : Nobody();
  if (root && !nobody.found) {
    reason = "the tests run as root and there is no user nobody to run the programs as";
    return false;
  }
  const std::string probe = "/tmp/zxfault-probe-" + std::to_string(::getpid());
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::fchmod(fd, 0) != 0) {
    reason = "cannot create a probe file in /tmp";
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::close(fd);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (root && !DropToNobody(nobody)) ::_exit(2);
    int opened = ::open(probe.c_str(), O_RDONLY);
    ::_exit(opened < 0 && errno == EACCES ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::unlink(probe.c_str());
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
  if (code == 2) reason = "switching to user nobody is refused (no CAP_SETUID here)";
  if (code == 1) reason = "a mode-000 file can still be read: file modes do not apply here";
  if (code == 3) reason = "the permission probe did not finish";
  return code == 0;
}

}  // namespace testsupport
