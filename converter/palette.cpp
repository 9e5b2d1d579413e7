// The palette: the built-in colours and the ANSI palette file that may replace them.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "converter/converter.h"

namespace converter {

const Palette16 BuiltinPalette = {{
    {0, 0, 0, 0},        // black
    {192, 0, 0, 0},      // blue
    {0, 0, 192, 0},      // red
    {192, 0, 192, 0},    // magenta
    {0, 192, 0, 0},      // green
    {192, 192, 0, 0},    // cyan
    {0, 192, 192, 0},    // yellow
    {192, 192, 192, 0},  // white
    {0, 0, 0, 0},        // bright black
    {255, 0, 0, 0},      // bright blue
    {0, 0, 255, 0},      // bright red
    {255, 0, 255, 0},    // bright magenta
    {0, 255, 0, 0},      // bright green
    {255, 255, 0, 0},    // bright cyan
    {0, 255, 255, 0},    // bright yellow
    {255, 255, 255, 0},  // bright white
}};

namespace {

constexpr std::uint32_t kPaletteLines = 16;

int DigitValue(char16_t c, int base) {
  int value = -1;
  if (c >= u'0' && c <= u'9') value = c - u'0';
  if (c >= u'a' && c <= u'f') value = c - u'a' + 10;
  if (c >= u'A' && c <= u'F') value = c - u'A' + 10;
  return value < base ? value : -1;
}

// Parses one line into staging entry `index`. Any line that has the shape of
// three fields marks the file as taken, even when its numbers fail.
void ParseEntry(const std::u16string& line, std::uint32_t index, Palette16& staging, bool& taken,
                bool& error) {
  std::u16string fields[3];
  if (!SplitPaletteLine(line, fields)) return;
  taken = true;
  std::int32_t value[3];
  for (int k = 0; k < 3; ++k) {
    if (!ParsePaletteNumber(fields[k], value[k])) {
      WriteLine(u"ERR_PALET_CONSTRUCT: " + options.palFile + u" Illegal symbols at " +
                platform::Decimal(index) + u" line.");
      ++counters.ioErrors;
      error = true;
      return;
    }
  }
  for (std::int32_t v : value) {
    if (v < 0 || v > 255) {
      // A rejected palette file is a failed run, so this counts as well.
      // Kept on purpose (docs/ARCHITECTURE.md): no blank after the colon, "convertation".
      WriteLine(u"ERR_PALET_CONSTRUCT:" + options.palFile + u" digit convertation failed at " +
                platform::Decimal(index) + u" line.");
      ++counters.ioErrors;
      error = true;
      return;
    }
  }
  staging.entry[index][kRed] = static_cast<std::uint8_t>(value[0]);
  staging.entry[index][kGreen] = static_cast<std::uint8_t>(value[1]);
  staging.entry[index][kBlue] = static_cast<std::uint8_t>(value[2]);
  staging.entry[index][kReserved] = 0;
}

}  // namespace

void ResetPalette() { std::memcpy(&ActivePalette, &BuiltinPalette, sizeof ActivePalette); }

void TrimBlanks(std::u16string& text) {
  std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) {
    text.clear();
    return;
  }
  std::size_t last = text.find_last_not_of(u' ');
  text = text.substr(first, last - first + 1);
}

bool SplitPaletteLine(const std::u16string& line, std::u16string fields[3]) {
  if (line.size() < 2) return false;
  std::size_t comma = line.find(u',');
  if (comma == std::u16string::npos || comma == 0 || comma + 1 == line.size()) return false;
  fields[0] = line.substr(0, comma);

  std::u16string rest = line.substr(comma + 1);
  if (rest.size() < 2) return false;
  comma = rest.find(u',');
  if (comma == std::u16string::npos || comma == 0 || comma + 1 == rest.size()) return false;
  fields[1] = rest.substr(0, comma);

  // A third comma ends the last field; anything after it is ignored.
  std::u16string tail = rest.substr(comma + 1);
  fields[2] = tail.substr(0, tail.find(u','));
  for (int k = 0; k < 3; ++k) TrimBlanks(fields[k]);
  return true;
}

bool ParsePaletteNumber(const std::u16string& text, std::int32_t& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return false;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; i < n; ++i) {
    int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

void LoadPaletteFile() {
  Palette16 staging;
  std::memset(&staging, 0, sizeof staging);
  std::uint32_t counter = 0;
  bool taken = false;
  bool error = false;

  if (!platform::InputFileExists(options.palFile)) {
    // Kept on purpose (docs/ARCHITECTURE.md): "not exist".
    WriteLine(u"ERR_PALET_FILE: " + options.palFile + u" not exist.");
    ++counters.ioErrors;
  } else {
    platform::InputTextFile file;
    bool ok = file.Open(options.palFile);
    if (ok) {
      while (!error) {
        // Only the reads are guarded here: a line that cannot be written
        // is no palette error and must reach the driver.
        std::u16string line;
        try {
          if (file.AtEnd() || counter >= kPaletteLines) break;
          line = file.ReadLine();
        } catch (const platform::IoError&) {
          ok = false;
          break;
        }
        ParseEntry(line, counter, staging, taken, error);
        ++counter;
      }
      ok = file.Close() && ok;
    }
    if (!ok) {
      WriteLine(u"ERR_PALET_FILE: " + options.palFile + u" read error.");
      ++counters.ioErrors;
    }
  }

  if (counter != kPaletteLines) {
    WriteLine(u"ERR_PALET_CONSTRUCT: " + options.palFile + u" file too small - " +
              platform::Decimal(counter) + u" line(s) instead of 16.");
    ++counters.ioErrors;
  }
  if (!taken || error || counter != kPaletteLines) return;

  std::memcpy(&ActivePalette, &staging, sizeof ActivePalette);
  WriteLine(u"User defined palette:");
  WriteLine(u"IDX: [R,G,B]");
  for (std::uint32_t i = 0; i < kPaletteLines; ++i) {
    const std::uint8_t* colour = ActivePalette.entry[i];
    WriteLine(platform::Decimal(i) + u": [" + platform::Decimal(colour[kRed]) + u"," +
              platform::Decimal(colour[kGreen]) + u"," + platform::Decimal(colour[kBlue]) + u"]");
  }
}

}  // namespace converter
