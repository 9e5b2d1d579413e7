// The console and the log: every line goes to one of them.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

platform::OutputTextFile logHandle;

void WriteLine(const std::u16string& text) {
  if (!state.logOpen && options.logging) OpenLog();
  if (state.logOpen && options.logging) {
    logHandle.WriteLine(text);
  } else {
    platform::ConsoleWriteLine(text);
  }
}

void OpenLog() {
  if (state.logOpen || options.logFile.empty() || !options.logging) return;
  if (logHandle.Open(options.logFile)) {
    state.logOpen = true;
    return;
  }
  // Logging stays on, so the next line tries again.
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFile + u".");
  ++state.ioErrors;
}

void CloseLog() {
  if (!state.logOpen || !options.logging) return;
  if (logHandle.Close()) {
    state.logOpen = false;
    return;
  }
  // The flag stays set: the close was the log's last use anyway.
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFile + u".");
  ++state.ioErrors;
}

}  // namespace converter
