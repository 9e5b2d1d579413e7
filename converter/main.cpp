// zxraster: the process entry point. An exception that escapes the run
// ends it with one line on standard error and exit code 1.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <exception>

#include "converter/converter.h"

int main(int argc, char** argv) {
  platform::InitArguments(argc, argv);
  std::uint32_t exitCode = 1;
  try {
    converter::ResetRun();
    exitCode = converter::RunConverter();
    platform::ConsoleFlush();
  } catch (const std::exception& error) {
    // The lines the log still buffers are kept, where the disk takes them.
    converter::output.log.Close();
    platform::ReportUnexpectedError(platform::UnexpectedErrorKind(error), error.what());
    exitCode = 1;
  }
  platform::ExitProcess(exitCode);
}
