// The records of a run and the driver's flow: usage, or one conversion from
// settings to error summary.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "converter/converter.h"

namespace converter {

ConverterOptions options;
ConverterCounters counters;
ConverterOutput output;
ZxScreen screen;
ScreenExtras screenExtras;
BmpBuffers bmp;
Palette16 ActivePalette;

void ResetRun() {
  options = ConverterOptions();
  counters = ConverterCounters();
  output = ConverterOutput();
  std::memset(&screen, 0, sizeof screen);
  std::memset(&screenExtras, 0, sizeof screenExtras);
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
    if (!options.logFileName.empty()) options.logging = true;
    // Silent here: a bad picture option is reported after the settings.
    CheckPictureOptions(false);
    ChooseScreenFormat();
    if (options.outFile.empty()) {
      options.outFile = options.inFile + PictureExtension(options.format);
    }
    if (options.colorFormat[0] != u'0') options.idxColor = true;
    ResetPalette();
    PrintSettings();
    const bool pictureOptionsGood = CheckPictureOptions(true);
    // A ULAplus screen brings its own palette; the settings say -p is ignored.
    if (!options.palFile.empty() && FormatUsesPalette(options.screenFormat)) LoadPaletteFile();
    // A bad picture option means no picture; its line above says why.
    if (ReadScreenFile() && pictureOptionsGood) WritePicture();
    PrintErrorSummary();
  }
  CloseLog();
  return counters.ioErrors;
}

}  // namespace converter
