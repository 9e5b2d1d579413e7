// Pixel addressing and colour rules of the screen decoder.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "converter/converter.h"

namespace converter {
namespace {

class DecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRun(); }
};

// The 4-bit pixel (x, y) of the rendered picture: rows bottom-up, 128 bytes
// each, the left pixel in the high nibble.
std::uint8_t RenderedIndex(std::uint16_t x, std::uint16_t y) {
  const std::uint8_t cell = bmp.pixels[128u * (191u - y) + x / 2u];
  return x % 2 == 0 ? cell >> 4 : cell & 0x0F;
}

struct LineStart {
  std::uint16_t line;
  std::size_t offset;
};

TEST_F(DecodeTest, ScreenPixelFindsEachLineAtItsDisplayFileOffset) {
  const LineStart cases[] = {{0, 0},     {1, 256},   {7, 1792},   {8, 32},
                             {63, 2016}, {64, 2048}, {128, 4096}, {191, 6112}};
  for (const LineStart& c : cases) {
    std::memset(screen.bitmap, 0, sizeof screen.bitmap);
    screen.bitmap[c.offset] = 0x80;
    for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
      EXPECT_EQ(ScreenPixel(0, y), y == c.line ? 1 : 0) << "offset " << c.offset << " line " << y;
    }
    EXPECT_EQ(ScreenPixel(1, c.line), 0);
  }
}

TEST_F(DecodeTest, ScreenPixelReadsTheMostSignificantBitAsTheLeftmostPixel) {
  screen.bitmap[6143] = 0x01;  // x 248..255 of line 191
  screen.bitmap[1] = 0x40;     // x 8..15 of line 0
  EXPECT_EQ(ScreenPixel(255, 191), 1);
  EXPECT_EQ(ScreenPixel(254, 191), 0);
  EXPECT_EQ(ScreenPixel(9, 0), 1);
  EXPECT_EQ(ScreenPixel(8, 0), 0);
  EXPECT_EQ(ScreenPixel(10, 0), 0);
}

TEST_F(DecodeTest, EveryBitmapBitBelongsToExactlyOnePixel) {
  std::memset(screen.bitmap, 0xFF, sizeof screen.bitmap);
  unsigned ink = 0;
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    for (std::uint16_t x = 0; x < kScreenWidth; ++x) ink += ScreenPixel(x, y);
  }
  EXPECT_EQ(ink, 49152u);
  // Clearing one bit of every byte clears 6144 distinct pixels.
  for (std::uint8_t& b : screen.bitmap) b = 0x7F;
  ink = 0;
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    for (std::uint16_t x = 0; x < kScreenWidth; ++x) ink += ScreenPixel(x, y);
  }
  EXPECT_EQ(ink, 49152u - 6144u);
}

TEST_F(DecodeTest, OutsideTheScreenEverythingIsZero) {
  std::memset(screen.bitmap, 0xFF, sizeof screen.bitmap);
  std::memset(screen.attributes, 0xFF, sizeof screen.attributes);
  EXPECT_EQ(ScreenPixel(256, 0), 0);
  EXPECT_EQ(ScreenPixel(0, 192), 0);
  EXPECT_EQ(ColorIndex(256, 0, 1), 0);
  EXPECT_EQ(ColorIndex(0, 192, 1), 0);
  PutIndexedPixel(256, 0, 15);
  PutIndexedPixel(0, 192, 15);
  PutTrueColorPixel(256, 0, 15);
  PutTrueColorPixel(0, 192, 15);
  for (std::uint8_t b : bmp.pixels) ASSERT_EQ(b, 0);
}

struct AttributeCase {
  std::uint8_t attribute;
  std::uint8_t ink;
  std::uint8_t index;
  std::uint8_t swappedIndex;  ///< in flash phase 1
};

TEST_F(DecodeTest, ColorIndexIgnoresFlashAndPhaseOneSwapsInkAndPaper) {
  const AttributeCase cases[] = {
      {0x07, 1, 7, 7}, {0x07, 0, 0, 0},   {0x47, 1, 15, 15}, {0x47, 0, 8, 8}, {0x38, 1, 0, 0},
      {0x38, 0, 7, 7}, {0xC7, 1, 15, 8},  {0xC7, 0, 8, 15},  {0x87, 1, 7, 0}, {0x87, 0, 0, 7},
      {0x3F, 0, 7, 7}, {0x7F, 0, 15, 15}, {0xFF, 1, 15, 15}, {0x80, 0, 0, 0}, {0x4A, 1, 10, 10},
      {0x4A, 0, 9, 9}, {0x16, 1, 6, 6},   {0x16, 0, 2, 2},   {0x40, 0, 8, 8}, {0x29, 0, 5, 5},
      {0xB9, 1, 1, 7}, {0xB9, 0, 7, 1},
  };
  for (const AttributeCase& c : cases) {
    screen.attributes[0] = c.attribute;
    screen.bitmap[std::size_t{5} * 256] = c.ink != 0 ? 0x10 : 0x00;  // pixel (3, 5)
    EXPECT_EQ(ColorIndex(3, 5, c.ink), c.index) << "attribute " << int(c.attribute);
    RenderFlashPhase(0);
    EXPECT_EQ(RenderedIndex(3, 5), c.index) << "attribute " << int(c.attribute);
    RenderFlashPhase(1);
    EXPECT_EQ(RenderedIndex(3, 5), c.swappedIndex) << "attribute " << int(c.attribute);
    EXPECT_EQ(screen.attributes[0], c.attribute) << "the screen is as stored afterwards";
  }
}

TEST_F(DecodeTest, EachAttributeCoversItsEightByEightCell) {
  screen.attributes[767] = 0x4D;  // bright, paper 1, ink 5
  screen.attributes[33] = 0x12;   // paper 2, ink 2: cell x 8..15, lines 8..15
  EXPECT_EQ(ColorIndex(248, 184, 1), 13);
  EXPECT_EQ(ColorIndex(255, 191, 0), 9);
  EXPECT_EQ(ColorIndex(247, 191, 1), 0);
  EXPECT_EQ(ColorIndex(248, 183, 1), 0);
  EXPECT_EQ(ColorIndex(8, 8, 1), 2);
  EXPECT_EQ(ColorIndex(15, 15, 0), 2);
  EXPECT_EQ(ColorIndex(16, 15, 0), 0);
  EXPECT_EQ(ColorIndex(15, 16, 1), 0);
}

TEST_F(DecodeTest, PutIndexedPixelReplacesOnlyItsNibble) {
  PutIndexedPixel(4, 3, 0xAB);  // only the low 4 bits count
  PutIndexedPixel(5, 3, 0x0C);
  EXPECT_EQ(bmp.pixels[128 * 3 + 2], 0xBC);
  PutIndexedPixel(4, 3, 0x01);
  EXPECT_EQ(bmp.pixels[128 * 3 + 2], 0x1C);
  PutIndexedPixel(255, 191, 0x07);
  EXPECT_EQ(bmp.pixels[24575], 0x07);
}

TEST_F(DecodeTest, PutTrueColorPixelCopiesBlueGreenRedButNotTheFourthByte) {
  ActivePalette.entry[3][kBlue] = 11;
  ActivePalette.entry[3][kGreen] = 22;
  ActivePalette.entry[3][kRed] = 33;
  ActivePalette.entry[3][kReserved] = 44;
  PutTrueColorPixel(1, 2, 0x13);
  const std::size_t at = 768 * 2 + 3;
  EXPECT_EQ(bmp.pixels[at - 1], 0);
  EXPECT_EQ(bmp.pixels[at], 11);
  EXPECT_EQ(bmp.pixels[at + 1], 22);
  EXPECT_EQ(bmp.pixels[at + 2], 33);
  EXPECT_EQ(bmp.pixels[at + 3], 0);
}

TEST_F(DecodeTest, RenderPutsTheTopLeftPixelIntoTheLastRow) {
  screen.bitmap[0] = 0x80;
  std::memset(screen.attributes, 0x47, sizeof screen.attributes);  // bright white ink on black
  RenderIndexed();
  EXPECT_EQ(bmp.pixels[24448], 0xF8);
  EXPECT_EQ(bmp.pixels[24449], 0x88);
  EXPECT_EQ(bmp.pixels[0], 0x88);
  for (std::size_t i = 24576; i < kTrueColorPixelSize; ++i) ASSERT_EQ(bmp.pixels[i], 0) << i;

  RenderTrueColor();
  EXPECT_EQ(bmp.pixels[146688], 255);
  EXPECT_EQ(bmp.pixels[146689], 255);
  EXPECT_EQ(bmp.pixels[146690], 255);
  EXPECT_EQ(bmp.pixels[146691], 0);
  EXPECT_EQ(bmp.pixels[0], 0);
}

TEST_F(DecodeTest, RenderPutsTheBottomRightPixelIntoTheFirstRow) {
  screen.bitmap[6143] = 0x01;
  std::memset(screen.attributes, 0x06, sizeof screen.attributes);  // yellow ink on black
  RenderIndexed();
  EXPECT_EQ(bmp.pixels[127], 0x06);
  EXPECT_EQ(bmp.pixels[126], 0x00);
  RenderTrueColor();
  EXPECT_EQ(bmp.pixels[765], 0);    // blue
  EXPECT_EQ(bmp.pixels[766], 192);  // green
  EXPECT_EQ(bmp.pixels[767], 192);  // red
  EXPECT_EQ(bmp.pixels[762], 0);
}

TEST_F(DecodeTest, AnEmptyScreenWithDefaultAttributesIsBlackThroughout) {
  std::memset(screen.attributes, 0x07, sizeof screen.attributes);
  std::memset(bmp.pixels, 0xEE, sizeof bmp.pixels);
  RenderIndexed();
  for (std::size_t i = 0; i < kIndexedPixelSize; ++i) ASSERT_EQ(bmp.pixels[i], 0) << i;
  RenderTrueColor();
  for (std::uint8_t b : bmp.pixels) ASSERT_EQ(b, 0);
}

// Phase 1 of a screen is phase 0 of the screen whose FLASH cells hold ink
// and paper the other way round.
TEST_F(DecodeTest, FlashPhaseOneIsTheScreenWithInkAndPaperSwappedInFlashCells) {
  for (std::size_t i = 0; i < sizeof screen; ++i) {
    reinterpret_cast<std::uint8_t*>(&screen)[i] =
        static_cast<std::uint8_t>((i * 131 + i / 7) & 0xFF);
  }
  const ZxScreen stored = screen;
  RenderFlashPhase(1);
  std::vector<std::uint8_t> phaseOne(bmp.pixels, bmp.pixels + kIndexedPixelSize);
  EXPECT_EQ(std::memcmp(&screen, &stored, sizeof screen), 0);
  for (std::uint8_t& a : screen.attributes) {
    if (a >= 0x80) a = static_cast<std::uint8_t>(a / 64 * 64 + a % 8 * 8 + a / 8 % 8);
  }
  RenderIndexed();
  EXPECT_TRUE(std::equal(phaseOne.begin(), phaseOne.end(), bmp.pixels));
}

struct PackCase {
  RowLayout layout;
  std::uint32_t scale;
  std::vector<std::uint8_t> start;  ///< the first bytes of the row
  std::uint8_t last;                ///< its last byte
};

// Indices 1, 2, 3, 4, ... (mod 16) in the rendered row; colour k of the
// palette is blue k, green 16 + k, red 32 + k.
TEST_F(DecodeTest, PackIndexRowRepeatsEachPixelInItsLayout) {
  for (std::uint8_t k = 0; k < 16; ++k) {
    ActivePalette.entry[k][kBlue] = k;
    ActivePalette.entry[k][kGreen] = static_cast<std::uint8_t>(16 + k);
    ActivePalette.entry[k][kRed] = static_cast<std::uint8_t>(32 + k);
  }
  for (std::uint16_t x = 0; x < 256; ++x) PutIndexedPixel(x, 7, static_cast<std::uint8_t>(x + 1));
  const PackCase cases[] = {
      {RowLayout::kIndexed4, 1, {0x12, 0x34, 0x56}, 0xF0},
      {RowLayout::kIndexed4, 3, {0x11, 0x12, 0x22, 0x33, 0x34}, 0x00},
      {RowLayout::kBgr, 1, {1, 17, 33, 2, 18, 34}, 32},
      {RowLayout::kRgb, 2, {33, 17, 1, 33, 17, 1, 34, 18, 2}, 0},
  };
  std::uint8_t indices[256];
  RenderedRow(7, indices);
  for (const PackCase& c : cases) {
    std::vector<std::uint8_t> row(RowBytes(c.layout, c.scale) + 1, 0xEE);
    PackIndexRow(indices, c.layout, c.scale, row.data());
    EXPECT_TRUE(std::equal(c.start.begin(), c.start.end(), row.begin())) << "scale " << c.scale;
    EXPECT_EQ(row.back(), 0xEE) << "scale " << c.scale << ": written past the row";
    EXPECT_EQ(row[row.size() - 2], c.last) << "scale " << c.scale;
  }
}

// The palette index of pixel (x, y) in flash phase `phase`, worked out from
// the screen's bytes by the display file's layout: the line's third, its
// character row and its pixel row within the character, then the column;
// bit 7 of a byte is the leftmost pixel. The attribute gives ink (bits
// 0-2), paper (3-5), bright (6) and flash (7), which swaps ink and paper in
// phase 1.
std::uint8_t ExpectedIndex(const std::uint8_t* bytes, unsigned x, unsigned y, unsigned phase) {
  const unsigned third = y / 64, characterRow = (y / 8) % 8, pixelRow = y % 8;
  const std::uint8_t bitmapByte = bytes[third * 2048 + pixelRow * 256 + characterRow * 32 + x / 8];
  bool ink = ((bitmapByte >> (7 - x % 8)) & 1) != 0;
  const std::uint8_t attribute = bytes[6144 + (y / 8) * 32 + x / 8];
  if (phase == 1 && (attribute & 0x80) != 0) ink = !ink;
  const unsigned colour = ink ? attribute & 7u : (attribute >> 3) & 7u;
  return static_cast<std::uint8_t>(((attribute >> 6) & 1u) * 8 + colour);
}

// The rows every encoder takes, in both flash phases, against the layout of
// the screen's bytes: rendered, and decoded row by row for the PNG. Rows
// come bottom-up, as a BMP stores them.
TEST_F(DecodeTest, TheRenderedRowsHoldEveryPixelsIndexInBothPhases) {
  std::vector<std::uint8_t> bytes(sizeof screen);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 131 + i / 7) & 0xFF);
  }
  std::memcpy(&screen, bytes.data(), bytes.size());
  std::uint8_t indices[256];
  for (std::uint32_t phase : {0u, 1u}) {
    RenderFlashPhase(phase);
    for (unsigned y = 0; y < kScreenHeight; ++y) {
      const auto r = static_cast<std::uint16_t>(kScreenHeight - 1 - y);
      RenderedRow(r, indices);
      std::uint8_t decoded[256];
      PictureIndexRow(r, phase, decoded);
      for (unsigned x = 0; x < kScreenWidth; ++x) {
        ASSERT_EQ(indices[x], ExpectedIndex(bytes.data(), x, y, phase))
            << "phase " << phase << " x " << x << " y " << y;
        ASSERT_EQ(decoded[x], indices[x]) << "decoded, phase " << phase << " x " << x << " y " << y;
      }
    }
  }
}

}  // namespace
}  // namespace converter
