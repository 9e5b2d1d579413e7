// The command line: options -i -o -l -p -c -f -s -a -m into ConverterOptions,
// and the checks of the picture options.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

void ParseCommandLine() {
  options.inFile.clear();
  options.outFile.clear();
  options.logFileName.clear();
  options.palFile.clear();
  options.colorFormat.clear();
  options.fileFormat.clear();
  options.scaleText.clear();
  options.flashText.clear();
  options.screenText.clear();
  platform::FindOptionValue(u"-i", options.inFile);
  platform::FindOptionValue(u"-o", options.outFile);
  platform::FindOptionValue(u"-l", options.logFileName);
  platform::FindOptionValue(u"-p", options.palFile);
  platform::FindOptionValue(u"-c", options.colorFormat);
  platform::FindOptionValue(u"-f", options.fileFormat);
  platform::FindOptionValue(u"-s", options.scaleText);
  platform::FindOptionValue(u"-a", options.flashText);
  platform::FindOptionValue(u"-m", options.screenText);
}

bool PictureOptionsGiven() {
  return !options.fileFormat.empty() || !options.scaleText.empty() || !options.flashText.empty();
}

namespace {

// ASCII letters in lower case, so that PNG and png name the same format.
std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

// A whole number of one to three decimal digits.
bool SmallNumber(const std::u16string& text, std::uint32_t& value) {
  if (text.empty() || text.size() > 3) return false;
  value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  return true;
}

// Counts and, when asked, reports one bad picture option.
void BadOption(bool report, const std::u16string& line) {
  if (!report) return;
  WriteLine(line);
  ++counters.ioErrors;
}

}  // namespace

bool CheckPictureOptions(bool report) {
  bool good = true;
  const std::u16string format = Lower(options.fileFormat);
  if (format == u"png") {
    options.format = PictureFormat::kPng;
  } else if (!format.empty() && format != u"bmp") {
    BadOption(report,
              u"ERR_FORMAT: " + options.fileFormat + u" is no picture format (bmp or png).");
    good = false;
  }
  std::uint32_t value = 1;
  if (!options.scaleText.empty()) {
    if (SmallNumber(options.scaleText, value) && value >= 1 && value <= kMaxScale) {
      options.scale = value;
    } else {
      BadOption(report, u"ERR_SCALE: " + options.scaleText + u" is out of range (1 to 8).");
      good = false;
    }
  }
  if (!options.flashText.empty()) {
    if (options.flashText.size() == 1 && options.flashText[0] >= u'0' &&
        options.flashText[0] <= u'2') {
      options.flashPhase = static_cast<std::uint32_t>(options.flashText[0] - u'0');
    } else {
      BadOption(report, u"ERR_FLASH: " + options.flashText + u" is no flash phase (0, 1 or 2).");
      good = false;
    }
  }
  if (!options.screenText.empty() &&
      !ParseScreenFormat(Lower(options.screenText), options.screenFormat, options.autoFormat)) {
    BadOption(report, u"ERR_SCREEN: " + options.screenText +
                          u" is no screen format (scr, mono, timex-hicolour, timex-hires, "
                          u"ulaplus or auto).");
    good = false;
  }
  if (good && options.flashPhase == 2 && options.format != PictureFormat::kPng &&
      FormatHasFlash(options.screenFormat)) {
    // Both phases need a picture with frames; a format without flash
    // ignores the phase.
    BadOption(report, u"ERR_FLASH: 2 needs PNG output (-f png).");
    good = false;
  }
  return good;
}

}  // namespace converter
