// The command line: options -b -d -f -r -l -v -n -w -j -u -p into RenamerOptions.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

void ParseCommandLine() {
  const RenamerOptions defaults;
  options.workDir.clear();
  options.fileMask = defaults.fileMask;
  options.ruleFileName = defaults.ruleFileName;
  options.includeSubdirs = defaults.includeSubdirs;

  std::u16string debugText;
  platform::FindOptionValue(u"-b", debugText);
  if (!debugText.empty() && debugText[0] == u'1') options.debugMode = true;
  std::u16string windowsText;
  platform::FindOptionValue(u"-w", windowsText);
  if (!windowsText.empty() && windowsText[0] == u'1') options.windowsNames = true;
  std::u16string previewText;
  platform::FindOptionValue(u"-p", previewText);
  if (!previewText.empty() && previewText[0] == u'1') options.previewMode = true;

  std::u16string levelText = u"0";
  platform::FindOptionValue(u"-d", options.workDir);
  platform::FindOptionValue(u"-f", options.fileMask);
  platform::FindOptionValue(u"-r", options.ruleFileName);
  platform::FindOptionValue(u"-l", options.logFileName);
  platform::FindOptionValue(u"-v", levelText);
  platform::FindOptionValue(u"-n", options.fileListName);
  platform::FindOptionValue(u"-j", options.journalFileName);
  platform::FindOptionValue(u"-u", options.undoFileName);

  char16_t level = levelText[0];
  options.logLevel = level >= u'0' && level <= u'9' ? level - u'0' : 1;

  if (!options.workDir.empty() && options.workDir[0] == u'-') {
    options.workDir.erase(0, 1);
    options.includeSubdirs = false;
  }
  if (!options.workDir.empty() && options.workDir.back() != platform::kPathSeparator) {
    options.workDir += platform::kPathSeparator;
  }
}

}  // namespace renamer
