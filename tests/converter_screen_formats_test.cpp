// zxraster's screen formats (-m) run as a child process: every picture,
// BMP in both colour modes, against a small reference decoder of each
// layout written here; the sizes -m auto tells apart; the size message.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace {

using Lines = std::vector<std::u16string>;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::U;
using testsupport::WriteBytes;

// ------------------------------------------------------------ the screens

// A small generator of its own, so that every build makes the same bytes.
struct Noise {
  std::uint32_t state;
  std::uint8_t Next() {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 16);
  }
};

std::string NoiseBytes(std::size_t size, std::uint32_t seed) {
  Noise noise{seed};
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(noise.Next());
  return bytes;
}

// The 256 byte values, each `copies` times, in an order that puts equal
// values far apart.
std::string EveryByte(std::size_t copies, std::uint32_t step) {
  std::string bytes(256 * copies, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * step) & 0xFF);
  return bytes;
}

// ------------------------------------------------- the reference decoders

using Rgb = std::vector<std::uint32_t>;  // 0xRRGGBB, top line first

const Rgb kBuiltin = {0x000000, 0x0000C0, 0xC00000, 0xC000C0, 0x00C000, 0x00C0C0,
                      0xC0C000, 0xC0C0C0, 0x000000, 0x0000FF, 0xFF0000, 0xFF00FF,
                      0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF};

std::uint8_t At(const std::string& file, std::size_t offset) {
  return static_cast<std::uint8_t>(file[offset]);
}

// The byte of a 6144-byte bitmap that holds pixel column `x` (0..255) of
// line `y`: the screen is three thirds of 64 lines, 2048 bytes each; within
// a third the 8 character rows are 32 bytes apart and the 8 pixel lines of
// a row 256 bytes apart.
std::size_t LineByte(std::size_t x, std::size_t y) {
  const std::size_t third = y / 64, row = (y % 64) / 8, line = y % 8;
  return third * 2048 + line * 256 + row * 32 + x / 8;
}

bool Ink(const std::string& file, std::size_t bitmapAt, std::size_t x, std::size_t y) {
  return ((At(file, bitmapAt + LineByte(x, y)) << (x % 8)) & 0x80) != 0;
}

// Ink (bits 0-2), paper (3-5), bright (6); flash (7) swaps in phase 1.
std::uint32_t AttributeColour(std::uint8_t a, bool ink, int phase, const Rgb& palette) {
  if (phase == 1 && a >= 0x80) ink = !ink;
  const int colour = ink ? a % 8 : (a / 8) % 8;
  return palette[colour + ((a & 0x40) != 0 ? 8 : 0)];
}

Rgb MonoReference(const std::string& file, const Rgb& palette) {
  Rgb rgb;
  for (std::size_t y = 0; y < 192; ++y) {
    for (std::size_t x = 0; x < 256; ++x) rgb.push_back(palette[Ink(file, 0, x, y) ? 0 : 7]);
  }
  return rgb;
}

// Each bitmap byte has its attribute at the same place 6144 bytes on.
Rgb HiColourReference(const std::string& file, int phase, const Rgb& palette) {
  Rgb rgb;
  for (std::size_t y = 0; y < 192; ++y) {
    for (std::size_t x = 0; x < 256; ++x) {
      rgb.push_back(
          AttributeColour(At(file, 6144 + LineByte(x, y)), Ink(file, 0, x, y), phase, palette));
    }
  }
  return rgb;
}

// 64 columns of 8 pixels a line, the even ones from the first bitmap, the
// odd ones from the second; ink from bits 3-5 of the last byte, paper its
// complement, both bright.
Rgb HiResReference(const std::string& file, const Rgb& palette) {
  const int ink = (At(file, 12288) >> 3) & 7;
  Rgb rgb;
  for (std::size_t y = 0; y < 192; ++y) {
    for (std::size_t x = 0; x < 512; ++x) {
      const std::size_t column = x / 8;
      const std::size_t bitmapAt = column % 2 == 0 ? 0 : 6144;
      const bool set = Ink(file, bitmapAt, (column / 2) * 8 + x % 8, y);
      rgb.push_back(palette[8 + (set ? ink : 7 - ink)]);
    }
  }
  return rgb;
}

// GGGRRRBB; 3-bit levels are n * 255 / 7 rounded, blue's two bits stand
// for the 3-bit levels 0, 3, 5 and 7.
std::uint32_t UlaPlusRgb(std::uint8_t grb) {
  const std::uint32_t level[8] = {0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF};
  const std::uint32_t blue[4] = {0x00, 0x6D, 0xB6, 0xFF};
  return level[(grb >> 2) & 7] << 16 | level[grb >> 5] << 8 | blue[grb & 3];
}

// An attribute's FLASH and BRIGHT choose a group of 16 palette entries:
// ink is entry ink of the group, paper entry 8 + paper; nothing blinks.
Rgb UlaPlusReference(const std::string& file) {
  Rgb rgb;
  for (std::size_t y = 0; y < 192; ++y) {
    for (std::size_t x = 0; x < 256; ++x) {
      const std::uint8_t a = At(file, 6144 + (y / 8) * 32 + x / 8);
      const std::size_t flash = a >> 7, bright = (a >> 6) & 1;
      const std::size_t group = 16 * (2 * flash + bright);
      const std::size_t entry = Ink(file, 0, x, y) ? a % 8 : 8 + (a / 8) % 8;
      rgb.push_back(UlaPlusRgb(At(file, 6912 + group + entry)));
    }
  }
  return rgb;
}

// --------------------------------------------------------- the BMP reader

struct Picture {
  std::size_t width = 0, height = 0;
  Rgb rgb;  // top line first
};

std::uint32_t Le(const std::string& file, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | At(file, at + i);
  return value;
}

// A bottom-up BMP of 4, 8 or 24 bits per pixel, rows padded to 4 bytes;
// the colour table after the 40-byte information header.
Picture ReadBmp(const std::string& file, int expectedBits) {
  Picture p;
  if (file.size() < 54 || file.compare(0, 2, "BM") != 0) return p;
  EXPECT_EQ(Le(file, 2, 4), file.size());
  const int bits = static_cast<int>(Le(file, 28, 2));
  EXPECT_EQ(bits, expectedBits);
  p.width = Le(file, 18, 4);
  p.height = Le(file, 22, 4);
  const std::size_t pixelsAt = Le(file, 10, 4);
  const std::size_t rowSize = (p.width * bits + 31) / 32 * 4;
  if (pixelsAt + rowSize * p.height > file.size()) return Picture();
  for (std::size_t y = 0; y < p.height; ++y) {
    const std::size_t row = pixelsAt + (p.height - 1 - y) * rowSize;
    for (std::size_t x = 0; x < p.width; ++x) {
      std::size_t index = 0;
      if (bits == 24) {
        p.rgb.push_back(Le(file, row + 3 * x, 3));
        continue;
      }
      index = bits == 8 ? At(file, row + x) : (At(file, row + x / 2) >> (x % 2 == 0 ? 4 : 0)) & 15;
      p.rgb.push_back(Le(file, 54 + 4 * index, 3));
    }
  }
  return p;
}

// ---------------------------------------------------------- the runs

// Converts `file` with -m and the options given, in both colour modes, and
// compares every pixel of both BMPs with the reference picture.
void ExpectPictures(const std::string& format, const std::string& file, const Rgb& reference,
                    std::size_t width, const std::vector<std::u16string>& more,
                    const std::string& what) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", file);
  for (int indexed : {0, 1}) {
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-o", u"o.bmp",
                                        u"-m", U(format),  u"-c", indexed != 0 ? u"1" : u"0"};
    args.insert(args.end(), more.begin(), more.end());
    const testsupport::ConsoleRun run = testsupport::RunForConsole("zxraster", args, dir.path());
    EXPECT_EQ(run.exitCode, 0u) << what;
    const int bits = indexed == 0 ? 24 : (format == "ulaplus" ? 8 : 4);
    const Picture p = ReadBmp(ReadBytes(dir / "o.bmp"), bits);
    ASSERT_EQ(p.width, width) << what;
    ASSERT_EQ(p.height, 192u) << what;
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
      if (p.rgb[i] != reference[i] && differing++ == 0) first = i;
    }
    EXPECT_EQ(differing, 0u) << what << ", -c " << indexed << ": first at x " << first % width
                             << " y " << first / width;
  }
}

TEST(ZxrasterScreenFormats, MonoShowsTheBitmapInBlackOnWhite) {
  const std::string screens[] = {std::string(6144, '\0'), std::string(6144, '\xFF'),
                                 NoiseBytes(6144, 1), NoiseBytes(6144, 2)};
  for (const std::string& screen : screens) {
    ExpectPictures("mono", screen, MonoReference(screen, kBuiltin), 256, {}, "mono");
  }
  // Flash does not apply: phase 1 is the same picture.
  ExpectPictures("mono", screens[2], MonoReference(screens[2], kBuiltin), 256, {u"-a", u"1"},
                 "mono, -a 1");
}

TEST(ZxrasterScreenFormats, HiColourGivesEachEightPixelsTheirOwnAttribute) {
  struct Case {
    std::uint32_t seed, step;
    int phase;
  };
  const Case cases[] = {{3, 1, 0}, {4, 97, 0}, {5, 37, 1}, {6, 193, 1}};
  for (const Case& c : cases) {
    // Every attribute value 24 times over a noisy bitmap.
    const std::string screen = NoiseBytes(6144, c.seed) + EveryByte(24, c.step);
    ExpectPictures("timex-hicolour", screen, HiColourReference(screen, c.phase, kBuiltin), 256,
                   {u"-a", c.phase == 0 ? u"0" : u"1"},
                   "timex-hicolour seed " + std::to_string(c.seed));
  }
}

TEST(ZxrasterScreenFormats, HiResShowsBothBitmapsSideBySideInTheColourOfItsByte) {
  for (unsigned ink = 0; ink < 8; ++ink) {
    // The screen-mode bits beside the colour change nothing.
    for (unsigned other : {0x06u, 0xC1u}) {
      const std::string screen = NoiseBytes(12288, 10 + ink) +
                                 static_cast<char>(static_cast<std::uint8_t>(ink << 3 | other));
      ExpectPictures("timex-hires", screen, HiResReference(screen, kBuiltin), 512, {},
                     "timex-hires ink " + std::to_string(ink) + " other " + std::to_string(other));
    }
  }
}

TEST(ZxrasterScreenFormats, UlaPlusTakesEveryCellsColoursFromItsOwnPalette) {
  // Four palettes hold every byte value once; every attribute value occurs.
  for (std::uint32_t part = 0; part < 4; ++part) {
    std::string palette(64, '\0');
    for (std::size_t i = 0; i < 64; ++i) {
      palette[i] = static_cast<char>(((static_cast<std::size_t>(part) * 64 + i) * 167) & 0xFF);
    }
    const std::string screen = NoiseBytes(6144, 20 + part) + EveryByte(3, 1 + 2 * part) + palette;
    // Flash does not blink here: phase 1 is the same picture.
    ExpectPictures("ulaplus", screen, UlaPlusReference(screen), 256,
                   {u"-a", part % 2 == 0 ? u"0" : u"1"}, "ulaplus part " + std::to_string(part));
  }
}

// ------------------------------------------------------------ auto, sizes

// A +3DOS header for a file of `length` bytes: signature, 1A, issue 1, the
// length, and the checksum in byte 127.
std::string Plus3Header(std::size_t length) {
  std::string header(128, '\0');
  header.replace(0, 9, "PLUS3DOS\x1A");
  header[9] = 1;
  for (int i = 0; i < 4; ++i) header[11 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += At(header, i);
  header[127] = static_cast<char>(sum & 0xFF);
  return header;
}

struct SizeCase {
  const char* mode;      ///< the -m value
  std::size_t size;      ///< of the screen data
  bool plus3;            ///< behind a good +3DOS header
  const char* read;      ///< the Screen row
  std::size_t expected;  ///< the size the message names; 0: no message
};

TEST(ZxrasterScreenFormats, AutoTakesTheFormatOfTheSizeAndTheMessageNamesItsSize) {
  const SizeCase cases[] = {
      {"auto", 6912, false, "scr (auto)", 0},
      {"auto", 6144, false, "mono (auto)", 0},
      {"auto", 12288, false, "timex-hicolour (auto)", 0},
      {"auto", 12289, false, "timex-hires (auto)", 0},
      {"auto", 6976, false, "ulaplus (auto)", 0},
      {"AUTO", 6912, true, "scr (auto)", 0},
      {"auto", 6144, true, "mono (auto)", 0},
      {"auto", 12288, true, "timex-hicolour (auto)", 0},
      {"auto", 12289, true, "timex-hires (auto)", 0},
      {"auto", 6976, true, "ulaplus (auto)", 0},
      {"auto", 0, false, "scr (auto)", 6912},
      {"auto", 7000, false, "scr (auto)", 6912},
      {"auto", 12290, false, "scr (auto)", 6912},
      {"auto", 6912 + 128, false, "scr (auto)", 6912},  // no header: its first 6912 bytes
      {"auto", 6144 + 128, false, "scr (auto)", 6912},
      {"scr", 6144, false, "scr", 6912},
      {"mono", 6912, false, "mono", 6144},
      {"Timex-Hires", 12288, false, "Timex-Hires", 12289},
      {"timex-hicolour", 12289, false, "timex-hicolour", 12288},
      {"ulaplus", 6912, false, "ulaplus", 6976},
      {"ulaplus", 6976, true, "ulaplus", 0},
      {"mono", 6144, true, "mono", 0},
  };
  for (const SizeCase& c : cases) {
    ScratchDir dir;
    const std::string data = NoiseBytes(c.size, static_cast<std::uint32_t>(c.size));
    WriteBytes(dir / "inp.scr", c.plus3 ? Plus3Header(128 + c.size) + data : data);
    const testsupport::ConsoleRun run = testsupport::RunForConsole(
        "zxraster", {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-m", U(c.mode)}, dir.path());
    const std::string what =
        std::string(c.mode) + " " + std::to_string(c.size) + (c.plus3 ? " +3DOS" : "");
    EXPECT_EQ(run.exitCode, 0u) << what;
    Lines expected = testsupport::ZxrasterSettings(u"inp.scr", u"o.bmp");
    expected.insert(expected.end() - 1, testsupport::zxraster::kScreen + U(c.read));
    if (c.expected != 0) {
      const std::size_t fileSize = c.size + (c.plus3 ? 128 : 0);
      expected.push_back(u"ERR_INP_FILE: length of inp.scr is " + U(std::to_string(fileSize)) +
                         u" bytes, not equal " + U(std::to_string(c.expected)) +
                         u" bytes, truncated.");
    }
    const Lines summary = testsupport::ZxrasterSummary(0);
    expected.insert(expected.end(), summary.begin(), summary.end());
    EXPECT_EQ(run.console, expected) << what;
    EXPECT_FALSE(testsupport::ReadBytes(dir / "o.bmp").empty()) << what;
  }
}

// A short file gives what it holds; the rest is black (hi-colour's missing
// attributes are white ink on black paper, hi-res's missing byte the same,
// a missing ULAplus palette black); a bad -m is an error with no picture;
// -p is ignored for ULAplus.
TEST(ZxrasterScreenFormats, ShortFilesBadNamesAndThePaletteOption) {
  ScratchDir dir;
  const std::string bitmap = NoiseBytes(6144, 30);
  struct Case {
    const char* mode;
    std::string file;
    std::string full;  ///< the file the short one converts like
    std::size_t width;
  };
  const Case cases[] = {
      {"timex-hicolour", bitmap + std::string(1, '\x45'),
       bitmap + std::string(1, '\x45') + std::string(6143, '\x07'), 256},
      {"timex-hires", bitmap + bitmap, bitmap + bitmap + std::string(1, '\x38'), 512},
      {"ulaplus", bitmap + std::string(768, '\x3A'),
       bitmap + std::string(768, '\x3A') + std::string(64, '\0'), 256},
  };
  for (const Case& c : cases) {
    WriteBytes(dir / "short.scr", c.file);
    WriteBytes(dir / "full.scr", c.full);
    for (const char* name : {"short", "full"}) {
      testsupport::RunForConsole(
          "zxraster", {u"-i", U(std::string(name) + ".scr"), u"-m", U(c.mode)}, dir.path());
    }
    EXPECT_EQ(ReadBytes(dir / "short.scr.bmp"), ReadBytes(dir / "full.scr.bmp")) << c.mode;
    EXPECT_EQ(ReadBmp(ReadBytes(dir / "short.scr.bmp"), 24).width, c.width) << c.mode;
  }

  WriteBytes(dir / "inp.scr", bitmap + EveryByte(3, 1) + NoiseBytes(64, 31));
  WriteBytes(dir / "pal.txt", std::string("1,2,3\r\n") + "4,5,6\r\n");
  testsupport::ConsoleRun run = testsupport::RunForConsole(
      "zxraster", {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-m", u"ulaplus", u"-p", u"pal.txt"},
      dir.path());
  EXPECT_EQ(run.exitCode, 0u);
  Lines expected =
      testsupport::ZxrasterSettings(u"inp.scr", u"o.bmp", testsupport::kTrueColor, u"", u"pal.txt");
  expected.insert(expected.end() - 1, {testsupport::zxraster::kScreen + std::u16string(u"ulaplus"),
                                       testsupport::zxraster::kOwnPalette});
  const Lines summary = testsupport::ZxrasterSummary(0);
  expected.insert(expected.end(), summary.begin(), summary.end());
  EXPECT_EQ(run.console, expected);
  EXPECT_EQ(ReadBmp(ReadBytes(dir / "o.bmp"), 24).rgb,
            UlaPlusReference(ReadBytes(dir / "inp.scr")));

  run = testsupport::RunForConsole(
      "zxraster", {u"-i", u"inp.scr", u"-o", u"bad.bmp", u"-m", u"hires"}, dir.path());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_TRUE(
      testsupport::HasLine(run.console,
                           u"ERR_SCREEN: hires is no screen format (scr, mono, timex-hicolour, "
                           u"timex-hires, ulaplus or auto)."));
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.bmp"));
}

}  // namespace
