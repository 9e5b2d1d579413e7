// The driver's flow: usage, or one conversion from settings to error summary.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "converter/converter.h"

namespace converter {

ConverterOptions options;
ConverterState state;
ZxScreen screen;
BmpBuffers bmp;

void ResetRun() {
  options = ConverterOptions();
  state = ConverterState();
  logHandle = platform::OutputTextFile();
  std::memset(&screen, 0, sizeof screen);
  std::memset(&bmp, 0, sizeof bmp);
  ResetPalette();
}

std::uint32_t RunConverter() {
  // ResetRun has put the flags and the error count to their start values.
  ParseCommandLine();

  if (options.inFile.empty()) {
    // A usage run names no file to convert, so it never creates the log.
    PrintSettings();
    PrintUsage();
  } else {
    if (options.colorFormat.empty()) options.colorFormat.assign(1, u'0');
    if (!options.logFile.empty()) options.logging = true;
    // Silent here: a bad picture option is reported after the settings.
    CheckPictureOptions(false);
    if (options.outFile.empty())
      options.outFile = options.inFile + (options.png ? u".png" : u".bmp");
    if (options.colorFormat[0] != u'0') options.idxColor = true;
    ResetPalette();
    PrintSettings();
    const bool pictureOptionsGood = CheckPictureOptions(true);
    if (!options.palFile.empty()) LoadPaletteFile();
    ReadScreenFile();
    if (state.screenLoaded && !pictureOptionsGood) {
      // No picture: the option lines above say why.
    } else if (state.screenLoaded && options.png) {
      WritePng();
    } else if (state.screenLoaded && (options.scale != 1 || options.flashPhase != 0)) {
      WriteScaledBmp();
    } else if (state.screenLoaded) {
      if (options.idxColor) {
        WriteIndexedBmp();
      } else {
        WriteTrueColorBmp();
      }
    }
    PrintErrorSummary();
  }
  CloseLog();
  return state.ioErrors;
}

}  // namespace converter
