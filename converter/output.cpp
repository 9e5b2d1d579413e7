// The console and the log: every line goes to one of them.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

void WriteLine(const std::u16string& text) {
  if (!output.log.IsOpen() && options.logging) OpenLog();
  if (output.log.IsOpen() && options.logging) {
    output.log.WriteLine(text);
  } else {
    platform::ConsoleWriteLine(text);
  }
}

namespace {

// A log that is the screen file or the picture (under any spelling) would
// write text into it.
bool LogIsScreenOrPicture() {
  return platform::SameFile(options.logFileName, options.inFile) ||
         platform::SameFile(options.logFileName, options.outFile);
}

// Opens the log unless it is the screen or the picture. A log just created
// can turn out to be one of them only now, under another spelling of a name
// that did not exist yet: it is closed and removed again.
bool OpenSeparateLog() {
  if (LogIsScreenOrPicture()) return false;
  const bool existed = platform::FileExists(options.logFileName);
  if (!output.log.Open(options.logFileName)) return false;
  if (!LogIsScreenOrPicture()) return true;
  output.log.Close();
  if (!existed) platform::RemoveFile(options.logFileName);
  return false;
}

}  // namespace

void OpenLog() {
  if (output.log.IsOpen() || options.logFileName.empty() || !options.logging) return;
  if (OpenSeparateLog()) return;
  // Logging stays on, so the next line tries again.
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void CloseLog() {
  if (!output.log.IsOpen() || !options.logging) return;
  // A log whose buffer cannot be written out stays open; the close was its
  // last use anyway.
  if (output.log.Close()) return;
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

}  // namespace converter
