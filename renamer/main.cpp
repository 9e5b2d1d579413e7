#include <new>

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
    const char* kind = dynamic_cast<const platform::IoError*>(&error) ? "I/O error"
                       : dynamic_cast<const std::bad_alloc*>(&error)  ? "Out of memory"
                                                                      : "Error";
    platform::ReportUnexpectedError(kind, error.what());
    exitCode = 1;
  }
  platform::ExitProcess(exitCode);
}
