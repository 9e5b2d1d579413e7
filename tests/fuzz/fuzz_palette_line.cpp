// The palette line parser, through the real palette loader: a file of
// sixteen lines whose first is the fuzz input. Every number field is held
// against a reference parser; a palette the loader accepts holds exactly
// the numbers of the line, each 0 to 255, and each reads back from its
// decimal text.
//
// Line ends and Ctrl-Z are taken out of the input, so that it stays one
// line. The loader writes its listing to standard output: run with that
// sent to /dev/null (tools/ci/fuzz.sh does).
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "converter/converter.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const fuzz::ScratchFile& PaletteFile() {
  static const fuzz::ScratchFile file("palette");
  return file;
}

// Optional sign, then decimal digits, or hex digits after "0x", "0X", "$",
// "x" or "X"; the value must fit a signed 32-bit number.
std::optional<std::int64_t> ReferenceNumber(const std::u16string& text) {
  std::u16string t = text;
  bool negative = false;
  if (!t.empty() && (t[0] == u'+' || t[0] == u'-')) {
    negative = t[0] == u'-';
    t.erase(0, 1);
  }
  int base = 10;
  if (t.size() >= 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
    base = 16;
    t.erase(0, 2);
  } else if (!t.empty() && (t[0] == u'$' || t[0] == u'x' || t[0] == u'X')) {
    base = 16;
    t.erase(0, 1);
  }
  if (t.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char16_t c : t) {
    int digit = 99;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > (std::int64_t{1} << 31)) return std::nullopt;  // too big for any sign
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ProgramNumber(const std::u16string& text) {
  std::int32_t value = 0;
  if (!converter::ParsePaletteNumber(text, value)) return std::nullopt;
  return value;
}

void CheckNumber(const std::u16string& text) {
  FUZZ_CHECK(ProgramNumber(text) == ReferenceNumber(text),
             "number " + fuzz::Show(text) + " parsed unlike the reference");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string line;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != '\n' && data[i] != '\r' && data[i] != 0x1A)
      line.push_back(static_cast<char>(data[i]));
  }
  const std::u16string text = platform::FromAnsi(line);
  CheckNumber(text);

  std::string content = line + "\r\n";
  for (int i = 1; i < 16; ++i) content += "1,2,3\r\n";
  PaletteFile().Write(content);
  converter::ResetRun();
  converter::options.palFile = PaletteFile().Name();
  converter::LoadPaletteFile();
  const bool accepted = converter::counters.ioErrors == 0;

  std::u16string fields[3];
  if (!converter::SplitPaletteLine(text, fields)) {
    // A line of another shape is skipped and leaves its entry black.
    const std::uint8_t black[4] = {0, 0, 0, 0};
    FUZZ_CHECK(accepted, "palette rejected for a skipped line " + fuzz::Show(text));
    FUZZ_CHECK(std::memcmp(converter::ActivePalette.entry[0], black, 4) == 0,
               "skipped line " + fuzz::Show(text) + " is not black");
    return 0;
  }
  bool allInRange = true;
  for (const std::u16string& field : fields) {
    CheckNumber(field);
    std::optional<std::int64_t> value = ReferenceNumber(field);
    allInRange = allInRange && value && *value >= 0 && *value <= 255;
  }
  FUZZ_CHECK(accepted == allInRange,
             std::string(accepted ? "accepted" : "rejected") + " palette line " + fuzz::Show(text));
  if (!accepted) {
    FUZZ_CHECK(std::memcmp(&converter::ActivePalette, &converter::BuiltinPalette,
                           sizeof converter::ActivePalette) == 0,
               "rejected palette line " + fuzz::Show(text) + " changed the palette");
    return 0;
  }
  const std::size_t order[3] = {converter::kRed, converter::kGreen, converter::kBlue};
  for (int k = 0; k < 3; ++k) {
    const std::uint8_t stored = converter::ActivePalette.entry[0][order[k]];
    FUZZ_CHECK(stored == *ReferenceNumber(fields[k]),
               "field " + fuzz::Show(fields[k]) + " stored as " + std::to_string(stored));
    FUZZ_CHECK(ProgramNumber(platform::Decimal(stored)) == stored,
               "stored value " + std::to_string(stored) + " does not read back");
  }
  return 0;
}
