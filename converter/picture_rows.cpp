// The rows the picture encoders write: the palette indices of a rendered
// line, packed as 4-bit pairs, 8-bit indices or colours, each pixel
// repeated to scale.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "converter/converter.h"

namespace converter {

RowLayout IndexedLayout() {
  return PictureColourCount() > 16 ? RowLayout::kIndexed8 : RowLayout::kIndexed4;
}

std::size_t RowBytes(RowLayout layout, std::uint32_t scale) {
  const std::size_t width = std::size_t{PictureWidth()} * scale;
  switch (layout) {
    case RowLayout::kIndexed4:
      return width / 2;
    case RowLayout::kIndexed8:
      return width;
    case RowLayout::kBgr:
    case RowLayout::kRgb:
      break;
  }
  return width * 3;
}

namespace {

// The two indices of each 4-bit pair, the high nibble first.
struct NibblePairs {
  std::uint8_t pair[256][2] = {};
  constexpr NibblePairs() {
    for (unsigned byte = 0; byte < 256; ++byte) {
      pair[byte][0] = static_cast<std::uint8_t>(byte >> 4);
      pair[byte][1] = static_cast<std::uint8_t>(byte & 0x0F);
    }
  }
};
constexpr NibblePairs kNibblePairs;

}  // namespace

void RenderedRow(std::uint16_t r, std::uint8_t* indices) {
  const RowLayout layout = IndexedLayout();
  const std::uint8_t* row = &bmp.pixels[RowBytes(layout, 1) * r];
  const std::size_t width = PictureWidth();
  if (layout == RowLayout::kIndexed8) {
    for (std::size_t x = 0; x < width; ++x) indices[x] = row[x];
    return;
  }
  for (std::size_t x = 0; x < width; x += 2)
    std::memcpy(indices + x, kNibblePairs.pair[row[x / 2]], 2);
}

void PictureColourBytes(RowLayout layout, std::uint8_t (*colours)[4]) {
  const std::size_t first = layout == RowLayout::kBgr ? kBlue : kRed;
  const std::size_t last = layout == RowLayout::kBgr ? kRed : kBlue;
  const std::uint16_t count = PictureColourCount();
  for (std::uint16_t i = 0; i < count; ++i) {
    std::uint8_t colour[3];
    PictureColour(static_cast<std::uint8_t>(i), colour);
    colours[i][0] = colour[first];
    colours[i][1] = colour[kGreen];
    colours[i][2] = colour[last];
    colours[i][3] = 0;
  }
}

void PackIndexRow(const std::uint8_t* indices, RowLayout layout, std::uint32_t scale,
                  std::uint8_t* out) {
  const std::size_t width = std::size_t{PictureWidth()} * scale;
  if (layout == RowLayout::kIndexed4) {
    for (std::size_t x = 0; x < width; x += 2) {
      out[x / 2] = static_cast<std::uint8_t>((indices[x / scale] & 0x0F) << 4 |
                                             (indices[(x + 1) / scale] & 0x0F));
    }
    return;
  }
  if (layout == RowLayout::kIndexed8) {
    for (std::size_t x = 0; x < width; ++x) out[x] = indices[x / scale];
    return;
  }
  // The picture's colours once a row (the count is a power of two), then
  // `scale` copies of each pixel's.
  std::uint8_t colours[kUlaPlusPaletteSize][4] = {};
  PictureColourBytes(layout, colours);
  const std::uint16_t count = PictureColourCount();
  const std::size_t pixels = PictureWidth();
  const unsigned mask = count - 1u;
  if (scale == 1) {
    // Four bytes a store, the fourth overwritten by the next pixel; the
    // last pixel takes its three alone, so nothing past the row is touched.
    for (std::size_t x = 0; x + 1 < pixels; ++x, out += 3) {
      std::memcpy(out, colours[indices[x] & mask], 4);
    }
    std::memcpy(out, colours[indices[pixels - 1] & mask], 3);
    return;
  }
  for (std::size_t x = 0; x < pixels; ++x) {
    const std::uint8_t* colour = colours[indices[x] & mask];
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
