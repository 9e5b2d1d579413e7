#include <cstdint>
#include <exception>
#include <new>

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
    converter::logHandle.Close();
    const char* kind = dynamic_cast<const platform::IoError*>(&error) ? "I/O error"
                       : dynamic_cast<const std::bad_alloc*>(&error)  ? "Out of memory"
                                                                      : "Error";
    platform::ReportUnexpectedError(kind, error.what());
    exitCode = 1;
  }
  platform::ExitProcess(exitCode);
}
