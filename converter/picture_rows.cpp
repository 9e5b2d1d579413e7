// The rows the picture encoders write: the palette indices of a rendered
// line, packed as 4-bit pairs or as colours, each pixel repeated to scale.
// SPDX-License-Identifier: MIT
#include "converter/converter.h"

namespace converter {

std::size_t RowBytes(RowLayout layout, std::uint32_t scale) {
  const std::size_t width = std::size_t{kScreenWidth} * scale;
  return layout == RowLayout::kIndexed4 ? width / 2 : width * 3;
}

void RenderedRow(std::uint16_t r, std::uint8_t* indices) {
  const std::uint8_t* row = &bmp.pixels[std::size_t{kIndexedPixelSize / kScreenHeight} * r];
  for (std::size_t x = 0; x < kScreenWidth; x += 2) {
    indices[x] = static_cast<std::uint8_t>(row[x / 2] >> 4);
    indices[x + 1] = static_cast<std::uint8_t>(row[x / 2] & 0x0F);
  }
}

void PackIndexRow(const std::uint8_t* indices, RowLayout layout, std::uint32_t scale,
                  std::uint8_t* out) {
  const std::size_t width = std::size_t{kScreenWidth} * scale;
  if (layout == RowLayout::kIndexed4) {
    for (std::size_t x = 0; x < width; x += 2) {
      out[x / 2] = static_cast<std::uint8_t>((indices[x / scale] & 0x0F) << 4 |
                                             (indices[(x + 1) / scale] & 0x0F));
    }
    return;
  }
  // The colour of each index once, then `scale` copies of it.
  const std::size_t first = layout == RowLayout::kBgr ? kBlue : kRed;
  const std::size_t last = layout == RowLayout::kBgr ? kRed : kBlue;
  std::uint8_t colours[16][3];
  for (std::size_t i = 0; i < 16; ++i) {
    colours[i][0] = ActivePalette.entry[i][first];
    colours[i][1] = ActivePalette.entry[i][kGreen];
    colours[i][2] = ActivePalette.entry[i][last];
  }
  if (scale == 1) {
    for (std::size_t x = 0; x < kScreenWidth; ++x, out += 3) {
      const std::uint8_t* colour = colours[indices[x] & 0x0F];
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
    }
    return;
  }
  for (std::size_t x = 0; x < kScreenWidth; ++x) {
    const std::uint8_t* colour = colours[indices[x] & 0x0F];
    const std::uint8_t c0 = colour[0];
    const std::uint8_t c1 = colour[1];
    const std::uint8_t c2 = colour[2];
    for (std::uint32_t k = 0; k < scale; ++k, out += 3) {
      out[0] = c0;
      out[1] = c1;
      out[2] = c2;
    }
  }
}

}  // namespace converter
