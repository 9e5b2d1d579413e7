// The command line: options -b -d -f -r -l -v -n into RenamerOptions.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

std::u16string ArgumentAt(std::uint32_t i) {
  const auto& args = platform::Arguments();
  return i >= 1 && i <= args.size() ? args[i - 1] : std::u16string();
}

void FindOptionValue(const std::u16string& token, std::u16string& target) {
  const auto& args = platform::Arguments();
  std::u16string value;
  for (std::uint32_t i = 1; i <= args.size(); ++i) {
    if (args[i - 1] == token) {
      value = ArgumentAt(i + 1);
      break;
    }
  }
  if (!value.empty()) target = value;
}

void ParseCommandLine() {
  const RenamerOptions defaults;
  options.workDir.clear();
  options.fileMask = defaults.fileMask;
  options.ruleFileName = defaults.ruleFileName;
  options.includeSubdirs = true;

  std::u16string debugText;
  FindOptionValue(u"-b", debugText);
  if (!debugText.empty() && debugText[0] == u'1') options.debugMode = true;
  std::u16string windowsText;
  FindOptionValue(u"-w", windowsText);
  if (!windowsText.empty() && windowsText[0] == u'1') options.windowsNames = true;

  std::u16string levelText = u"0";
  FindOptionValue(u"-d", options.workDir);
  FindOptionValue(u"-f", options.fileMask);
  FindOptionValue(u"-r", options.ruleFileName);
  FindOptionValue(u"-l", options.logFileName);
  FindOptionValue(u"-v", levelText);
  FindOptionValue(u"-n", options.fileListName);

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
