// The console and the log: every line goes to one of them.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

platform::OutputTextFile logHandle;

void WriteLine(const std::u16string& text) {
  if (!logHandle.IsOpen() && options.logging) OpenLog();
  if (logHandle.IsOpen() && options.logging) {
    logHandle.WriteLine(text);
  } else {
    platform::ConsoleWriteLine(text);
  }
}

namespace {

// A log that is the screen file or the picture (under any spelling) would
// write text into it.
bool LogIsScreenOrPicture() {
  return platform::SameFile(options.logFile, options.inFile) ||
         platform::SameFile(options.logFile, options.outFile);
}

// Opens the log unless it is the screen or the picture. A log just created
// can turn out to be one of them only now, under another spelling of a name
// that did not exist yet: it is closed and removed again.
bool OpenSeparateLog() {
  if (LogIsScreenOrPicture()) return false;
  const bool existed = platform::FileExists(options.logFile);
  if (!logHandle.Open(options.logFile)) return false;
  if (!LogIsScreenOrPicture()) return true;
  logHandle.Close();
  if (!existed) platform::RemoveFile(options.logFile);
  return false;
}

}  // namespace

void OpenLog() {
  if (logHandle.IsOpen() || options.logFile.empty() || !options.logging) return;
  if (OpenSeparateLog()) return;
  // Logging stays on, so the next line tries again.
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFile + u".");
  ++state.ioErrors;
}

void CloseLog() {
  if (!logHandle.IsOpen() || !options.logging) return;
  // A log whose buffer cannot be written out stays open; the close was its
  // last use anyway.
  if (logHandle.Close()) return;
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFile + u".");
  ++state.ioErrors;
}

}  // namespace converter
