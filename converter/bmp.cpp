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

// The layout of the picture's rows: BGR, or indexed in 4 or 8 bits.
RowLayout BmpLayout(bool indexed) { return indexed ? IndexedLayout() : RowLayout::kBgr; }

// The colour table's bytes: 16 entries, or 256 for 8-bit pixels.
std::uint32_t ColorTableSize(RowLayout layout) {
  if (layout == RowLayout::kIndexed8) return 256 * 4;
  return layout == RowLayout::kIndexed4 ? kColorTableSize : 0;
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
  const RowLayout layout = BmpLayout(indexed);
  const auto headerSize =
      static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + ColorTableSize(layout));
  const auto pixelSize =
      static_cast<std::uint32_t>(RowBytes(layout, scale) * kScreenHeight * scale);
  // Compression, reserved fields and colour counts stay zero.
  PutWord(kSignatureAt, 0x4D42);
  PutDword(kFileSizeAt, headerSize + pixelSize + kTrailerSize);
  PutDword(kPixelOffsetAt, headerSize);
  PutDword(kInfoSizeAt, kInfoHeaderSize);
  PutDword(kWidthAt, std::uint32_t{PictureWidth()} * scale);
  PutDword(kHeightAt, kScreenHeight * scale);
  PutWord(kPlanesAt, 1);
  PutWord(kBitsPerPixelAt, layout == RowLayout::kBgr ? 24 : layout == RowLayout::kIndexed8 ? 8 : 4);
  PutDword(kImageSizeAt, pixelSize + kTrailerSize);
  PutDword(kXResolutionAt, kPixelsPerMetre);
  PutDword(kYResolutionAt, kPixelsPerMetre);
  if (layout == RowLayout::kIndexed4) PutColorTable(kColorTableAt);
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
  // 256 or 512 pixels of 4, 8 or 24 bits times scale are multiples of 4
  // bytes, as BMP rows must be.
  const RowLayout layout = BmpLayout(indexed);
  const std::size_t rowSize = RowBytes(layout, scale);
  const std::size_t headerSize = kFileHeaderSize + kInfoHeaderSize + ColorTableSize(layout);
  std::vector<std::uint8_t> file(headerSize + rowSize * kScreenHeight * scale + kTrailerSize);
  if (layout == RowLayout::kIndexed8) {
    // The 256-entry table: the picture's colours, then black.
    std::memcpy(file.data(), bmp.header, kColorTableAt);
    for (std::uint16_t i = 0; i < PictureColourCount(); ++i) {
      PictureColour(static_cast<std::uint8_t>(i), &file[kColorTableAt + std::size_t{4} * i]);
    }
  } else {
    std::memcpy(file.data(), bmp.header, headerSize);
  }
  std::uint8_t indices[kHiResWidth];
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
