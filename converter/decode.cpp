// Screen decoding: the display-file layout, attribute colours, the flash
// phases and the BMP pixel rows.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

std::uint8_t ScreenPixel(std::uint16_t x, std::uint16_t y) {
  if (x >= kScreenWidth || y >= kScreenHeight) return 0;
  // Display-file order: thirds of 2048 bytes, pixel lines 256 bytes apart
  // within a character row, character rows 32 bytes apart.
  unsigned offset = ((y & 0xC0u) << 5) | ((y & 0x07u) << 8) | ((y & 0x38u) << 2) | (x >> 3);
  return (screen.bitmap[offset] & (0x80u >> (x & 7u))) != 0 ? 1 : 0;
}

std::uint8_t ColorIndex(std::uint16_t x, std::uint16_t y, std::uint8_t ink) {
  if (x >= kScreenWidth || y >= kScreenHeight) return 0;
  std::uint8_t a = screen.attributes[(y / 8) * 32 + x / 8];
  std::uint8_t colour = ink != 0 ? (a & 0x07) : ((a >> 3) & 0x07);
  // Bit 7 (FLASH) takes no part: a still image shows the unswapped phase.
  return static_cast<std::uint8_t>(((a >> 6) & 1) * 8 + colour);
}

void PutIndexedPixel(std::uint16_t x, std::uint16_t r, std::uint8_t index) {
  if (x >= kScreenWidth || r >= kScreenHeight) return;
  std::uint8_t& cell = bmp.pixels[128u * r + x / 2];
  std::uint8_t nibble = index & 0x0F;
  if (x % 2 == 0) {
    cell = static_cast<std::uint8_t>((cell & 0x0F) | (nibble << 4));
  } else {
    cell = static_cast<std::uint8_t>((cell & 0xF0) | nibble);
  }
}

void PutTrueColorPixel(std::uint16_t x, std::uint16_t r, std::uint8_t index) {
  if (x >= kScreenWidth || r >= kScreenHeight) return;
  const std::uint8_t* colour = ActivePalette.entry[index & 0x0F];
  std::uint8_t* pixel = &bmp.pixels[768u * r + 3u * x];
  pixel[0] = colour[kBlue];
  pixel[1] = colour[kGreen];
  pixel[2] = colour[kRed];
}

void RenderIndexed() {
  // A byte of the bitmap at a time: its eight pixels share one attribute,
  // so they take one of two colours, ink for a set bit and paper for a clear
  // one, and fill four bytes of the 4-bit row. The same pixels as ScreenPixel
  // and ColorIndex give one by one.
  constexpr std::size_t kRowBytes = kIndexedPixelSize / kScreenHeight;
  constexpr std::size_t kCells = kScreenWidth / 8;
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    const std::uint8_t* bits =
        &screen.bitmap[((y & 0xC0u) << 5) | ((y & 0x07u) << 8) | ((y & 0x38u) << 2)];
    const std::uint8_t* cells = &screen.attributes[std::size_t{y / 8u} * kCells];
    std::uint8_t* out = &bmp.pixels[kRowBytes * (kScreenHeight - 1u - y)];
    for (std::size_t cx = 0; cx < kCells; ++cx) {
      const unsigned a = cells[cx];
      const unsigned bright = ((a >> 6) & 1u) * 8;
      const unsigned colour[2] = {bright + ((a >> 3) & 7u), bright + (a & 7u)};  // paper, ink
      const unsigned byte = bits[cx];
      for (unsigned k = 0; k < 4; ++k) {
        const unsigned pair = byte >> (6 - 2 * k);
        out[4 * cx + k] =
            static_cast<std::uint8_t>(colour[(pair >> 1) & 1u] << 4 | colour[pair & 1u]);
      }
    }
  }
}

namespace {

// Swaps ink and paper in every attribute whose FLASH bit is set; a second
// call undoes the first.
void SwapFlashCells() {
  for (std::uint8_t& a : screen.attributes) {
    if ((a & 0x80) != 0) {
      a = static_cast<std::uint8_t>((a & 0xC0) | ((a & 0x07) << 3) | ((a >> 3) & 0x07));
    }
  }
}

}  // namespace

void RenderFlashPhase(std::uint32_t phase) {
  if (phase != 1) {
    RenderIndexed();
    return;
  }
  SwapFlashCells();
  RenderIndexed();
  SwapFlashCells();
}

void RenderTrueColor() {
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    for (std::uint16_t x = 0; x < kScreenWidth; ++x) {
      PutTrueColorPixel(x, kScreenHeight - 1 - y, ColorIndex(x, y, ScreenPixel(x, y)));
    }
  }
}

}  // namespace converter
