// namescourer: the process entry point. An exception that escapes the run
// ends it with one line on standard error and exit code 1.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <exception>

#include "renamer/renamer.h"

int main(int argc, char** argv) {
  platform::InitArguments(argc, argv);
  std::uint32_t exitCode = 1;
  try {
    renamer::ResetRun();
    exitCode = renamer::RunRenamer();
    platform::ConsoleFlush();
  } catch (const std::exception& error) {
    // What the log and the file list still buffer is kept, where the disk
    // takes it.
    renamer::output.log.Close();
    renamer::output.fileList.Close();
    renamer::journal.file.Close();
    platform::ReportUnexpectedError(platform::UnexpectedErrorKind(error), error.what());
    exitCode = 1;
  }
  platform::ExitProcess(exitCode);
}
