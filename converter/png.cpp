// PNG output: truecolour or 4-bit indexed, scaled, and the two flash phases
// as an animated PNG; compressed by DeflateRuns (or zlib, for comparison).
// SPDX-License-Identifier: MIT
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "converter/converter.h"

namespace converter {

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The real machine swaps the flash phases every 16 frames of 50 Hz.
constexpr std::uint16_t kFrameDelayNumerator = 32;
constexpr std::uint16_t kFrameDelayDenominator = 100;

// PNG row filters used here.
constexpr std::uint8_t kFilterSub = 1;
constexpr std::uint8_t kFilterUp = 2;

void Put32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
  }
}

void Put16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// Length, type, data and the CRC of type and data.
void PutChunk(Bytes& out, const char* type, const Bytes& data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, &out[typeAt], static_cast<uInt>(4 + data.size()));
  Put32(out, static_cast<std::uint32_t>(crc));
}

// A raw deflate stream that collects its output; CompressRows writes the
// zlib header and checksum around it.
struct Deflater {
  z_stream stream{};
  Bytes out;

  explicit Deflater(const PngDeflate& settings) {
    if (deflateInit2(&stream, settings.level, Z_DEFLATED, -settings.windowBits, settings.memLevel,
                     settings.strategy) != Z_OK) {
      throw std::bad_alloc();
    }
  }
  ~Deflater() { deflateEnd(&stream); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Hands the bytes (none, to finish) to zlib; the stream's state after it.
  int Feed(const std::uint8_t* data, std::size_t size, int flush) {
    stream.next_in = data != nullptr ? const_cast<Bytef*>(data) : Z_NULL;
    stream.avail_in = static_cast<uInt>(size);
    std::uint8_t buffer[16384];
    int result = Z_OK;
    do {
      stream.next_out = buffer;
      stream.avail_out = sizeof buffer;
      result = deflate(&stream, flush);
      out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0);
    return result;
  }
};

// The two zlib header bytes for a window of 2^windowBits bytes; the level
// field (fastest, fast, default, best) is information for the reader only.
void PutZlibHeader(Bytes& out, const PngDeflate& settings) {
  const unsigned method = static_cast<unsigned>(settings.windowBits - 8) << 4 | 8;
  const int level = settings.level;
  const unsigned levelField = level == 1                 ? 0u
                              : level >= 2 && level <= 5 ? 1u
                              : level >= 7               ? 3u
                                                         : 2u;
  unsigned flags = levelField << 6;
  flags += 31 - (method << 8 | flags) % 31;
  out.push_back(static_cast<std::uint8_t>(method));
  out.push_back(static_cast<std::uint8_t>(flags));
}

// Whether the Up filter leaves fewer non-zero bytes than Sub: Sub leaves one
// pixel at each change of colour along the line, Up all `scale` copies of
// each pixel that differs from the one above.
bool UpLeavesLess(const std::uint8_t* indices, const std::uint8_t* above, std::size_t width,
                  std::uint32_t scale) {
  unsigned sub = 0;
  unsigned up = indices[0] != above[0] ? 1u : 0u;
  for (std::size_t x = 1; x < width; ++x) {
    sub += indices[x] != indices[x - 1] ? 1u : 0u;
    up += indices[x] != above[x] ? 1u : 0u;
  }
  return up * scale < sub;
}

// Byte by byte a - b (mod 256) of the four bytes of two words, with no
// borrow from one byte into the next.
std::uint32_t SubtractBytes(std::uint32_t a, std::uint32_t b) {
  constexpr std::uint32_t kHigh = 0x80808080u;
  return ((a | kHigh) - (b & ~kHigh)) ^ ((a ^ ~b) & kHigh);
}

// For truecolour rows: the difference of every two of the picture's
// colours, as words of red, green, blue and a zero byte in memory order,
// so that a filtered pixel is one load and one store. The colour count is
// a power of two, 2^shift.
struct RgbDifferences {
  std::vector<std::uint32_t> difference;  ///< [a << shift | b]: colour a less colour b
  std::vector<std::uint32_t> colour;      ///< colour a itself
  unsigned shift = 0;
  unsigned mask = 0;
};

RgbDifferences PictureRgbDifferences() {
  RgbDifferences table;
  const std::uint16_t count = PictureColourCount();
  while ((1u << table.shift) < count) ++table.shift;
  table.mask = count - 1u;
  std::uint8_t bytes[kUlaPlusPaletteSize][4] = {};
  PictureColourBytes(RowLayout::kRgb, bytes);
  table.colour.resize(count);
  std::memcpy(table.colour.data(), bytes, std::size_t{4} * count);
  table.difference.resize(std::size_t{count} * count);
  for (std::uint16_t a = 0; a < count; ++a) {
    for (std::uint16_t b = 0; b < count; ++b) {
      table.difference[std::size_t{a} << table.shift | b] =
          SubtractBytes(table.colour[a], table.colour[b]);
    }
  }
  return table;
}

// One truecolour row filtered straight from its indices: with Sub, each
// pixel's first copy less the pixel before (the first pixel as it is) and
// its other copies zero; with Up (above given), every copy less the pixel
// above. A pixel is stored as four bytes, the fourth overwritten by the
// next: out holds three bytes more than the row.
void FilterRgbRow(const std::uint8_t* indices, const std::uint8_t* above,
                  const RgbDifferences& table, std::uint32_t scale, std::uint8_t* out) {
  const std::size_t width = PictureWidth();
  const std::uint32_t* difference = table.difference.data();
  const unsigned shift = table.shift, mask = table.mask;
  if (above != nullptr && scale == 1) {
    for (std::size_t x = 0; x < width; ++x, out += 3) {
      const std::uint32_t d = difference[(indices[x] & mask) << shift | (above[x] & mask)];
      std::memcpy(out, &d, 4);
    }
    return;
  }
  if (above != nullptr) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t d = difference[(indices[x] & mask) << shift | (above[x] & mask)];
      for (std::uint32_t k = 0; k < scale; ++k, out += 3) std::memcpy(out, &d, 4);
    }
    return;
  }
  // The copies after the first are zero.
  const std::size_t pixelBytes = std::size_t{3} * scale;
  if (scale > 1) std::memset(out, 0, width * pixelBytes);
  std::memcpy(out, &table.colour[indices[0] & mask], 4);
  out += pixelBytes;
  for (std::size_t x = 1; x < width; ++x) {
    const std::uint32_t d = difference[(indices[x] & mask) << shift | (indices[x - 1] & mask)];
    std::memcpy(out, &d, 4);
    out += pixelBytes;
  }
}

// The rows of one picture as CompressRows filters them: the indices of
// the line and of the one above, and its bytes.
struct PictureRows {
  RowLayout layout;
  std::uint32_t scale;
  std::size_t rowSize;
  std::uint8_t indices[kHiResWidth] = {};
  std::uint8_t above[kHiResWidth] = {};
  RgbDifferences differences;  ///< truecolour: filtered from the indices
  Bytes raw;                   ///< the other layouts: packed first
  Bytes rawAbove;
  Bytes first;   ///< the filter byte, the row and room for FilterRgbRow's last word
  Bytes repeat;  ///< a repeat of the row: Up, all zeros

  PictureRows(RowLayout rowLayout, std::uint32_t rowScale)
      : layout(rowLayout),
        scale(rowScale),
        rowSize(RowBytes(rowLayout, rowScale)),
        first(rowSize + 4),
        repeat(rowSize + 1, 0) {
    repeat[0] = kFilterUp;
    if (layout == RowLayout::kRgb) {
      differences = PictureRgbDifferences();
    } else {
      raw.resize(rowSize);
      rawAbove.resize(rowSize);
    }
  }
};

// The first row of the line in `rows.indices` into rows.first, against
// the line above (`up`) or its left neighbours.
void FilterRow(PictureRows& rows, bool up) {
  rows.first[0] = up ? kFilterUp : kFilterSub;
  if (rows.layout == RowLayout::kRgb) {
    FilterRgbRow(rows.indices, up ? rows.above : nullptr, rows.differences, rows.scale,
                 &rows.first[1]);
    return;
  }
  PackIndexRow(rows.indices, rows.layout, rows.scale, rows.raw.data());
  const std::uint8_t* raw = rows.raw.data();
  std::uint8_t* out = &rows.first[1];
  if (up) {
    const std::uint8_t* above = rows.rawAbove.data();
    for (std::size_t i = 0; i < rows.rowSize; ++i)
      out[i] = static_cast<std::uint8_t>(raw[i] - above[i]);
    return;
  }
  out[0] = raw[0];  // one byte a pixel, or two pixels a byte
  for (std::size_t i = 1; i < rows.rowSize; ++i)
    out[i] = static_cast<std::uint8_t>(raw[i] - raw[i - 1]);
}

// Where the filtered rows go: DeflateRuns, or zlib with the settings.
struct RowSink {
  bool runCoder;
  ZlibRuns runs;
  std::optional<Deflater> deflater;
  uLong sum = adler32(0L, Z_NULL, 0);
  uLong repeatSum = 0;  ///< zlib: the checksum of one repeat row

  RowSink(const PngDeflate& settings, const Bytes& repeat) : runCoder(settings.runCoder) {
    if (runCoder) {
      StartZlibRuns(runs);
      return;
    }
    deflater.emplace(settings);
    PutZlibHeader(deflater->out, settings);
    repeatSum = adler32(adler32(0L, Z_NULL, 0), repeat.data(), static_cast<uInt>(repeat.size()));
  }
  // A line: its first row, then `repeats` copies of the repeat row (with
  // zlib, their checksum combined from that of one, not summed again).
  void Feed(const std::uint8_t* row, std::size_t size, const Bytes& repeat, std::uint32_t repeats) {
    if (runCoder) {
      DeflateRuns(runs, row, size);
      for (std::uint32_t k = 0; k < repeats; ++k) DeflateRuns(runs, repeat.data(), repeat.size());
      return;
    }
    sum = adler32(sum, row, static_cast<uInt>(size));
    deflater->Feed(row, size, Z_NO_FLUSH);
    for (std::uint32_t k = 0; k < repeats; ++k) {
      sum = adler32_combine(sum, repeatSum, static_cast<z_off_t>(repeat.size()));
      deflater->Feed(repeat.data(), repeat.size(), Z_NO_FLUSH);
    }
  }
  Bytes Finish() {
    if (runCoder) return FinishZlibRuns(runs);
    if (deflater->Feed(nullptr, 0, Z_FINISH) != Z_STREAM_END) {
      throw std::runtime_error("zlib: deflate failed");
    }
    Put32(deflater->out, static_cast<std::uint32_t>(sum));
    return std::move(deflater->out);
  }
};

}  // namespace

// The filters leave runs of zeros, and run-length matching finds them at a
// fraction of the time of a full match search; choosing Up where it leaves
// less makes the files smaller still. Of the coders the benchmark weighs,
// DeflateRuns is the fastest, at about a quarter of zlib's time, with files
// as small as those of zlib's run-length strategy (tools/bench_zxraster.sh
// prints both). zlib's level 1 triples the files of screens with large
// plain areas.
const PngDeflate kPngDeflate = {Z_DEFAULT_COMPRESSION, Z_RLE, 6, 15, true, true};

// Compresses the rows of the picture into one zlib stream, row by row, so
// no copy of the whole picture is ever made. Each ZX line gives `scale`
// rows: the first filtered against its left neighbours (runs of one colour
// become zeros), or with `chooseFilter` against the line above where that
// leaves fewer changes; the repeats against the row above (all zeros). The
// file is the same for the same screen and options (with zlib, and the
// same zlib).
Bytes CompressRows(bool indexed, std::uint32_t scale, std::uint32_t phase,
                   const PngDeflate& settings) {
  scale = std::max<std::uint32_t>(scale, 1);
  PictureRows rows(indexed ? IndexedLayout() : RowLayout::kRgb, scale);
  RowSink sink(settings, rows.repeat);
  const std::size_t width = PictureWidth();
  for (std::uint16_t y = 0; y < kScreenHeight; ++y) {
    PictureIndexRow(static_cast<std::uint16_t>(kScreenHeight - 1 - y), phase, rows.indices);
    FilterRow(rows, settings.chooseFilter && y > 0 &&
                        UpLeavesLess(rows.indices, rows.above, width, scale));
    sink.Feed(rows.first.data(), rows.rowSize + 1, rows.repeat, scale - 1);
    std::copy(rows.indices, rows.indices + width, rows.above);
    rows.raw.swap(rows.rawAbove);
  }
  return sink.Finish();
}

namespace {

// Frame control: the sequence number, the whole picture, the delay; the
// frame replaces the one before.
Bytes FrameControl(std::uint32_t sequence, std::uint32_t width, std::uint32_t height) {
  Bytes data;
  Put32(data, sequence);
  Put32(data, width);
  Put32(data, height);
  Put32(data, 0);  // x offset
  Put32(data, 0);  // y offset
  Put16(data, kFrameDelayNumerator);
  Put16(data, kFrameDelayDenominator);
  data.push_back(0);  // dispose: none
  data.push_back(0);  // blend: source
  return data;
}

}  // namespace

Bytes EncodePng(bool indexed, std::uint32_t scale, std::uint32_t phase) {
  const std::uint32_t width = std::uint32_t{PictureWidth()} * scale;
  const std::uint32_t height = kScreenHeight * scale;
  // A format without flash shows one still picture whatever the phase.
  if (!FormatHasFlash(options.screenFormat)) phase = 0;
  const bool animated = phase == 2;
  const bool wide = IndexedLayout() == RowLayout::kIndexed8;
  Bytes png(kSignature, kSignature + sizeof kSignature);

  Bytes header;
  Put32(header, width);
  Put32(header, height);
  header.push_back(indexed && !wide ? 4 : 8);  // bit depth
  header.push_back(indexed ? 3 : 2);           // colour type: palette, or RGB
  header.push_back(0);                         // compression: deflate
  header.push_back(0);                         // filter method: adaptive
  header.push_back(0);                         // no interlace
  PutChunk(png, "IHDR", header);

  if (animated) {
    Bytes control;
    Put32(control, 2);  // frames
    Put32(control, 0);  // plays: for ever
    PutChunk(png, "acTL", control);
  }
  if (indexed) {
    Bytes palette;
    std::uint8_t colour[3];
    for (std::uint16_t i = 0; i < PictureColourCount(); ++i) {
      PictureColour(static_cast<std::uint8_t>(i), colour);
      palette.push_back(colour[kRed]);
      palette.push_back(colour[kGreen]);
      palette.push_back(colour[kBlue]);
    }
    PutChunk(png, "PLTE", palette);
  }

  // An scr screen's rows are decoded as they are compressed; the other
  // formats are rendered first.
  const bool rendered = options.screenFormat != ScreenFormat::kScr;
  const std::uint32_t firstPhase = animated ? 0 : phase;
  if (rendered) RenderFlashPhase(firstPhase);
  if (animated) PutChunk(png, "fcTL", FrameControl(0, width, height));
  PutChunk(png, "IDAT", CompressRows(indexed, scale, firstPhase, kPngDeflate));
  if (animated) {
    // The second frame: phase 1, in a frame data chunk after its control.
    PutChunk(png, "fcTL", FrameControl(1, width, height));
    if (rendered) RenderFlashPhase(1);
    Bytes frame;
    Put32(frame, 2);  // sequence number
    const Bytes data = CompressRows(indexed, scale, 1, kPngDeflate);
    frame.insert(frame.end(), data.begin(), data.end());
    PutChunk(png, "fdAT", frame);
  }
  PutChunk(png, "IEND", Bytes());
  return png;
}

}  // namespace converter
