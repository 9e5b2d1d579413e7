// zxraster run as a child process: console and log lines, BMP bytes and
// exit codes.
// SPDX-License-Identifier: MIT
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "converter/converter.h"
#include "tests/support/reports.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;
using testsupport::Concat;
using testsupport::ConsoleLines;
using testsupport::ConsoleRun;
using testsupport::kIndexedColor;
using testsupport::kLogging;
using testsupport::kTrueColor;
using testsupport::Narrow;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::TestScreen;
using testsupport::Utf8Lines;
using testsupport::WriteBytes;
using testsupport::ZxrasterPictureSettings;
using testsupport::ZxrasterSettings;
using testsupport::ZxrasterSummary;

ConsoleRun Zxraster(const ScratchDir& dir, const std::vector<std::u16string>& args) {
  return testsupport::RunForConsole("zxraster", args, dir.path());
}

std::string Join(const Lines& lines) {
  std::string text;
  for (const std::u16string& line : lines) text += Narrow(line) + "\n";
  return text;
}

#define EXPECT_LINES(actual, ...) EXPECT_EQ(Join(actual), Join(Lines(__VA_ARGS__)))

using Colors = std::vector<std::uint32_t>;  // 0xRRGGBB for indices 0..15

const Colors kBuiltin = {0x000000, 0x0000C0, 0xC00000, 0xC000C0, 0x00C000, 0x00C0C0,
                         0xC0C000, 0xC0C0C0, 0x000000, 0x0000FF, 0xFF0000, 0xFF00FF,
                         0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF};

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The BMP the screen must give, worked out from the display-file byte
// offsets: bits 11-12 third, 8-10 pixel line, 5-7 character row, 0-4 column.
std::string ExpectedBmp(const std::string& scr, bool indexed, const Colors& colors) {
  std::string padded = scr.substr(0, 6912);
  if (padded.size() < 6144) padded.resize(6144, '\0');
  padded.resize(6912, '\x07');
  const std::size_t headerSize = indexed ? 118 : 54;
  const std::size_t pixelSize = indexed ? 24576 : 147456;
  std::string file(headerSize + pixelSize + 2, '\0');
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 10, static_cast<std::uint32_t>(headerSize));
  Put32(file, 14, 40);
  Put32(file, 18, 256);
  Put32(file, 22, 192);
  file[26] = 1;
  file[28] = indexed ? 4 : 24;
  Put32(file, 34, static_cast<std::uint32_t>(pixelSize + 2));
  Put32(file, 38, 2834);
  Put32(file, 42, 2834);
  if (indexed) {
    for (int i = 0; i < 16; ++i) Put32(file, 54 + 4 * i, colors[i]);
  }
  for (int k = 0; k < 6144; ++k) {
    int y = ((k >> 11) & 3) * 64 + ((k >> 5) & 7) * 8 + ((k >> 8) & 7);
    for (int bit = 0; bit < 8; ++bit) {
      int x = (k & 31) * 8 + bit;
      int attr = static_cast<std::uint8_t>(padded[6144 + (y / 8) * 32 + x / 8]);
      bool ink = ((static_cast<std::uint8_t>(padded[k]) << bit) & 0x80) != 0;
      int index = (ink ? attr & 7 : (attr >> 3) & 7) + ((attr & 0x40) != 0 ? 8 : 0);
      std::size_t row = 191 - y;
      if (indexed) {
        char& cell = file[headerSize + row * 128 + x / 2];
        cell = static_cast<char>(cell | (x % 2 != 0 ? index : index << 4));
      } else {
        std::size_t at = headerSize + row * 768 + static_cast<std::size_t>(x) * 3;
        file[at] = static_cast<char>(colors[index] & 0xFF);
        file[at + 1] = static_cast<char>((colors[index] >> 8) & 0xFF);
        file[at + 2] = static_cast<char>((colors[index] >> 16) & 0xFF);
      }
    }
  }
  return file;
}

// The screen whose picture is `scr`'s flash phase 1: ink and paper swapped
// in every cell whose FLASH bit is set.
std::string SwapFlashCells(std::string scr) {
  for (std::size_t c = 6144; c < scr.size() && c < 6912; ++c) {
    const auto a = static_cast<std::uint8_t>(scr[c]);
    if ((a & 0x80) != 0) scr[c] = static_cast<char>((a & 0xC0) | (a & 7) << 3 | (a >> 3 & 7));
  }
  return scr;
}

// A BMP of the screen's size scaled by the test: each pixel an N x N block.
std::string ScaledBmp(const std::string& bmp, bool indexed, std::uint32_t factor) {
  const std::size_t scale = factor;
  const std::size_t headerSize = indexed ? 118 : 54;
  const std::size_t rowSize = (indexed ? 128 : 768) * scale;
  std::string file = bmp.substr(0, headerSize);
  file.resize(headerSize + rowSize * 192 * scale + 2, '\0');
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 18, 256 * factor);
  Put32(file, 22, 192 * factor);
  Put32(file, 34, static_cast<std::uint32_t>(rowSize * 192 * scale + 2));
  for (std::size_t r = 0; r < 192 * scale; ++r) {
    for (std::size_t x = 0; x < 256 * scale; ++x) {
      const std::size_t from = x / scale;
      const std::size_t source = headerSize + (r / scale) * (indexed ? 128 : 768);
      const std::size_t target = headerSize + r * rowSize;
      if (indexed) {
        const auto byte = static_cast<std::uint8_t>(bmp[source + from / 2]);
        const int index = from % 2 == 0 ? byte >> 4 : byte & 15;
        char& cell = file[target + x / 2];
        cell = static_cast<char>(cell | (x % 2 != 0 ? index : index << 4));
      } else {
        file.replace(target + 3 * x, 3, bmp, source + 3 * from, 3);
      }
    }
  }
  return file;
}

// The usage text as it has always been, which scripts may match line by
// line, then the block of the options added since.
const Lines kUsage = {
    u"",
    u"  Usage: zxraster.exe -i Filename -o Filename -l Filename -p Filenme -c color",
    u"      -i [Input ZX screen filename] (file.scr)",
    u"      -o [Output image filename] (file.bmp)",
    u"      -l [Log filename] (file.log,UTF) If not set, then logging to console",
    u"      -p [Palette filename] (file.txt,ANSI) If not set, then using int.palette",
    u"      -c [Color format] (0|1) 0 - 24bit Truecolor, 1 - 4bit indexed color",
    u"Example: zxraster.exe -i inp.scr -o C:\\TEMP\\out.bmp -l x.log -p palett.txt -c 0",
    u"Example of palette filename:",
    u"----------",
    u"0,0,0",
    u"0,255,0",
    u"...",
    u"192,192,0",
    u"----------",
    u"(R,G,B)-line-by-line",
};
const Lines kAddedUsage = {
    u"  More options:",
    u"      -f [File format] (bmp|png) bmp - Windows BMP, png - PNG (file.png)",
    u"      -s [Scale] (1..8) each ZX pixel as an N x N block",
    u"      -a [Flash phase] (0|1|2) 0 - as stored, 1 - ink/paper swapped, 2 - animated PNG",
    u"      -m [Screen format] (scr|mono|timex-hicolour|timex-hires|ulaplus|auto) default scr",
    u"Example: zxraster.exe -i inp.scr -o out.png -f png -s 3 -a 2",
};

// ------------------------------------------------------------ usage runs

TEST(ZxrasterUsage, NoArgumentsPrintsTheSummaryAndTheUsageText) {
  ScratchDir dir;
  ConsoleRun r = Zxraster(dir, {});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_LINES(r.console, Concat({ZxrasterSettings(u"", u""), kUsage, kAddedUsage}));
}

TEST(ZxrasterUsage, WithoutAnInputFileTheLogIsNeitherUsedNorCreated) {
  ScratchDir dir;
  ConsoleRun r = Zxraster(dir, {u"-o", u"out.bmp", u"-l", u"run.log", u"-c", u"1", u"-i"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_LINES(r.console, Concat({ZxrasterSettings(u"", u"out.bmp", kTrueColor, u"run.log"), kUsage,
                                  kAddedUsage}));
  EXPECT_FALSE(fs::exists(dir / "run.log"));
  EXPECT_FALSE(fs::exists(dir / "out.bmp"));
}

// ------------------------------------------------------------ command line

struct SettingsCase {
  std::vector<std::u16string> args;
  Lines settings;
};

TEST(ZxrasterCommandLine, OptionsAreExactTokensAndTheFirstOccurrenceWins) {
  const SettingsCase cases[] = {
      {{u"-i", u"a.scr", u"-i", u"b.scr"}, ZxrasterSettings(u"a.scr", u"a.scr.bmp")},
      {{u"stray", u"-o", u"-i", u"a.scr", u"-I", u"b.scr", u"-O", u"c.bmp"},
       ZxrasterSettings(u"a.scr", u"-i")},
      {{u"-i", u"a.scr", u"-c", u"1x", u"--p", u"x.txt", u"-ppal.txt"},
       ZxrasterSettings(u"a.scr", u"a.scr.bmp", kIndexedColor)},
      {{u"-c", u"x", u"-i", u"a.scr"}, ZxrasterSettings(u"a.scr", u"a.scr.bmp", kIndexedColor)},
      {{u"-i", u"a.scr", u"-c", u"0x"}, ZxrasterSettings(u"a.scr", u"a.scr.bmp")},
      {{u"-i", u"a.scr", u"-c"}, ZxrasterSettings(u"a.scr", u"a.scr.bmp")},
      // A picture option shows all three; PNG output changes the default name.
      {{u"-i", u"a.scr", u"-f", u"PNG"},
       ZxrasterPictureSettings(ZxrasterSettings(u"a.scr", u"a.scr.png"), u"PNG", u"1", u"0")},
      {{u"-i", u"a.scr", u"-s", u"3", u"-a", u"1", u"-f"},
       ZxrasterPictureSettings(ZxrasterSettings(u"a.scr", u"a.scr.bmp"), u"bmp", u"3", u"1")},
      {{u"-a", u"2", u"-i", u"a.scr", u"-f", u"png", u"-f", u"bmp", u"-o", u"x"},
       ZxrasterPictureSettings(ZxrasterSettings(u"a.scr", u"x"), u"png", u"1", u"2")},
  };
  for (const SettingsCase& c : cases) {
    ScratchDir dir;
    ConsoleRun r = Zxraster(dir, c.args);
    ASSERT_GE(r.console.size(), c.settings.size());
    EXPECT_LINES(Lines(r.console.begin(), r.console.begin() + c.settings.size()), c.settings)
        << "arguments starting " << Narrow(c.args[0]);
  }
}

struct BadOptionCase {
  std::vector<std::u16string> args;
  std::u16string message;
};

TEST(ZxrasterCommandLine, ABadPictureOptionIsOneCountedErrorAndNoPicture) {
  const BadOptionCase cases[] = {
      {{u"-s", u"0"}, u"ERR_SCALE: 0 is out of range (1 to 8)."},
      {{u"-s", u"9"}, u"ERR_SCALE: 9 is out of range (1 to 8)."},
      {{u"-s", u"2x"}, u"ERR_SCALE: 2x is out of range (1 to 8)."},
      {{u"-s", u"-1", u"-f", u"png"}, u"ERR_SCALE: -1 is out of range (1 to 8)."},
      {{u"-s", u"4294967297"}, u"ERR_SCALE: 4294967297 is out of range (1 to 8)."},
      {{u"-a", u"3", u"-f", u"png"}, u"ERR_FLASH: 3 is no flash phase (0, 1 or 2)."},
      {{u"-a", u"01"}, u"ERR_FLASH: 01 is no flash phase (0, 1 or 2)."},
      {{u"-a", u"2"}, u"ERR_FLASH: 2 needs PNG output (-f png)."},
      {{u"-a", u"2", u"-f", u"bmp"}, u"ERR_FLASH: 2 needs PNG output (-f png)."},
      {{u"-f", u"gif"}, u"ERR_FORMAT: gif is no picture format (bmp or png)."},
  };
  for (const BadOptionCase& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-o", u"out.pic"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ConsoleRun r = Zxraster(dir, args);
    EXPECT_EQ(r.exitCode, 1u) << Narrow(c.message);
    ASSERT_EQ(r.console.size(), 14u) << Narrow(c.message);
    EXPECT_LINES(Lines(r.console.begin() + 11, r.console.end()),
                 Concat({{c.message}, ZxrasterSummary(1)}));
    EXPECT_FALSE(fs::exists(dir / "out.pic")) << Narrow(c.message);
  }
}

// ------------------------------------------------------------ conversions

TEST(ZxrasterConvert, TrueColorByDefaultWithTheBuiltinPalette) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_LINES(r.console,
               Concat({ZxrasterSettings(u"inp.scr", u"inp.scr.bmp"), ZxrasterSummary(0)}));
  std::string bmp = ReadBytes(dir / "inp.scr.bmp");
  ASSERT_EQ(bmp.size(), 147512u);
  EXPECT_TRUE(bmp == ExpectedBmp(TestScreen(), false, kBuiltin));
}

TEST(ZxrasterConvert, IndexedWithTheBuiltinColourTable) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  WriteBytes(dir / "out.bmp", std::string(200000, 'x'));  // replaced, not appended to
  ConsoleRun r = Zxraster(dir, {u"-c", u"1", u"-o", u"out.bmp", u"-i", u"inp.scr"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_LINES(r.console, Concat({ZxrasterSettings(u"inp.scr", u"out.bmp", kIndexedColor),
                                  ZxrasterSummary(0)}));
  std::string bmp = ReadBytes(dir / "out.bmp");
  ASSERT_EQ(bmp.size(), 24696u);
  EXPECT_TRUE(bmp == ExpectedBmp(TestScreen(), true, kBuiltin));
}

struct ScaledCase {
  bool indexed;
  std::uint32_t scale;
  std::uint32_t phase;
};

TEST(ZxrasterConvert, ScaledAndSwappedBmpsShowTheScreenScaledAndSwapped) {
  const ScaledCase cases[] = {{false, 2, 0}, {true, 3, 0}, {false, 1, 1}, {true, 8, 1}};
  for (const ScaledCase& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    const std::u16string scale = testsupport::U(std::to_string(c.scale));
    const std::u16string phase = c.phase == 0 ? u"0" : u"1";
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-c",
                                  c.indexed ? u"1" : u"0", u"-s", scale, u"-a", phase});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_LINES(
        r.console,
        Concat({ZxrasterPictureSettings(
                    ZxrasterSettings(u"inp.scr", u"o.bmp", c.indexed ? kIndexedColor : kTrueColor),
                    u"bmp", scale, phase),
                ZxrasterSummary(0)}));
    const std::string screenFile = c.phase == 0 ? TestScreen() : SwapFlashCells(TestScreen());
    EXPECT_TRUE(ReadBytes(dir / "o.bmp") ==
                ScaledBmp(ExpectedBmp(screenFile, c.indexed, kBuiltin), c.indexed, c.scale))
        << "scale " << c.scale << " phase " << c.phase;
  }
}

// A +3DOS header of 128 bytes for a screen: signature, 1A, issue 1, the
// file length, a CODE header for 16384, and the checksum in byte 127.
std::string Plus3Header(std::uint32_t fileLength) {
  std::string header(128, '\0');
  header.replace(0, 9, "PLUS3DOS\x1A");
  header[9] = 1;
  Put32(header, 11, fileLength);
  header[15] = 3;
  Put32(header, 16, 6912 | (16384u << 16));
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += static_cast<std::uint8_t>(header[i]);
  header[127] = static_cast<char>(sum & 0xFF);
  return header;
}

struct Plus3Case {
  const char* name;
  std::string file;
  bool plus3;  // converted as the screen after the header, without a size message
};

TEST(ZxrasterConvert, APlus3DosScreenFileConvertsTheScreenAfterItsHeader) {
  const std::string header = Plus3Header(7040);
  std::string badSum = header;
  badSum[127] = static_cast<char>(badSum[127] + 1);
  std::string badSignature = header;
  badSignature[8] = '\x1B';
  badSignature[127] = static_cast<char>(badSignature[127] + 1);  // the sum still holds
  const Plus3Case cases[] = {
      {"a +3DOS screen", header + TestScreen(), true},
      {"a wrong checksum", badSum + TestScreen(), false},
      {"no 1A after the signature", badSignature + TestScreen(), false},
      {"one byte too long", header + TestScreen() + "x", false},
      {"one byte too short", header + TestScreen().substr(1), false},
  };
  for (const Plus3Case& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", c.file);
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"o.bmp"});
    EXPECT_EQ(r.exitCode, 0u) << c.name;
    const Lines size = {u"ERR_INP_FILE: length of inp.scr is " +
                        testsupport::U(std::to_string(c.file.size())) +
                        u" bytes, not equal 6912 bytes, truncated."};
    EXPECT_LINES(r.console, Concat({ZxrasterSettings(u"inp.scr", u"o.bmp"),
                                    c.plus3 ? Lines() : size, ZxrasterSummary(0)}))
        << c.name;
    EXPECT_TRUE(ReadBytes(dir / "o.bmp") ==
                ExpectedBmp(c.plus3 ? TestScreen() : c.file, false, kBuiltin))
        << c.name;
  }
}

struct PngBytesCase {
  std::vector<std::u16string> options;
  std::size_t size;
  std::uint32_t crc;  ///< of the whole file
};

// The same screen and options give the same PNG file in every build (the
// figures are the native build's), with nothing in it that varies.
TEST(ZxrasterConvert, APngIsTheSameFileInEveryBuild) {
  const PngBytesCase cases[] = {
      {{}, 8216, 0xDC940C99},
      {{u"-c", u"1"}, 3471, 0x733B9CAE},
      {{u"-s", u"3", u"-a", u"1"}, 17772, 0x1575756E},
      {{u"-c", u"1", u"-s", u"2", u"-a", u"2"}, 14042, 0x28B84804},
      {{u"-a", u"2", u"-p", u"pal.txt"}, 16509, 0xB0ED50B0},
      {{u"-c", u"1", u"-p", u"pal.txt"}, 3471, 0x5879DC2F},
  };
  for (const PngBytesCase& c : cases) {
    ScratchDir dir;
    fs::copy_file(fs::path(ZX_SOURCE_DIR) / "samples/zx/testcard.scr", dir / "inp.scr");
    fs::copy_file(fs::path(ZX_SOURCE_DIR) / "samples/zx/palette_216.txt", dir / "pal.txt");
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-f", u"png"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    for (int run = 0; run < 2; ++run) {
      ConsoleRun r = Zxraster(dir, args);
      EXPECT_EQ(r.exitCode, 0u);
      const std::string png = ReadBytes(dir / "inp.scr.png");
      const uLong crc =
          crc32(0L, reinterpret_cast<const Bytef*>(png.data()), static_cast<uInt>(png.size()));
      EXPECT_EQ(png.size(), c.size) << "case of " << c.options.size() << " options";
      EXPECT_EQ(crc, c.crc) << "case of " << c.options.size() << " options";
    }
    if (ZX_NATIVE_BUILD && fs::exists("/usr/bin/pngcheck")) {
      const std::string check = "/usr/bin/pngcheck -q '" + (dir / "inp.scr.png").string() + "'";
      EXPECT_EQ(std::system(check.c_str()), 0) << check;
    }
  }
}

struct SizeCase {
  std::uint64_t size;
  const char16_t* message;
};

TEST(ZxrasterConvert, AFileOfAnotherSizeIsUsedAsFarAsItGoes) {
  const SizeCase cases[] = {
      {6144, u"ERR_INP_FILE: length of inp.scr is 6144 bytes, not equal 6912 bytes, truncated."},
      {7000, u"ERR_INP_FILE: length of inp.scr is 7000 bytes, not equal 6912 bytes, truncated."},
      {100, u"ERR_INP_FILE: length of inp.scr is 100 bytes, not equal 6912 bytes, truncated."},
      {0, u"ERR_INP_FILE: length of inp.scr is 0 bytes, not equal 6912 bytes, truncated."},
      // Sparse; its size modulo 2^32 is 6912.
      {(std::uint64_t{1} << 32) + 6912,
       u"ERR_INP_FILE: length of inp.scr is 4294974208 bytes, not equal 6912 bytes, truncated."},
  };
  std::string source = TestScreen() + std::string(88, '\x55');
  for (const SizeCase& c : cases) {
    if (c.size > source.size() && !ZX_NATIVE_BUILD) continue;  // no sparse files there
    for (bool indexed : {false, true}) {
      ScratchDir dir;
      std::string data = source.substr(0, static_cast<std::size_t>(c.size));
      WriteBytes(dir / "inp.scr", data);
      if (c.size > data.size()) fs::resize_file(dir / "inp.scr", c.size);
      ConsoleRun r =
          Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-c", indexed ? u"1" : u"0"});
      EXPECT_EQ(r.exitCode, 0u) << c.size;
      ASSERT_EQ(r.console.size(), 11u) << c.size;
      EXPECT_EQ(r.console[8], c.message);
      EXPECT_EQ(r.console[9], ZxrasterSummary(0).front());
      EXPECT_TRUE(ReadBytes(dir / "o.bmp") == ExpectedBmp(data, indexed, kBuiltin))
          << c.size << (indexed ? " indexed" : " true colour");
    }
  }
}

TEST(ZxrasterConvert, AMissingScreenOrADirectoryGivesNoBmp) {
  for (const char16_t* name : {u"missing.scr", u"folder.scr"}) {
    ScratchDir dir;
    fs::create_directory(dir / "folder.scr");
    ConsoleRun r = Zxraster(dir, {u"-i", name, u"-o", u"o.bmp"});
    EXPECT_EQ(r.exitCode, 1u);
    ASSERT_EQ(r.console.size(), 11u);
    EXPECT_EQ(r.console[8], u"ERR_INP_FILE: " + std::u16string(name) + u" not exist.");
    EXPECT_EQ(r.console[9], ZxrasterSummary(1).front());
    EXPECT_EQ(r.console[10], u"----------");
    EXPECT_FALSE(fs::exists(dir / "o.bmp"));
  }
}

TEST(ZxrasterConvert, AnOutputFileInAMissingFolderIsOneCountedError) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"nofolder/out.bmp"});
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_LINES(r.console, Concat({ZxrasterSettings(u"inp.scr", u"nofolder/out.bmp"),
                                  {u"ERR_OUT_FILE: nofolder/out.bmp write error."},
                                  ZxrasterSummary(1)}));
}

// The picture is written beside the folder and cannot take its name: the
// new file goes again, and the folder stays as it was.
TEST(ZxrasterConvert, AnOutputNamingAFolderIsOneErrorAndLeavesNothingBehind) {
  for (const char16_t* format : {u"bmp", u"png"}) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    fs::create_directory(dir / "o.pic");
    WriteBytes(dir / "o.pic" / "inside.txt", "kept");
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"o.pic", u"-f", format});
    EXPECT_EQ(r.exitCode, 1u);
    ASSERT_EQ(r.console.size(), 14u);
    EXPECT_EQ(r.console[11], u"ERR_OUT_FILE: o.pic write error.");
    EXPECT_EQ(testsupport::FilesOf(testsupport::TreeBelow(dir.path())),
              (std::map<std::string, std::string>{{"inp.scr", TestScreen()},
                                                  {"o.pic/inside.txt", "kept"}}));
  }
}

// A device has no folder for a new file, and must never be replaced by one.
TEST(ZxrasterConvert, ADeviceAsOutputIsWrittenInPlace) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  const std::u16string device = ZX_NATIVE_BUILD ? u"/dev/null" : u"NUL";
  ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", device, u"-f", u"png"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(testsupport::FilesOf(testsupport::TreeBelow(dir.path())).size(), 1u);
  if (ZX_NATIVE_BUILD) {
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
  }
}

// An output name that is a link stays one: the picture is written to the
// file a symbolic link leads to, in another folder here, and created there
// when the link leads nowhere yet; a file with another hard link keeps it.
TEST(ZxrasterConvert, ALinkAsOutputStaysALinkToThePicture) {
  enum class Link { kSymbolic, kDangling, kHard };
  const struct {
    const char* what;
    Link link;
    std::size_t files;  // regular files afterwards, the screen included
  } cases[] = {
      {"symbolic link", Link::kSymbolic, 2},
      {"symbolic link that leads nowhere yet", Link::kDangling, 2},
      {"hard link", Link::kHard, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!ZX_NATIVE_BUILD && c.link != Link::kHard) continue;  // symbolic links need privileges
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    fs::create_directory(dir / "pictures");
    if (c.link != Link::kDangling) WriteBytes(dir / "pictures" / "o.bmp", "old picture");
    if (c.link == Link::kHard) {
      fs::create_hard_link(dir / "pictures" / "o.bmp", dir / "o.bmp");
    } else {
      fs::create_symlink(fs::path("pictures") / "o.bmp", dir / "o.bmp");
    }
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"o.bmp", u"-c", u"1"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(fs::is_symlink(dir / "o.bmp"), c.link != Link::kHard);
    EXPECT_TRUE(fs::equivalent(dir / "o.bmp", dir / "pictures" / "o.bmp"));
    EXPECT_TRUE(ReadBytes(dir / "pictures" / "o.bmp") == ExpectedBmp(TestScreen(), true, kBuiltin));
    EXPECT_EQ(testsupport::FilesOf(testsupport::TreeBelow(dir.path())).size(), c.files);
  }
}

TEST(ZxrasterConvert, TheScreenFileItselfCanBeTheOutput) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-o", u"inp.scr", u"-c", u"1"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(ReadBytes(dir / "inp.scr") == ExpectedBmp(TestScreen(), true, kBuiltin));
}

// A sysfs file claims 4096 bytes but delivers a few: a short read.
TEST(ZxrasterConvert, AShortReadIsAReadErrorAndGivesNoBmp) {
  if (!ZX_NATIVE_BUILD) GTEST_SKIP() << "needs a Linux sysfs file";
  const fs::path source = "/sys/devices/system/cpu/online";
  std::error_code error;
  const std::uintmax_t size = fs::file_size(source, error);
  if (error || size <= ReadBytes(source).size()) {
    GTEST_SKIP() << "needs a Linux sysfs file whose stated size exceeds its content";
  }
  ScratchDir dir;
  const std::u16string name = testsupport::U(source.string());
  ConsoleRun r = Zxraster(dir, {u"-i", name, u"-o", u"o.bmp"});
  EXPECT_EQ(r.exitCode, 1u);
  ASSERT_EQ(r.console.size(), 12u);
  EXPECT_EQ(r.console[8], u"ERR_INP_FILE: length of " + name + u" is " +
                              testsupport::U(std::to_string(size)) +
                              u" bytes, not equal 6912 bytes, truncated.");
  EXPECT_EQ(r.console[9], u"ERR_INP_FILE: " + name + u" read error.");
  EXPECT_EQ(r.console[10], ZxrasterSummary(1).front());
  EXPECT_FALSE(fs::exists(dir / "o.bmp"));
}

// True when the file cannot be opened for writing (the test's own probe).
bool WriteOpenFails(const fs::path& file) {
  std::fstream probe(file, std::ios::in | std::ios::out | std::ios::binary);
  return !probe.is_open();
}

// A screen that cannot be opened for writing still converts: it is only
// read. Natively the file is made immutable, since root ignores mode bits;
// on Windows it gets the read-only attribute.
TEST(ZxrasterConvert, AnUnwritableScreenFileConverts) {
  // /tmp may be a tmpfs without file attributes; the build folder is not.
  const fs::path folder = fs::path(ZX_BINARY_DIR) / "unwritable-screen";
  const fs::path screenFile = folder / "inp.scr";
  const std::string quoted = "'" + screenFile.string() + "'";
  if (ZX_NATIVE_BUILD) std::system(("chattr -i " + quoted + " 2>/dev/null").c_str());
  fs::remove_all(folder);
  fs::create_directories(folder);
  WriteBytes(screenFile, TestScreen());
  if (ZX_NATIVE_BUILD) {
    std::system(("chattr +i " + quoted + " 2>/dev/null").c_str());
  } else {
    fs::permissions(screenFile,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  const bool unwritable = WriteOpenFails(screenFile);
  testsupport::ProcessResult run;
  if (unwritable) {
    run = testsupport::RunProgram("zxraster", {u"-i", u"inp.scr", u"-o", u"out.bmp"}, folder);
  }
  if (ZX_NATIVE_BUILD) std::system(("chattr -i " + quoted).c_str());
  fs::permissions(screenFile, fs::perms::owner_write, fs::perm_options::add);
  if (!unwritable) {
    fs::remove_all(folder);
    GTEST_SKIP() << "the screen file stays writable here (chattr refused: file system or "
                    "missing capability)";
  }
  EXPECT_EQ(run.exitCode, 0u);
  Lines console = ConsoleLines(run.out);
  ASSERT_EQ(console.size(), 10u) << run.out;
  EXPECT_EQ(console[8], ZxrasterSummary(0).front());
  EXPECT_TRUE(ReadBytes(folder / "out.bmp") == ExpectedBmp(TestScreen(), false, kBuiltin));
  fs::remove_all(folder);
}

// ------------------------------------------------------------ log

TEST(ZxrasterLog, LinesGoToTheLogOnlyAndEachRunAppends) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  WriteBytes(dir / "run.log", "earlier\r\n");
  const Lines runLines = Concat(
      {ZxrasterSettings(u"inp.scr", u"inp.scr.bmp", kLogging, u"run.log"), ZxrasterSummary(0)});
  for (int run = 0; run < 2; ++run) {
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-l", u"run.log"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_LINES(r.console, Lines());
  }
  EXPECT_LINES(Utf8Lines(ReadBytes(dir / "run.log")), Concat({{u"earlier"}, runLines, runLines}));
}

TEST(ZxrasterLog, ALogThatCannotBeOpenedIsRetriedAtEveryLine) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-l", u"nofolder/x.log"});
  EXPECT_LINES(
      r.console,
      testsupport::EachAfter(
          u"ERR_OPEN_LOG: nofolder/x.log.",
          Concat({ZxrasterSettings(u"inp.scr", u"inp.scr.bmp", kLogging, u"nofolder/x.log"),
                  ZxrasterSummary(8)})));
  // The summary line and the rule after it fail to open the log once more.
  EXPECT_EQ(r.exitCode, 10u);
  EXPECT_TRUE(fs::exists(dir / "inp.scr.bmp"));
}

struct SameLogCase {
  const char* name;
  std::u16string out;  // empty: the default name
  std::u16string log;
  bool outputExists;
};

// Compared by identity: any spelling of the screen or the picture counts,
// and a log created under one is removed again at once.
TEST(ZxrasterLog, ALogThatIsTheScreenOrThePictureIsNotOpened) {
  const std::u16string sep = testsupport::Sep();
  const SameLogCase cases[] = {
      {"the picture", u"o.bmp", u"o.bmp", true},
      {"the picture, not there yet", u"o.bmp", u"o.bmp", false},
      {"the picture by another spelling", u"o.bmp", u"." + sep + u"o.bmp", true},
      {"the picture by another spelling, not there yet", u"o.bmp",
       u"sub" + sep + u".." + sep + u"o.bmp", false},
      {"the screen", u"", u"inp.scr", false},
      {"the screen by another spelling", u"", u"sub" + sep + u".." + sep + u"inp.scr", false},
  };
  for (const SameLogCase& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    fs::create_directory(dir / "sub");
    if (c.outputExists) WriteBytes(dir / "o.bmp", "an older picture");
    std::vector<std::u16string> args = {u"-i", u"inp.scr", u"-l", c.log};
    if (!c.out.empty()) args.insert(args.end(), {u"-o", c.out});
    const std::u16string out = c.out.empty() ? u"inp.scr.bmp" : c.out;
    ConsoleRun r = Zxraster(dir, args);
    EXPECT_LINES(r.console,
                 testsupport::EachAfter(u"ERR_OPEN_LOG: " + c.log + u".",
                                        Concat({ZxrasterSettings(u"inp.scr", out, kLogging, c.log),
                                                ZxrasterSummary(8)})))
        << c.name;
    EXPECT_EQ(r.exitCode, 10u) << c.name;
    EXPECT_TRUE(ReadBytes(dir / "inp.scr") == TestScreen()) << c.name;
    EXPECT_TRUE(ReadBytes(dir / testsupport::PathOf(out)) ==
                ExpectedBmp(TestScreen(), false, kBuiltin))
        << c.name;
    EXPECT_EQ(testsupport::FilesOf(testsupport::TreeBelow(dir.path())).size(), 2u)
        << c.name << ": no other file";
  }
}

TEST(ZxrasterLog, AConsoleThatRefusesWritesEndsTheRunWithExitCodeOne) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  testsupport::ProcessResult run = testsupport::RunProgram(
      "zxraster", {u"-i", u"inp.scr", u"-o", u"o.bmp"}, dir.path(), "/dev/full");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.err.rfind("I/O error: standard output: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
}

// The log's buffer cannot be written out at the close: counted, and the log
// stays counted as open.
TEST(ZxrasterLog, AFailedCloseLeavesTheLogCountedAsOpen) {
  if (!ZX_NATIVE_BUILD) GTEST_SKIP() << "needs /dev/full";
  converter::ResetRun();
  converter::options.logFileName = u"/dev/full";
  converter::options.logging = true;
  converter::WriteLine(u"buffered");
  ASSERT_TRUE(converter::output.log.IsOpen());
  converter::CloseLog();
  EXPECT_TRUE(converter::output.log.IsOpen());
  EXPECT_EQ(converter::counters.ioErrors, 1u);
  converter::ResetRun();
}

// ------------------------------------------------------------ palette files

std::string PaletteText(const Lines& lines) {
  std::string text;
  for (const std::u16string& line : lines) text += Narrow(line) + "\r\n";
  return text;
}

const Lines kGoodPalette = {u"0,0,0",           u" 0 , 0 , 160 ", u"$A0,0,0",
                            u"160,0,160",       u"0,160,0",       u"0x00,160,160",
                            u"160,160,0",       u"+160,160,160",  u"1,2,3",
                            u"0,0,255,ignored", u"255,0,0",       u"255,0,255",
                            u"0,255,0",         u"0,255,255",     u"255,255,0",
                            u"255,255,255",     u"99,99,99",      u"extra lines are not read"};

const Lines kGoodListing = {u"User defined palette:", u"IDX: [R,G,B]",    u"0: [0,0,0]",
                            u"1: [0,0,160]",          u"2: [160,0,0]",    u"3: [160,0,160]",
                            u"4: [0,160,0]",          u"5: [0,160,160]",  u"6: [160,160,0]",
                            u"7: [160,160,160]",      u"8: [1,2,3]",      u"9: [0,0,255]",
                            u"10: [255,0,0]",         u"11: [255,0,255]", u"12: [0,255,0]",
                            u"13: [0,255,255]",       u"14: [255,255,0]", u"15: [255,255,255]"};

const Colors kGoodColors = {0x000000, 0x0000A0, 0xA00000, 0xA000A0, 0x00A000, 0x00A0A0,
                            0xA0A000, 0xA0A0A0, 0x010203, 0x0000FF, 0xFF0000, 0xFF00FF,
                            0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF};

TEST(ZxrasterPalette, AGoodFileIsListedAndUsedInBothFormats) {
  for (bool indexed : {false, true}) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    WriteBytes(dir / "pal.txt", PaletteText(kGoodPalette));
    ConsoleRun r =
        Zxraster(dir, {u"-i", u"inp.scr", u"-p", u"pal.txt", u"-c", indexed ? u"1" : u"0"});
    EXPECT_EQ(r.exitCode, 0u);
    const Lines settings = ZxrasterSettings(u"inp.scr", u"inp.scr.bmp",
                                            indexed ? kIndexedColor : kTrueColor, u"", u"pal.txt");
    EXPECT_LINES(r.console, Concat({settings, kGoodListing, ZxrasterSummary(0)}));
    EXPECT_TRUE(ReadBytes(dir / "inp.scr.bmp") == ExpectedBmp(TestScreen(), indexed, kGoodColors));
  }
}

struct PaletteCase {
  const char* name;
  std::string text;  // file content; "" with missing = true: no file
  bool missing;
  Lines messages;
  std::uint32_t errors;
  Colors colors;
};

Lines Sixteen(const std::u16string& line) { return Lines(16, line); }

Lines WithLine(Lines lines, std::size_t at, const std::u16string& line) {
  lines[at] = line;
  return lines;
}

Colors SkippedBlack(Colors colors, std::size_t at) {
  colors[at] = 0;
  return colors;
}

TEST(ZxrasterPalette, EveryRejectedFileLeavesTheBuiltinPaletteAndIsCounted) {
  const Lines good16(kGoodPalette.begin(), kGoodPalette.begin() + 16);
  const PaletteCase cases[] = {
      {"missing",
       "",
       true,
       {u"ERR_PALET_FILE: pal.txt not exist.",
        u"ERR_PALET_CONSTRUCT: pal.txt file too small - 0 line(s) instead of 16."},
       2,
       kBuiltin},
      {"empty",
       "",
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt file too small - 0 line(s) instead of 16."},
       1,
       kBuiltin},
      {"fifteen lines",
       PaletteText(Lines(good16.begin(), good16.begin() + 15)),
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt file too small - 15 line(s) instead of 16."},
       1,
       kBuiltin},
      {"letters on line 3",
       PaletteText(WithLine(good16, 3, u"1,2,q")),
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt Illegal symbols at 3 line.",
        u"ERR_PALET_CONSTRUCT: pal.txt file too small - 4 line(s) instead of 16."},
       2,
       kBuiltin},
      {"tab on line 15",
       PaletteText(WithLine(good16, 15, u"1,\t2,3")),
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt Illegal symbols at 15 line."},
       1,
       kBuiltin},
      {"256 on line 3",
       PaletteText(WithLine(good16, 3, u"1,256,3")),
       false,
       {u"ERR_PALET_CONSTRUCT:pal.txt digit convertation failed at 3 line.",
        u"ERR_PALET_CONSTRUCT: pal.txt file too small - 4 line(s) instead of 16."},
       2,
       kBuiltin},
      {"-1 on line 15",
       PaletteText(WithLine(good16, 15, u"-1,0,0")),
       false,
       {u"ERR_PALET_CONSTRUCT:pal.txt digit convertation failed at 15 line."},
       1,
       kBuiltin},
      {"byte-order mark",
       "\xEF\xBB\xBF" + PaletteText(good16),
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt Illegal symbols at 0 line.",
        u"ERR_PALET_CONSTRUCT: pal.txt file too small - 1 line(s) instead of 16."},
       2,
       kBuiltin},
      {"sixteen malformed lines", PaletteText(Sixteen(u"1,2")), false, {}, 0, kBuiltin},
      {"skipped line stays black", PaletteText(WithLine(good16, 9, u"")), false,
       WithLine(Lines(kGoodListing), 11, u"9: [0,0,0]"), 0, SkippedBlack(kGoodColors, 9)},
      {"Ctrl-Z ends the file",
       PaletteText(Lines(good16.begin(), good16.begin() + 8)) + "\x1A" + PaletteText(good16),
       false,
       {u"ERR_PALET_CONSTRUCT: pal.txt file too small - 8 line(s) instead of 16."},
       1,
       kBuiltin},
  };
  for (const PaletteCase& c : cases) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    if (!c.missing) WriteBytes(dir / "pal.txt", c.text);
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-p", u"pal.txt", u"-c", u"1"});
    EXPECT_EQ(r.exitCode, c.errors) << c.name;
    ASSERT_GE(r.console.size(), 10u) << c.name;
    EXPECT_LINES(Lines(r.console.begin() + 8, r.console.end()),
                 Concat({c.messages, ZxrasterSummary(c.errors)}))
        << c.name;
    EXPECT_TRUE(ReadBytes(dir / "inp.scr.bmp") == ExpectedBmp(TestScreen(), true, c.colors))
        << c.name;
  }
}

#ifndef _WIN32
// Only a regular file is a palette file: a device or FIFO counts as missing.
TEST(ZxrasterPalette, ADeviceOrFifoIsNoPaletteFile) {
  ScratchDir dir;
  WriteBytes(dir / "inp.scr", TestScreen());
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const std::u16string name : {u"fifo", u"/dev/zero"}) {
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-p", name, u"-c", u"1"});
    ASSERT_GE(r.console.size(), 10u);
    EXPECT_EQ(r.console[8], u"ERR_PALET_FILE: " + name + u" not exist.");
    EXPECT_EQ(r.exitCode, 2u);
  }
}
#endif

TEST(ZxrasterPalette, TheSamplePaletteFilesLoad) {
  const std::pair<const char*, const char16_t*> samples[] = {
      {"palette_192.txt", u"192"},
      {"palette_205.txt", u"205"},
      {"palette_215_hex.txt", u"215"},
      {"palette_216.txt", u"216"},
  };
  for (const auto& sample : samples) {
    ScratchDir dir;
    WriteBytes(dir / "inp.scr", TestScreen());
    fs::copy_file(fs::path(ZX_SOURCE_DIR) / "samples/zx" / sample.first, dir / "pal.txt");
    ConsoleRun r = Zxraster(dir, {u"-i", u"inp.scr", u"-p", u"pal.txt"});
    EXPECT_EQ(r.exitCode, 0u) << sample.first;
    ASSERT_EQ(r.console.size(), 28u) << sample.first;
    const std::u16string n = sample.second;
    EXPECT_EQ(r.console[17], u"7: [" + n + u"," + n + u"," + n + u"]");  // white
    EXPECT_EQ(r.console[11], u"1: [0,0," + n + u"]");                    // blue
    EXPECT_EQ(r.console[25], u"15: [255,255,255]");
  }
}

}  // namespace
