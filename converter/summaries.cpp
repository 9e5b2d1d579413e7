// The settings summary, the usage text and the error summary.
// SPDX-License-Identifier: MIT
#include <string>

#include "converter/converter.h"

namespace converter {

namespace {

const char16_t kRule[] = u"----------";

// A picture option as given, or its default when it has no value.
std::u16string OrDefault(const std::u16string& value, const char16_t* fallback) {
  return value.empty() ? std::u16string(fallback) : value;
}

}  // namespace

std::u16string YesNo(bool flag) { return flag ? u"yes" : u"no"; }

void PrintSettings() {
  WriteLine(u"  In File: " + options.inFile);
  WriteLine(u"  OutFile: " + options.outFile);
  WriteLine(u"  LogFile: " + options.logFileName);
  WriteLine(u" Pal.File: " + options.palFile);
  WriteLine(u"  Logging: " + YesNo(options.logging));
  WriteLine(u"Idx Color: " + YesNo(options.idxColor));
  WriteLine(u"TrueColor: " + YesNo(!options.idxColor));
  if (PictureOptionsGiven()) {
    WriteLine(u"   Format: " + OrDefault(options.fileFormat, u"bmp"));
    WriteLine(u"    Scale: " + OrDefault(options.scaleText, u"1"));
    WriteLine(u"    Flash: " + OrDefault(options.flashText, u"0"));
  }
  if (!options.screenText.empty()) {
    // The format as read: with auto, the one the file's size chose.
    WriteLine(u"   Screen: " + (options.autoFormat
                                    ? ScreenFormatName(options.screenFormat) + u" (auto)"
                                    : options.screenText));
    if (!options.palFile.empty() && !FormatUsesPalette(options.screenFormat)) {
      WriteLine(u"  Palette: the screen's own; -p ignored");
    }
  }
  WriteLine(kRule);
}

void PrintUsage() {
  // Kept on purpose (docs/ARCHITECTURE.md): "Filenme".
  static const char16_t* const kUsage[] = {
      u"",
      u"  Usage: zxraster.exe -i Filename -o Filename -l Filename -p Filenme -c color",
      u"      -i [Input ZX screen filename] (file.scr)",
      u"      -o [Output image filename] (file.bmp)",
      u"      -l [Log filename] (file.log,UTF) If not set, then logging to console",
      u"      -p [Palette filename] (file.txt,ANSI) If not set, then using int.palette",
      u"      -c [Color format] (0|1) 0 - 24bit Truecolor, 1 - 4bit indexed color",
      u"Example: zxraster.exe -i inp.scr -o C:\\TEMP\\out.bmp -l x.log -p palett.txt -c 0",
      u"Example of palette filename:",
      kRule,
      u"0,0,0",
      u"0,255,0",
      u"...",
      u"192,192,0",
      kRule,
      u"(R,G,B)-line-by-line",
  };
  // The options added since: one line each, after the text above, which
  // scripts may match line by line.
  static const char16_t* const kAddedOptions[] = {
      u"      -f [File format] (bmp|png) bmp - Windows BMP, png - PNG (file.png)",
      u"      -s [Scale] (1..8) each ZX pixel as an N x N block",
      u"      -a [Flash phase] (0|1|2) 0 - as stored, 1 - ink/paper swapped, 2 - animated PNG",
      u"      -m [Screen format] (scr|mono|timex-hicolour|timex-hires|ulaplus|auto) default scr",
      u"Example: zxraster.exe -i inp.scr -o out.png -f png -s 3 -a 2",
  };
  for (const char16_t* line : kUsage) WriteLine(line);
  WriteLine(u"  More options:");
  for (const char16_t* line : kAddedOptions) WriteLine(line);
}

void PrintErrorSummary() {
  // The count is taken before the line is written: writing it may fail to
  // open the log and count once more.
  std::u16string line = u"IOERRORS: " + platform::Decimal(counters.ioErrors);
  WriteLine(line);
  WriteLine(kRule);
}

}  // namespace converter
