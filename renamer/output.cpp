// The console, the log and the file list: opening, writing and closing.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

void WriteLine(const std::u16string& text) {
  if (!output.log.IsOpen() && UsesLog()) OpenLog();
  platform::ConsoleWriteLine(text);
  if (output.log.IsOpen() && UsesLog()) output.log.WriteLine(text);
}

void OpenLog() {
  if (output.log.IsOpen() || options.logFileName.empty()) return;
  if (output.log.Open(options.logFileName)) return;
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void CloseLog() {
  if (!output.log.IsOpen()) return;
  // A log whose buffer cannot be written out stays open; the close was its
  // last use anyway.
  if (output.log.Close()) return;
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void OpenFileList() {
  if (output.fileList.IsOpen() || options.fileListName.empty()) return;
  if (output.fileList.Open(options.fileListName, platform::NameBytes::Kept)) return;
  if (ReportsDetails()) WriteLine(u"ERR_OPEN_FILELIST: " + options.fileListName + u".");
  ++counters.ioErrors;
}

void AddToFileList(const std::u16string& path) {
  if (output.fileList.IsOpen()) output.fileList.WriteLine(path);
}

void CloseFileList() {
  if (!output.fileList.IsOpen()) return;
  if (output.fileList.Close()) return;
  if (ReportsDetails()) WriteLine(u"ERR_CLOSE_FILELIST: " + options.fileListName + u".");
  ++counters.ioErrors;
}

}  // namespace renamer
