// A small program for the platform tests: writes each argument as one
// console line, or, for the argument "-e", reports an unexpected error.
// Exits with the number of lines written; a failed write is reported as
// an unexpected error with exit code 1.
// SPDX-License-Identifier: MIT
#include <cstdint>

#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::InitArguments(argc, argv);
  std::uint32_t lines = 0;
  try {
    for (const std::u16string& argument : platform::Arguments()) {
      if (argument == u"-e") {
        platform::ReportUnexpectedError("IoError", "caf\xC3\xA9 closed");
        platform::ExitProcess(1);
      }
      platform::ConsoleWriteLine(argument);
      ++lines;
    }
    platform::ConsoleFlush();
  } catch (const platform::IoError& error) {
    platform::ReportUnexpectedError("IoError", error.what());
    platform::ExitProcess(1);
  }
  platform::ExitProcess(lines);
}
