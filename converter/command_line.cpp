// The command line: options -i -o -l -p -c into ConverterOptions.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

void ParseCommandLine() {
  options.inFile.clear();
  options.outFile.clear();
  options.logFileName.clear();
  options.palFile.clear();
  options.colorFormat.clear();
  platform::FindOptionValue(u"-i", options.inFile);
  platform::FindOptionValue(u"-o", options.outFile);
  platform::FindOptionValue(u"-l", options.logFileName);
  platform::FindOptionValue(u"-p", options.palFile);
  platform::FindOptionValue(u"-c", options.colorFormat);
}

}  // namespace converter
