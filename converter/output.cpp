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

void OpenLog() {
  if (output.log.IsOpen() || options.logFileName.empty() || !options.logging) return;
  if (output.log.Open(options.logFileName)) return;
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
