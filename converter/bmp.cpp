// BMP output: the headers, the colour table and the file of 4-bit or 24-bit pixels.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "converter/converter.h"

namespace converter {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kColorTableSize = 64;
constexpr std::uint32_t kPixelsPerMetre = 2834;  // 72 dots per inch

// Creates outFile and writes the three blocks; one message for any failure.
void WriteBmpFile(std::size_t headerSize, std::size_t pixelSize) {
  platform::ByteFile file;
  bool ok = file.Create(options.outFile);
  if (ok) {
    ok = file.Write(bmp.header, headerSize) && file.Write(bmp.pixels, pixelSize) &&
         file.Write(bmp.trailer, kTrailerSize);
    ok = file.Close() && ok;
  }
  if (!ok) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++state.ioErrors;
  }
}

}  // namespace

void PutWord(std::size_t offset, std::uint16_t value) {
  bmp.header[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bmp.header[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(std::size_t offset, std::uint32_t value) {
  PutWord(offset, static_cast<std::uint16_t>(value & 0xFFFF));
  PutWord(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutColorTable(std::size_t offset) {
  std::memcpy(&bmp.header[offset], &ActivePalette, kColorTableSize);
}

void ComposeBmpHeader(bool indexed) {
  std::uint32_t headerSize = kFileHeaderSize + kInfoHeaderSize + (indexed ? kColorTableSize : 0);
  std::uint32_t pixelSize = indexed ? kIndexedPixelSize : kTrueColorPixelSize;
  // Compression, reserved fields and colour counts stay zero.
  PutWord(0, 0x4D42);
  PutDword(2, headerSize + pixelSize + kTrailerSize);
  PutDword(10, headerSize);
  PutDword(14, kInfoHeaderSize);
  PutDword(18, kScreenWidth);
  PutDword(22, kScreenHeight);
  PutWord(26, 1);
  PutWord(28, indexed ? 4 : 24);
  PutDword(34, pixelSize + kTrailerSize);
  PutDword(38, kPixelsPerMetre);
  PutDword(42, kPixelsPerMetre);
  if (indexed) PutColorTable(kFileHeaderSize + kInfoHeaderSize);
}

void WriteIndexedBmp() {
  ComposeBmpHeader(true);
  RenderIndexed();
  WriteBmpFile(kFileHeaderSize + kInfoHeaderSize + kColorTableSize, kIndexedPixelSize);
}

void WriteTrueColorBmp() {
  ComposeBmpHeader(false);
  RenderTrueColor();
  WriteBmpFile(kFileHeaderSize + kInfoHeaderSize, kTrueColorPixelSize);
}

}  // namespace converter
