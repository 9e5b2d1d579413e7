// The console, the log and the file list: opening, writing and closing.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

void WriteLine(const std::u16string& text) {
  if (!output.logOpen && UsesLog()) OpenLog();
  platform::ConsoleWriteLine(text);
  if (output.logOpen && UsesLog()) output.log.WriteLine(text);
}

void OpenLog() {
  if (output.logOpen || options.logFileName.empty()) return;
  if (output.log.Open(options.logFileName)) {
    output.logOpen = true;
    return;
  }
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void CloseLog() {
  if (!output.logOpen) return;
  if (output.log.Close()) {
    output.logOpen = false;
    return;
  }
  // The flag stays set: the close was the log's last use anyway.
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void OpenFileList() {
  if (output.fileListOpen || options.fileListName.empty()) return;
  if (output.fileList.Open(options.fileListName)) {
    output.fileListOpen = true;
    return;
  }
  if (ReportsDetails()) WriteLine(u"ERR_OPEN_FILELIST: " + options.fileListName + u".");
  ++counters.ioErrors;
}

void AddToFileList(const std::u16string& path) {
  if (output.fileListOpen) output.fileList.WriteLine(path);
}

void CloseFileList() {
  if (!output.fileListOpen) return;
  if (output.fileList.Close()) {
    output.fileListOpen = false;
    return;
  }
  if (ReportsDetails()) WriteLine(u"ERR_CLOSE_FILELIST: " + options.fileListName + u".");
  ++counters.ioErrors;
}

}  // namespace renamer
