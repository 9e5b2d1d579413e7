// BMP output: the headers, the colour table and the file of 4-bit or 24-bit
// pixels, at the screen's size or scaled.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>
#include <vector>

#include "converter/converter.h"

namespace converter {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kColorTableSize = 64;
constexpr std::uint32_t kPixelsPerMetre = 2834;  // 72 dots per inch

// Writes the three blocks, header, pixels and trailer, as outFile; one
// message for any failure.
void WriteBmpFile(std::size_t headerSize, const std::uint8_t* pixels, std::size_t pixelSize) {
  platform::ReplacingFile file;
  const bool ok = file.Create(options.outFile) && file.Write(bmp.header, headerSize) &&
                  file.Write(pixels, pixelSize) && file.Write(bmp.trailer, kTrailerSize) &&
                  file.Commit();
  if (!ok) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++state.ioErrors;
  }
}

}  // namespace

void WritePictureFile(const std::uint8_t* data, std::size_t size) {
  platform::ReplacingFile file;
  if (!file.Create(options.outFile) || !file.Write(data, size) || !file.Commit()) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++state.ioErrors;
  }
}

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

void ComposeBmpHeader(bool indexed, std::uint32_t scale) {
  std::uint32_t headerSize = kFileHeaderSize + kInfoHeaderSize + (indexed ? kColorTableSize : 0);
  std::uint32_t pixelSize =
      static_cast<std::uint32_t>(indexed ? kIndexedPixelSize : kTrueColorPixelSize) * scale * scale;
  // Compression, reserved fields and colour counts stay zero.
  PutWord(0, 0x4D42);
  PutDword(2, headerSize + pixelSize + kTrailerSize);
  PutDword(10, headerSize);
  PutDword(14, kInfoHeaderSize);
  PutDword(18, kScreenWidth * scale);
  PutDword(22, kScreenHeight * scale);
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
  WriteBmpFile(kFileHeaderSize + kInfoHeaderSize + kColorTableSize, bmp.pixels, kIndexedPixelSize);
}

void WriteTrueColorBmp() {
  ComposeBmpHeader(false);
  RenderTrueColor();
  WriteBmpFile(kFileHeaderSize + kInfoHeaderSize, bmp.pixels, kTrueColorPixelSize);
}

void WriteScaledBmp() {
  const bool indexed = options.idxColor;
  const std::uint32_t scale = std::max<std::uint32_t>(options.scale, 1);
  ComposeBmpHeader(indexed, scale);
  std::vector<std::uint8_t> indices(kIndexImageSize);
  RenderIndexImage(options.flashPhase, indices.data());

  // Rows of 128 x scale or 768 x scale bytes, multiples of 4 as BMP rows
  // must be; the bottom line first, each ZX line repeated scale times.
  const std::size_t rowSize = std::size_t{indexed ? 128u : 768u} * scale;
  std::vector<std::uint8_t> pixels(rowSize * kScreenHeight * scale);
  std::vector<std::uint8_t> row(rowSize);
  for (std::size_t y = 0; y < kScreenHeight; ++y) {
    const std::uint8_t* line = &indices[y * kScreenWidth];
    for (std::size_t x = 0; x < std::size_t{kScreenWidth} * scale; ++x) {
      const std::uint8_t index = line[x / scale] & 0x0F;
      if (indexed) {
        std::uint8_t& cell = row[x / 2];
        cell = x % 2 == 0 ? static_cast<std::uint8_t>(index << 4)
                          : static_cast<std::uint8_t>(cell | index);
      } else {
        row[3 * x] = ActivePalette.entry[index][kBlue];
        row[3 * x + 1] = ActivePalette.entry[index][kGreen];
        row[3 * x + 2] = ActivePalette.entry[index][kRed];
      }
    }
    for (std::size_t k = 0; k < scale; ++k) {
      const std::size_t r = (kScreenHeight - 1 - y) * scale + k;
      std::memcpy(&pixels[r * rowSize], row.data(), rowSize);
    }
  }
  WriteBmpFile(kFileHeaderSize + kInfoHeaderSize + (indexed ? kColorTableSize : 0), pixels.data(),
               pixels.size());
}

}  // namespace converter
