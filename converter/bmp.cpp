// BMP output: the headers, the colour table and the file of 4-bit or 24-bit
// pixels, at the screen's size or scaled, in either flash phase.
// SPDX-License-Identifier: MIT
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

void ComposeBmpHeader(bool indexed, std::uint32_t scale) {
  const std::uint32_t headerSize = HeaderSize(indexed);
  const std::uint32_t pixelSize = PixelSize(indexed) * scale * scale;
  // Compression, reserved fields and colour counts stay zero.
  PutWord(kSignatureAt, 0x4D42);
  PutDword(kFileSizeAt, headerSize + pixelSize + kTrailerSize);
  PutDword(kPixelOffsetAt, headerSize);
  PutDword(kInfoSizeAt, kInfoHeaderSize);
  PutDword(kWidthAt, kScreenWidth * scale);
  PutDword(kHeightAt, kScreenHeight * scale);
  PutWord(kPlanesAt, 1);
  PutWord(kBitsPerPixelAt, indexed ? 4 : 24);
  PutDword(kImageSizeAt, pixelSize + kTrailerSize);
  PutDword(kXResolutionAt, kPixelsPerMetre);
  PutDword(kYResolutionAt, kPixelsPerMetre);
  if (indexed) PutColorTable(kColorTableAt);
}

void WriteIndexedBmp() {
  ComposeBmpHeader(true);
  RenderIndexed();
  WritePictureFile(
      {{bmp.header, HeaderSize(true)}, {bmp.pixels, PixelSize(true)}, {bmp.trailer, kTrailerSize}});
}

void WriteTrueColorBmp() {
  ComposeBmpHeader(false);
  RenderTrueColor();
  WritePictureFile({{bmp.header, HeaderSize(false)},
                    {bmp.pixels, PixelSize(false)},
                    {bmp.trailer, kTrailerSize}});
}

std::vector<std::uint8_t> EncodeBmp(bool indexed, std::uint32_t scale, std::uint32_t phase) {
  ComposeBmpHeader(indexed, scale);
  RenderFlashPhase(phase);
  // The bottom line first, each ZX line repeated scale times; rows of
  // 128 x scale or 768 x scale bytes are multiples of 4, as BMP rows must be.
  const RowLayout layout = indexed ? RowLayout::kIndexed4 : RowLayout::kBgr;
  const std::size_t rowSize = RowBytes(layout, scale);
  const std::size_t headerSize = HeaderSize(indexed);
  std::vector<std::uint8_t> file(headerSize + rowSize * kScreenHeight * scale + kTrailerSize);
  std::memcpy(file.data(), bmp.header, headerSize);
  std::uint8_t indices[kScreenWidth];
  std::uint8_t* row = &file[headerSize];
  for (std::uint16_t r = 0; r < kScreenHeight; ++r) {
    RenderedRow(r, indices);
    PackIndexRow(indices, layout, scale, row);
    for (std::uint32_t k = 1; k < scale; ++k) std::memcpy(row + k * rowSize, row, rowSize);
    row += rowSize * scale;
  }
  std::memcpy(row, bmp.trailer, kTrailerSize);
  return file;
}

}  // namespace converter
