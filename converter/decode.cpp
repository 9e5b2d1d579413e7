// Screen decoding: the display-file layout, attribute colours, the flash
// phases and the BMP pixel rows.
// SPDX-License-Identifier: MIT
#include <cstring>

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

std::uint16_t PictureWidth() {
  return options.screenFormat == ScreenFormat::kTimexHiRes ? kHiResWidth : kScreenWidth;
}

std::uint16_t PictureColourCount() {
  return options.screenFormat == ScreenFormat::kUlaPlus ? kUlaPlusPaletteSize : 16;
}

namespace {

// The display-file offset of the byte that holds pixel (x, y) of a
// 256-pixel line: thirds of 2048 bytes, pixel lines 256 bytes apart within
// a character row, character rows 32 bytes apart.
unsigned DisplayOffset(unsigned x, unsigned y) {
  return ((y & 0xC0u) << 5) | ((y & 0x07u) << 8) | ((y & 0x38u) << 2) | (x >> 3);
}

bool Bit(const std::uint8_t* bitmap, unsigned x, unsigned y) {
  return (bitmap[DisplayOffset(x, y)] & (0x80u >> (x & 7u))) != 0;
}

// The colour index of an attribute for an ink bit, with FLASH swapping ink
// and paper in phase 1.
std::uint8_t AttributeIndex(std::uint8_t a, bool ink, std::uint32_t phase) {
  if (phase == 1 && (a & 0x80) != 0) ink = !ink;
  const unsigned colour = ink ? (a & 0x07u) : ((a >> 3) & 0x07u);
  return static_cast<std::uint8_t>(((a >> 6) & 1u) * 8 + colour);
}

// Hi-res: even 8-pixel columns from the first bitmap, odd ones from the
// second; ink and its complement as paper, both bright.
std::uint8_t HiResIndex(unsigned x, unsigned y) {
  const unsigned column = x / 8;
  const std::uint8_t* bitmap = column % 2 == 0 ? screen.bitmap : screenExtras.second;
  const unsigned ink = (screenExtras.hiResColour >> 3) & 0x07u;
  const unsigned shown = Bit(bitmap, (column / 2) * 8 + (x & 7u), y) ? ink : 7 - ink;
  return static_cast<std::uint8_t>(8 + shown);
}

// ULAplus: the attribute's FLASH and BRIGHT pick one of four groups of 16
// entries, ink from its first 8, paper from its last 8; no blinking.
std::uint8_t UlaPlusIndex(unsigned x, unsigned y) {
  const std::uint8_t a = screen.attributes[(y / 8) * 32 + x / 8];
  const unsigned group = 16 * (2 * ((a >> 7) & 1u) + ((a >> 6) & 1u));
  const unsigned entry = Bit(screen.bitmap, x, y) ? (a & 0x07u) : 8 + ((a >> 3) & 0x07u);
  return static_cast<std::uint8_t>(group + entry);
}

// A 3-bit level as 8 bits: the bits repeated, 101 as 10110110.
std::uint8_t Level3(unsigned level) {
  return static_cast<std::uint8_t>((level << 5) | (level << 2) | (level >> 1));
}

}  // namespace

std::uint8_t PictureColorIndex(std::uint16_t x, std::uint16_t y, std::uint32_t phase) {
  if (x >= PictureWidth() || y >= kScreenHeight) return 0;
  switch (options.screenFormat) {
    case ScreenFormat::kMono:
      return Bit(screen.bitmap, x, y) ? 0 : 7;
    case ScreenFormat::kTimexHiColour:
      return AttributeIndex(screenExtras.second[DisplayOffset(x, y)], Bit(screen.bitmap, x, y),
                            phase);
    case ScreenFormat::kTimexHiRes:
      return HiResIndex(x, y);
    case ScreenFormat::kUlaPlus:
      return UlaPlusIndex(x, y);
    case ScreenFormat::kScr:
      break;
  }
  return AttributeIndex(screen.attributes[(y / 8) * 32 + x / 8], Bit(screen.bitmap, x, y), phase);
}

void UlaPlusColour(std::uint8_t grb, std::uint8_t* bgr) {
  // Blue has two bits; its third, lowest, is the OR of them.
  const unsigned blue = grb & 0x03u;
  bgr[kBlue] = Level3(blue << 1 | (blue != 0 ? 1u : 0u));
  bgr[kGreen] = Level3((grb >> 5) & 0x07u);
  bgr[kRed] = Level3((grb >> 2) & 0x07u);
}

void PictureColour(std::uint8_t index, std::uint8_t* bgr) {
  if (options.screenFormat == ScreenFormat::kUlaPlus) {
    UlaPlusColour(screenExtras.ulaPalette[index % kUlaPlusPaletteSize], bgr);
    return;
  }
  const std::uint8_t* entry = ActivePalette.entry[index & 0x0F];
  bgr[kBlue] = entry[kBlue];
  bgr[kGreen] = entry[kGreen];
  bgr[kRed] = entry[kRed];
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
    const std::size_t firstCell = (y / 8u) * kCells;
    const std::uint8_t* cells = &screen.attributes[firstCell];
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

// The eight pixels of a bitmap byte, leftmost (bit 7) first: all ones for
// ink, zero for paper.
struct InkBytes {
  std::uint8_t of[256][8] = {};
  constexpr InkBytes() {
    for (unsigned byte = 0; byte < 256; ++byte) {
      for (unsigned k = 0; k < 8; ++k) of[byte][k] = ((byte >> (7 - k)) & 1u) != 0 ? 0xFF : 0;
    }
  }
};
constexpr InkBytes kInkBytes;

}  // namespace

void PictureIndexRow(std::uint16_t r, std::uint32_t phase, std::uint8_t* indices) {
  if (options.screenFormat != ScreenFormat::kScr) {
    RenderedRow(r, indices);
    return;
  }
  // Eight pixels at a time: paper in every byte, ink where the bit is set.
  constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;
  constexpr std::size_t kCells = kScreenWidth / 8;
  const unsigned y = kScreenHeight - 1u - r;
  const std::uint8_t* bits = &screen.bitmap[DisplayOffset(0, y)];
  const std::size_t firstCell = (y / 8u) * kCells;
  const std::uint8_t* cells = &screen.attributes[firstCell];
  for (std::size_t cx = 0; cx < kCells; ++cx) {
    const std::uint64_t paper = AttributeIndex(cells[cx], false, phase);
    const std::uint64_t ink = AttributeIndex(cells[cx], true, phase);
    std::uint64_t inkMask;
    std::memcpy(&inkMask, kInkBytes.of[bits[cx]], 8);
    const std::uint64_t pixels = paper * kEveryByte ^ (inkMask & (paper ^ ink) * kEveryByte);
    std::memcpy(indices + 8 * cx, &pixels, 8);
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

// The rows of a picture in a format other than scr: bottom-up, each of
// PictureWidth() indices in IndexedLayout(), within bmp.pixels.
void RenderPicture(std::uint32_t phase) {
  const RowLayout layout = IndexedLayout();
  const std::size_t rowSize = RowBytes(layout, 1);
  const std::uint16_t width = PictureWidth();
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    std::uint8_t* row = &bmp.pixels[rowSize * (kScreenHeight - 1u - y)];
    for (std::uint16_t x = 0; x < width; ++x) {
      const std::uint8_t index = PictureColorIndex(x, y, phase);
      if (layout == RowLayout::kIndexed8) {
        row[x] = index;
      } else if (x % 2 == 0) {
        row[x / 2] = static_cast<std::uint8_t>(index << 4);
      } else {
        row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | index);
      }
    }
  }
}

}  // namespace

void RenderFlashPhase(std::uint32_t phase) {
  if (options.screenFormat != ScreenFormat::kScr) {
    RenderPicture(FormatHasFlash(options.screenFormat) ? phase : 0);
    return;
  }
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
