// The command line: options -i -o -l -p -c into ConverterOptions.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

std::u16string ArgOrEmpty(std::uint32_t i) {
  if (i == 0 || i > state.argCount) return std::u16string();
  return platform::Arguments()[i - 1];
}

void FindOptionValue(const std::u16string& option, std::u16string& field) {
  std::u16string value;
  for (std::uint32_t k = 1; k <= state.argCount; ++k) {
    if (ArgOrEmpty(k) == option) {
      value = ArgOrEmpty(k + 1);
      break;
    }
  }
  if (!value.empty()) field = value;
}

void ParseCommandLine() {
  options.inFile.clear();
  options.outFile.clear();
  options.logFile.clear();
  options.palFile.clear();
  options.colorFormat.clear();
  state.argCount = static_cast<std::uint32_t>(platform::Arguments().size());
  FindOptionValue(u"-i", options.inFile);
  FindOptionValue(u"-o", options.outFile);
  FindOptionValue(u"-l", options.logFile);
  FindOptionValue(u"-p", options.palFile);
  FindOptionValue(u"-c", options.colorFormat);
}

}  // namespace converter
