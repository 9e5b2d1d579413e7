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

void OpenLog() {
  if (logHandle.IsOpen() || options.logFile.empty() || !options.logging) return;
  if (logHandle.Open(options.logFile)) return;
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
