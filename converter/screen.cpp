// Screen file input: a screen in one of the layouts of ScreenFormat, bare
// or as a +3DOS file, into ZxScreen and ScreenExtras.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "converter/converter.h"

namespace converter {

namespace {

constexpr std::uint32_t kPlus3HeaderSize = 128;
constexpr std::uint32_t kLargestScreen = 2 * kBitmapSize + 1;  // Timex hi-res

struct FormatInfo {
  const char16_t* name;
  std::uint32_t size;
  ScreenFormat format;
};

// In the order auto tries them; the sizes differ, with and without a
// +3DOS header in front.
const FormatInfo kFormats[] = {
    {u"scr", kScreenSize, ScreenFormat::kScr},
    {u"mono", kBitmapSize, ScreenFormat::kMono},
    {u"timex-hicolour", 2 * kBitmapSize, ScreenFormat::kTimexHiColour},
    {u"timex-hires", 2 * kBitmapSize + 1, ScreenFormat::kTimexHiRes},
    {u"ulaplus", kScreenSize + kUlaPlusPaletteSize, ScreenFormat::kUlaPlus},
};

const FormatInfo& Info(ScreenFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return info;
  }
  return kFormats[0];
}

// One part of a screen file: where its bytes go and what stands there
// where the file ends before it.
struct Part {
  std::uint8_t* target;
  std::size_t size;
  std::uint8_t fill;
};

// The parts of a format, in file order; returns their number. Missing
// attributes are white ink on black paper, a missing hi-res colour byte
// the same, a missing ULAplus palette black.
std::size_t Parts(ScreenFormat format, Part (&parts)[3]) {
  parts[0] = {screen.bitmap, kBitmapSize, 0x00};
  switch (format) {
    case ScreenFormat::kMono:
      return 1;
    case ScreenFormat::kTimexHiColour:
      parts[1] = {screenExtras.second, kBitmapSize, 0x07};
      return 2;
    case ScreenFormat::kTimexHiRes:
      parts[1] = {screenExtras.second, kBitmapSize, 0x00};
      parts[2] = {&screenExtras.hiResColour, 1, 0x38};
      return 3;
    case ScreenFormat::kUlaPlus:
      parts[1] = {screen.attributes, kAttributeSize, 0x07};
      parts[2] = {screenExtras.ulaPalette, kUlaPlusPaletteSize, 0x00};
      return 3;
    case ScreenFormat::kScr:
      break;
  }
  parts[1] = {screen.attributes, kAttributeSize, 0x07};
  return 2;
}

// A +3DOS file: "PLUS3DOS", the byte 1A, and a header checksum that holds
// (byte 127 is the sum of bytes 0 to 126, modulo 256).
bool IsPlus3Header(const std::uint8_t* data) {
  if (std::memcmp(data, "PLUS3DOS\x1A", 9) != 0) return false;
  std::uint8_t sum = 0;
  for (std::uint32_t i = 0; i + 1 < kPlus3HeaderSize; ++i) {
    sum = static_cast<std::uint8_t>(sum + data[i]);
  }
  return sum == data[kPlus3HeaderSize - 1];
}

// Reads the first bytes of the open file; true with a good +3DOS header.
bool ReadPlus3Header(platform::ByteFile& file, bool& isPlus3) {
  std::uint8_t header[kPlus3HeaderSize];
  isPlus3 = false;
  if (!file.Read(header, sizeof header)) return false;
  isPlus3 = IsPlus3Header(header);
  return true;
}

}  // namespace

std::uint32_t ScreenFileSize(ScreenFormat format) { return Info(format).size; }

std::u16string ScreenFormatName(ScreenFormat format) { return Info(format).name; }

bool FormatHasFlash(ScreenFormat format) {
  return format == ScreenFormat::kScr || format == ScreenFormat::kTimexHiColour;
}

bool FormatUsesPalette(ScreenFormat format) { return format != ScreenFormat::kUlaPlus; }

bool FormatOfSize(std::uint64_t size, ScreenFormat& format) {
  for (const FormatInfo& info : kFormats) {
    if (size == info.size) {
      format = info.format;
      return true;
    }
  }
  return false;
}

bool ParseScreenFormat(const std::u16string& name, ScreenFormat& format, bool& isAuto) {
  isAuto = name == u"auto";
  if (isAuto) return true;
  for (const FormatInfo& info : kFormats) {
    if (name == info.name) {
      format = info.format;
      return true;
    }
  }
  return false;
}

void ChooseScreenFormat() {
  if (!options.autoFormat) return;
  options.screenFormat = ScreenFormat::kScr;
  if (!platform::FileExists(options.inFile)) return;
  platform::ByteFile file;
  std::uint64_t size = 0;
  if (!file.OpenRead(options.inFile) || !file.Size(size)) {
    file.Close();
    return;
  }
  // A format's own size, or a +3DOS header and then that size.
  ScreenFormat format = ScreenFormat::kScr;
  bool isPlus3 = false;
  const bool bare = FormatOfSize(size, format);
  const bool behindHeader = !bare && size > kPlus3HeaderSize &&
                            FormatOfSize(size - kPlus3HeaderSize, format) &&
                            ReadPlus3Header(file, isPlus3) && isPlus3;
  if (bare || behindHeader) options.screenFormat = format;
  file.Close();
}

bool ReadScreenFile() {
  if (!platform::FileExists(options.inFile)) {
    // Kept on purpose (docs/ARCHITECTURE.md): "not exist".
    WriteLine(u"ERR_INP_FILE: " + options.inFile + u" not exist.");
    ++counters.ioErrors;
    return false;
  }
  const std::uint32_t expected = ScreenFileSize(options.screenFormat);
  Part parts[3];
  const std::size_t partCount = Parts(options.screenFormat, parts);
  // Paper of attribute 0x07 (black) wherever a short file leaves no data.
  std::memset(screen.bitmap, 0x00, sizeof screen.bitmap);
  std::memset(screen.attributes, 0x07, sizeof screen.attributes);
  std::memset(&screenExtras, 0, sizeof screenExtras);
  for (std::size_t i = 0; i < partCount; ++i) {
    std::memset(parts[i].target, parts[i].fill, parts[i].size);
  }
  std::memset(&bmp, 0, sizeof bmp);

  // Read-only access, so that a write-protected screen still converts.
  platform::ByteFile file;
  bool ok = file.OpenRead(options.inFile);
  if (ok) {
    std::uint64_t size = 0;
    const bool sized = file.Size(size);
    ok = sized;
    // A file of the format's size behind a +3DOS header is read after the
    // header; any other file of that size as it stands, from its start.
    bool isPlus3 = false;
    if (ok && size == kPlus3HeaderSize + expected) {
      ok = ReadPlus3Header(file, isPlus3);
      if (ok && !isPlus3) ok = file.Seek(0);
    }
    if (sized && size != expected && !isPlus3) {
      WriteLine(u"ERR_INP_FILE: length of " + options.inFile + u" is " + platform::Decimal(size) +
                u" bytes, not equal " + platform::Decimal(expected) + u" bytes, truncated.");
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, expected));
    std::uint8_t data[kLargestScreen];
    if (ok && count > 0) ok = file.Read(data, count);
    ok = file.Close() && ok;
    // The parts in file order, as far as the file goes.
    std::size_t at = 0;
    for (std::size_t i = 0; ok && i < partCount && at < count; ++i) {
      std::memcpy(parts[i].target, data + at, std::min(parts[i].size, count - at));
      at += parts[i].size;
    }
  }
  if (!ok) {
    WriteLine(u"ERR_INP_FILE: " + options.inFile + u" read error.");
    ++counters.ioErrors;
  }
  return ok;
}

}  // namespace converter
