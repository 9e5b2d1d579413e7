// A small program for the platform tests: writes each argument as one
// console line, or, for the argument "-e", reports an unexpected error.
// Exits with the number of lines written.
#include <cstdint>

#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::InitArguments(argc, argv);
  std::uint32_t lines = 0;
  for (const std::u16string& argument : platform::Arguments()) {
    if (argument == u"-e") {
      platform::ReportUnexpectedError("IoError", "caf\xC3\xA9 closed");
      platform::ExitProcess(1);
    }
    platform::ConsoleWriteLine(argument);
    ++lines;
  }
  platform::ConsoleFlush();
  platform::ExitProcess(lines);
}
