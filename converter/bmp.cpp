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

// Field offsets in the file header, then in the information header.
constexpr std::size_t kSignatureAt = 0;
constexpr std::size_t kFileSizeAt = 2;
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kInfoSizeAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;
constexpr std::size_t kPlanesAt = 26;
constexpr std::size_t kBitsPerPixelAt = 28;
constexpr std::size_t kImageSizeAt = 34;
constexpr std::size_t kXResolutionAt = 38;
constexpr std::size_t kYResolutionAt = 42;
constexpr std::size_t kColorTableAt = kFileHeaderSize + kInfoHeaderSize;

// The bytes before the pixels: both headers, and the colour table when indexed.
constexpr std::uint32_t HeaderSize(bool indexed) {
  return kFileHeaderSize + kInfoHeaderSize + (indexed ? kColorTableSize : 0);
}
static_assert(HeaderSize(true) == kHeaderSize, "the header buffer holds the indexed header");

constexpr std::uint32_t PixelSize(bool indexed) {
  return indexed ? kIndexedPixelSize : kTrueColorPixelSize;
}

// Bits per pixel: 24, or indexed 4 (16 colours) or 8 (up to 256).
std::uint16_t PictureBits(bool indexed) {
  if (!indexed) return 24;
  return PictureColourCount() > 16 ? 8 : 4;
}

// The colour table of an indexed picture: 16 entries of 4 bytes, or 256.
std::uint32_t ColorTableSize(std::uint16_t bits) {
  if (bits == 24) return 0;
  return bits == 8 ? 256 * 4 : kColorTableSize;
}

// Writes the three blocks, header, pixels and trailer, as outFile; one
// message for any failure.
void WriteBmpFile(bool indexed, const std::uint8_t* pixels, std::size_t pixelSize) {
  platform::ReplacingFile file;
  const bool ok = file.Create(options.outFile) && file.Write(bmp.header, HeaderSize(indexed)) &&
                  file.Write(pixels, pixelSize) && file.Write(bmp.trailer, kTrailerSize) &&
                  file.Commit();
  if (!ok) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++counters.ioErrors;
  }
}

}  // namespace

void WritePictureFile(const std::uint8_t* data, std::size_t size) {
  platform::ReplacingFile file;
  if (!file.Create(options.outFile) || !file.Write(data, size) || !file.Commit()) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++counters.ioErrors;
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
  const std::uint16_t bits = PictureBits(indexed);
  const std::uint32_t width = std::uint32_t{PictureWidth()} * scale;
  const std::uint32_t headerSize = kFileHeaderSize + kInfoHeaderSize + ColorTableSize(bits);
  const std::uint32_t pixelSize = width * bits / 8 * kScreenHeight * scale;
  // Compression, reserved fields and colour counts stay zero.
  PutWord(kSignatureAt, 0x4D42);
  PutDword(kFileSizeAt, headerSize + pixelSize + kTrailerSize);
  PutDword(kPixelOffsetAt, headerSize);
  PutDword(kInfoSizeAt, kInfoHeaderSize);
  PutDword(kWidthAt, width);
  PutDword(kHeightAt, kScreenHeight * scale);
  PutWord(kPlanesAt, 1);
  PutWord(kBitsPerPixelAt, bits);
  PutDword(kImageSizeAt, pixelSize + kTrailerSize);
  PutDword(kXResolutionAt, kPixelsPerMetre);
  PutDword(kYResolutionAt, kPixelsPerMetre);
  if (bits == 4) PutColorTable(kColorTableAt);
}

void WriteIndexedBmp() {
  ComposeBmpHeader(true);
  RenderIndexed();
  WriteBmpFile(true, bmp.pixels, PixelSize(true));
}

void WriteTrueColorBmp() {
  ComposeBmpHeader(false);
  RenderTrueColor();
  WriteBmpFile(false, bmp.pixels, PixelSize(false));
}

void WriteScaledBmp() {
  const bool indexed = options.idxColor;
  const std::uint32_t scale = std::max<std::uint32_t>(options.scale, 1);
  const std::uint16_t bits = PictureBits(indexed);
  ComposeBmpHeader(indexed, scale);
  std::vector<std::uint8_t> indices(kIndexImageSize);
  RenderIndexImage(options.flashPhase, indices.data());

  // Both headers, then the colour table: 16 entries of ActivePalette as
  // composed, or 256 of the picture's colours.
  std::vector<std::uint8_t> head(bmp.header, bmp.header + kFileHeaderSize + kInfoHeaderSize);
  if (bits == 4) head.insert(head.end(), bmp.header + kColorTableAt, bmp.header + kHeaderSize);
  if (bits == 8) {
    head.resize(head.size() + ColorTableSize(bits), 0);
    for (std::uint16_t i = 0; i < PictureColourCount(); ++i) {
      PictureColour(static_cast<std::uint8_t>(i), &head[kColorTableAt + 4u * i]);
    }
  }

  // Rows of whole multiples of 4 bytes, as BMP rows must be; the bottom
  // line first, each ZX line repeated scale times.
  const std::size_t width = std::size_t{PictureWidth()} * scale;
  const std::size_t rowSize = width * bits / 8;
  std::vector<std::uint8_t> pixels(rowSize * kScreenHeight * scale);
  std::vector<std::uint8_t> row(rowSize);
  for (std::size_t y = 0; y < kScreenHeight; ++y) {
    const std::uint8_t* line = &indices[y * PictureWidth()];
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t index = line[x / scale];
      if (bits == 8) {
        row[x] = index;
      } else if (bits == 4) {
        std::uint8_t& cell = row[x / 2];
        cell = x % 2 == 0 ? static_cast<std::uint8_t>(index << 4)
                          : static_cast<std::uint8_t>(cell | (index & 0x0F));
      } else {
        PictureColour(index, &row[3 * x]);
      }
    }
    for (std::size_t k = 0; k < scale; ++k) {
      const std::size_t r = (kScreenHeight - 1 - y) * scale + k;
      std::memcpy(&pixels[r * rowSize], row.data(), rowSize);
    }
  }
  platform::ReplacingFile file;
  const bool ok = file.Create(options.outFile) && file.Write(head.data(), head.size()) &&
                  file.Write(pixels.data(), pixels.size()) &&
                  file.Write(bmp.trailer, kTrailerSize) && file.Commit();
  if (!ok) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++counters.ioErrors;
  }
}

}  // namespace converter
