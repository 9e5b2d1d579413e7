// Runs a built program as a child process (POSIX).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace testsupport {

namespace fs = std::filesystem;

ProcessResult RunProgram(const std::string& name, const std::vector<std::u16string>& args,
                         const fs::path& workDir, const fs::path& stdoutTarget) {
  char self[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length < 0) throw std::runtime_error("readlink(/proc/self/exe) failed");
  self[length] = '\0';
  fs::path program = fs::path(self).parent_path() / name;

  // Capture files live beside the scratch directory, never inside it.
  static int serial = 0;
  fs::path capture = fs::temp_directory_path() /
                     ("zxcapture-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
  fs::path outFile = stdoutTarget.empty() ? fs::path(capture.string() + ".out") : stdoutTarget;
  fs::path errFile = capture.string() + ".err";

  std::vector<std::string> argv8{program.string()};
  for (const auto& a : args) argv8.push_back(platform::EncodeUtf8(a));
  std::vector<char*> argv;
  argv.reserve(argv8.size() + 1);
  for (auto& a : argv8) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(workDir.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ProcessResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (stdoutTarget.empty()) result.out = ReadBytes(outFile);
  result.err = ReadBytes(errFile);
  std::error_code ignored;
  fs::remove(capture.string() + ".out", ignored);
  fs::remove(errFile, ignored);
  return result;
}

}  // namespace testsupport
