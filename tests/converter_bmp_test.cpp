// The BMP headers and colour table as composed in memory.
// SPDX-License-Identifier: MIT
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "converter/converter.h"

namespace converter {
namespace {

class BmpHeaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRun(); }
  static std::vector<std::uint8_t> Header(std::size_t size) {
    return std::vector<std::uint8_t>(bmp.header, bmp.header + size);
  }
};

TEST_F(BmpHeaderTest, PutWordAndPutDwordStoreLowByteFirst) {
  PutWord(3, 0x4D42);
  PutDword(6, 0x12345678);
  EXPECT_EQ(Header(10),
            (std::vector<std::uint8_t>{0, 0, 0, 0x42, 0x4D, 0, 0x78, 0x56, 0x34, 0x12}));
}

TEST_F(BmpHeaderTest, TrueColorHeaderDescribesA147512ByteBottomUpImage) {
  ComposeBmpHeader(false);
  const std::vector<std::uint8_t> expected = {
      0x42, 0x4D, 0x38, 0x40, 0x02, 0x00, 0,    0,    0, 0, 54, 0, 0, 0,  // file header
      40,   0,    0,    0,                                                // info header size
      0x00, 0x01, 0,    0,    0xC0, 0,    0,    0,                        // 256 x 192
      1,    0,    24,   0,                                                // planes, bits
      0,    0,    0,    0,    0x02, 0x40, 0x02, 0x00,                     // no compression, 147458
      0x12, 0x0B, 0,    0,    0x12, 0x0B, 0,    0,                        // 2834 per metre
      0,    0,    0,    0,    0,    0,    0,    0};                       // colours used, important
  EXPECT_EQ(Header(54), expected);
  for (std::size_t i = 54; i < kHeaderSize; ++i) EXPECT_EQ(bmp.header[i], 0) << i;
}

TEST_F(BmpHeaderTest, IndexedHeaderCarriesTheActivePaletteAsColourTable) {
  ComposeBmpHeader(true);
  const std::vector<std::uint8_t> expected = {
      0x42, 0x4D, 0x78, 0x60, 0x00, 0x00, 0, 0, 0, 0, 118, 0, 0, 0, 40, 0, 0, 0, 0x00, 0x01, 0, 0,
      0xC0, 0, 0, 0, 1, 0, 4, 0, 0, 0, 0, 0, 0x02, 0x60, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0,
      // colour table: blue, green, red, reserved
      0x00, 0x00, 0x00, 0, 0xC0, 0x00, 0x00, 0, 0x00, 0x00, 0xC0, 0, 0xC0, 0x00, 0xC0, 0, 0x00,
      0xC0, 0x00, 0, 0xC0, 0xC0, 0x00, 0, 0x00, 0xC0, 0xC0, 0, 0xC0, 0xC0, 0xC0, 0, 0x00, 0x00,
      0x00, 0, 0xFF, 0x00, 0x00, 0, 0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0xFF, 0, 0x00, 0xFF, 0x00, 0,
      0xFF, 0xFF, 0x00, 0, 0x00, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_EQ(Header(kHeaderSize), expected);
}

TEST_F(BmpHeaderTest, ColourTableKeepsTheFourthBytesOfTheActivePalette) {
  for (int i = 0; i < 16; ++i) ActivePalette.entry[i][kReserved] = static_cast<std::uint8_t>(i + 1);
  ComposeBmpHeader(true);
  EXPECT_EQ(std::memcmp(&bmp.header[54], &ActivePalette, 64), 0);
  EXPECT_EQ(bmp.header[57], 1);
  EXPECT_EQ(bmp.header[117], 16);
}

struct ScaledHeaderCase {
  bool indexed;
  std::uint32_t scale;
  std::uint32_t fileSize, width, height, imageSize;
};

TEST_F(BmpHeaderTest, AScaledHeaderGivesTheSizesOfTheScaledPicture) {
  const ScaledHeaderCase cases[] = {
      {false, 1, 147512, 256, 192, 147458},
      {true, 1, 24696, 256, 192, 24578},
      {false, 3, 54 + 147456 * 9 + 2, 768, 576, 147456 * 9 + 2},
      {true, 8, 118 + 24576 * 64 + 2, 2048, 1536, 24576 * 64 + 2},
  };
  auto dword = [](std::size_t at) {
    return std::uint32_t{bmp.header[at]} | std::uint32_t{bmp.header[at + 1]} << 8 |
           std::uint32_t{bmp.header[at + 2]} << 16 | std::uint32_t{bmp.header[at + 3]} << 24;
  };
  for (const ScaledHeaderCase& c : cases) {
    ComposeBmpHeader(c.indexed, c.scale);
    EXPECT_EQ(dword(2), c.fileSize) << c.scale;
    EXPECT_EQ(dword(18), c.width) << c.scale;
    EXPECT_EQ(dword(22), c.height) << c.scale;
    EXPECT_EQ(dword(34), c.imageSize) << c.scale;
  }
}

}  // namespace
}  // namespace converter
