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
  const std::size_t first = layout == RowLayout::kBgr ? kBlue : kRed;
  const std::size_t last = layout == RowLayout::kBgr ? kRed : kBlue;
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint8_t* colour = ActivePalette.entry[indices[x / scale] & 0x0F];
    out[3 * x] = colour[first];
    out[3 * x + 1] = colour[kGreen];
    out[3 * x + 2] = colour[last];
  }
}

}  // namespace converter
