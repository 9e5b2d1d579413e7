// zxraster against ImageMagick's own decoder of .scr files: both BMP
// formats must show exactly the picture that ImageMagick makes of the
// screen, pixel for pixel. Then its PNG files against its BMPs, decoded by
// Pillow and ImageMagick, and checked by pngcheck.
// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::ScratchDir;

const char kConvert[] = "/usr/bin/convert";

// Decodes any picture ImageMagick reads into 8-bit RGB triples.
std::string DecodeRgb(const fs::path& picture, const fs::path& rgbFile) {
  std::string command = std::string(kConvert) + " '" + picture.string() +
                        "' -depth 8 'rgb:" + rgbFile.string() + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadBytes(rgbFile);
}

std::size_t DifferingPixels(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return static_cast<std::size_t>(-1);
  std::size_t count = 0;
  for (std::size_t i = 0; i + 2 < a.size(); i += 3) {
    if (a.compare(i, 3, b, i, 3) != 0) ++count;
  }
  return count;
}

// Converts one screen in both formats and compares each with ImageMagick.
void CompareWithImageMagick(const ScratchDir& dir, const fs::path& screenFile) {
  const std::string stem = screenFile.stem().string();
  fs::copy_file(screenFile, dir / (stem + ".scr"), fs::copy_options::overwrite_existing);
  const std::string reference = DecodeRgb(dir / (stem + ".scr"), dir / (stem + ".ref.rgb"));
  ASSERT_EQ(reference.size(), 256u * 192u * 3u) << stem;
  for (const char* format : {"0", "1"}) {
    const std::string bmpName = stem + "-" + format + ".bmp";
    testsupport::ProcessResult run =
        testsupport::RunProgram("zxraster",
                                {u"-i", testsupport::U(stem + ".scr"), u"-o",
                                 testsupport::U(bmpName), u"-c", testsupport::U(format)},
                                dir.path());
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    const std::string ours = DecodeRgb(dir / bmpName, dir / (bmpName + ".rgb"));
    const std::size_t differing = DifferingPixels(ours, reference);
    std::printf("%s, %s: %zu of 49152 pixels differ from ImageMagick\n", stem.c_str(),
                *format == '1' ? "4-bit" : "24-bit", differing);
    EXPECT_EQ(differing, 0u) << stem << " format " << format;
  }
}

const char kPython[] = "/usr/bin/python3";
const char kPngcheck[] = "/usr/bin/pngcheck";

// Decodes every frame of each PNG named into "<name>.<frame>.rgb" and
// prints one line per file: its name, frame count, the frames' delays in
// milliseconds and the loop count ("-" where the file has none).
const char kPillowScript[] = R"(import sys
from PIL import Image
for name in sys.argv[1:]:
    im = Image.open(name)
    delays = []
    for k in range(getattr(im, "n_frames", 1)):
        im.seek(k)
        with open("%s.%d.rgb" % (name, k), "wb") as out:
            out.write(im.convert("RGB").tobytes())
        delays.append(str(int(im.info["duration"])) if "duration" in im.info else "-")
    print(name, len(delays), ",".join(delays), im.info.get("loop", "-"))
)";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The output of a shell command, and its exit status in `status`.
std::string CommandOutput(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

// RGB triples of a picture 192 lines high (256 pixels wide unless said)
// scaled by the test: each pixel an N x N block.
std::string ScaleRgb(const std::string& rgb, std::size_t scale, std::size_t width = 256) {
  std::string out;
  out.reserve(rgb.size() * scale * scale);
  for (std::size_t y = 0; y < 192 * scale; ++y) {
    for (std::size_t x = 0; x < width * scale; ++x) {
      out.append(rgb, ((y / scale) * width + x / scale) * 3, 3);
    }
  }
  return out;
}

// The screen with ink and paper swapped in every cell whose FLASH bit is
// set: its picture is the other flash phase of the original's.
std::string SwapFlashCells(std::string scr) {
  for (std::size_t c = 6144; c < scr.size() && c < 6912; ++c) {
    const auto a = static_cast<unsigned char>(scr[c]);
    if ((a & 0x80) != 0) scr[c] = static_cast<char>((a & 0xC0) | (a & 7) << 3 | (a >> 3 & 7));
  }
  return scr;
}

// The same screen behind a +3DOS header with a good checksum.
std::string Plus3File(const std::string& scr) {
  std::string header(128, '\0');
  header.replace(0, 9, "PLUS3DOS\x1A");
  header[9] = 1;
  header[11] = static_cast<char>(7040 & 0xFF);
  header[12] = static_cast<char>(7040 >> 8);
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += static_cast<unsigned char>(header[i]);
  header[127] = static_cast<char>(sum & 0xFF);
  return header + scr;
}

testsupport::ProcessResult Convert(const ScratchDir& dir, const std::vector<std::u16string>& args) {
  testsupport::ProcessResult run = testsupport::RunProgram("zxraster", args, dir.path());
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  return run;
}

// Converts one screen to PNG in both colour types, at scale 1 and 3, in
// both flash phases and as an animated PNG, and requires that Pillow
// decodes each to exactly the pixels of the BMPs of the screen and of its
// swapped twin (scaled here), as ImageMagick decodes those. Every PNG must
// pass pngcheck; a +3DOS file of the screen gives the same BMP.
void ComparePngWithBmp(const ScratchDir& dir, const fs::path& screenFile) {
  const std::string stem = screenFile.stem().string();
  const std::string scr = ReadBytes(screenFile);
  testsupport::WriteBytes(dir / (stem + ".scr"), scr);
  testsupport::WriteBytes(dir / (stem + ".swapped.scr"), SwapFlashCells(scr));
  testsupport::WriteBytes(dir / (stem + ".plus3.scr"), Plus3File(scr.substr(0, 6912)));
  std::string reference[2];
  for (int phase = 0; phase < 2; ++phase) {
    const std::string source = stem + (phase == 0 ? ".scr" : ".swapped.scr");
    Convert(dir, {u"-i", testsupport::U(source), u"-o", testsupport::U(source + ".bmp")});
    reference[phase] = DecodeRgb(dir / (source + ".bmp"), dir / (source + ".bmp.rgb"));
  }
  if (scr.size() == 6912) {
    Convert(dir, {u"-i", testsupport::U(stem + ".plus3.scr")});
    EXPECT_EQ(ReadBytes(dir / (stem + ".plus3.scr.bmp")), ReadBytes(dir / (stem + ".scr.bmp")))
        << stem << " as a +3DOS file";
  }

  struct Png {
    std::string name;
    std::size_t scale;
    int phase;  // 2: both, animated
  };
  std::vector<Png> pngs;
  for (const char* colour : {"0", "1"}) {
    for (std::size_t scale : {1, 3}) {
      for (int phase : {0, 1, 2}) {
        if (phase == 2 && scale == 3) continue;
        const std::string name = stem + "-c" + colour + "-s" + std::to_string(scale) + "-a" +
                                 std::to_string(phase) + ".png";
        Convert(dir,
                {u"-i", testsupport::U(stem + ".scr"), u"-o", testsupport::U(name), u"-f", u"png",
                 u"-c", testsupport::U(colour), u"-s", testsupport::U(std::to_string(scale)), u"-a",
                 testsupport::U(std::to_string(phase))});
        pngs.push_back({name, scale, phase});
      }
    }
  }

  std::string names;
  for (const Png& png : pngs) names += " " + Quoted((dir / png.name).string());
  int status = 0;
  const std::string check = CommandOutput(std::string(kPngcheck) + " -q" + names + " 2>&1", status);
  EXPECT_EQ(status, 0) << check;

  const std::string report = CommandOutput(
      std::string(kPython) + " " + Quoted((dir / "decode.py").string()) + names + " 2>&1", status);
  ASSERT_EQ(status, 0) << report;
  for (const Png& png : pngs) {
    const std::string path = (dir / png.name).string();
    const std::string expected = png.phase == 2 ? path + " 2 320,320 0\n" : path + " 1 - -\n";
    EXPECT_NE(report.find(expected), std::string::npos) << png.name << " in\n" << report;
    const int frames = png.phase == 2 ? 2 : 1;
    for (int frame = 0; frame < frames; ++frame) {
      const int phase = png.phase == 2 ? frame : png.phase;
      const std::string decoded = ReadBytes(path + "." + std::to_string(frame) + ".rgb");
      const std::size_t differing = DifferingPixels(decoded, ScaleRgb(reference[phase], png.scale));
      EXPECT_EQ(differing, 0u) << png.name << " frame " << frame;
    }
  }
  std::printf("%s: %zu PNG files match the BMPs (Pillow, ImageMagick) and pass pngcheck\n",
              stem.c_str(), pngs.size());
}

class ImageMagickComparison : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ZX_NATIVE_BUILD) GTEST_SKIP() << "ImageMagick is called from the native build only";
    if (!fs::exists(kConvert)) GTEST_SKIP() << kConvert << " is missing (Debian imagemagick)";
  }
};

TEST_F(ImageMagickComparison, GeneratedScreensWithEveryAttributeValueMatch) {
  ScratchDir dir;
  fs::create_directory(dir / "generated");
  testsupport::ProcessResult made =
      testsupport::RunProgram("make_screens", {u"generated", u"4", u"6912"}, dir.path());
  ASSERT_EQ(made.exitCode, 0u) << made.err;
  for (int n = 0; n < 4; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "screen_%02d.scr", n);
    CompareWithImageMagick(dir, dir / "generated" / name);
  }
}

TEST_F(ImageMagickComparison, TheTestCardAndRealScreensMatch) {
  ScratchDir dir;
  std::vector<fs::path> screens = {fs::path(ZX_SOURCE_DIR) / "samples/zx/testcard.scr"};
  const fs::path shared = fs::path(ZX_SOURCE_DIR) / "../shared/zx-samples";
  for (const char* name : {"laser_screen.scr", "desolate_loading.scr", "midiplayer_start.scr"}) {
    if (fs::exists(shared / name)) screens.push_back(shared / name);
  }
  if (fs::exists("/usr/share/fuse/keyboard.scr"))
    screens.emplace_back("/usr/share/fuse/keyboard.scr");
  if (screens.size() == 1) std::printf("no real screens found beside the repository\n");
  for (const fs::path& screenFile : screens) CompareWithImageMagick(dir, screenFile);
}

class PngComparison : public ImageMagickComparison {
 protected:
  void SetUp() override {
    ImageMagickComparison::SetUp();
    if (IsSkipped()) return;
    if (!fs::exists(kPngcheck)) GTEST_SKIP() << kPngcheck << " is missing (Debian pngcheck)";
    if (std::system((std::string(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << kPython << " cannot import PIL (Debian python3-pil)";
    }
  }
};

TEST_F(PngComparison, EveryPngShowsThePixelsOfItsBmp) {
  ScratchDir dir;
  testsupport::WriteBytes(dir / "decode.py", kPillowScript);
  fs::create_directory(dir / "generated");
  testsupport::ProcessResult made =
      testsupport::RunProgram("make_screens", {u"generated", u"4", u"6912"}, dir.path());
  ASSERT_EQ(made.exitCode, 0u) << made.err;
  std::vector<fs::path> screens = {fs::path(ZX_SOURCE_DIR) / "samples/zx/testcard.scr"};
  for (int n = 0; n < 4; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "screen_%02d.scr", n);
    screens.push_back(dir / "generated" / name);
  }
  const fs::path shared = fs::path(ZX_SOURCE_DIR) / "../shared/zx-samples";
  if (fs::is_directory(shared)) {
    for (const auto& entry : fs::directory_iterator(shared)) {
      if (entry.path().extension() == ".scr") screens.push_back(entry.path());
    }
  }
  for (const fs::path& screenFile : screens) ComparePngWithBmp(dir, screenFile);
}

// Each screen format's test card: its BMPs in both colour modes read in
// ImageMagick with the same pixels, and its PNGs (both colour types, scale
// 1 and 2, -a 2 where the format has flash) decoded by Pillow with the
// pixels of the BMP, each passing pngcheck.
TEST_F(PngComparison, EveryScreenFormatsBmpsAndPngsShowTheSamePixels) {
  ScratchDir dir;
  testsupport::WriteBytes(dir / "decode.py", kPillowScript);
  struct Card {
    const char* name;
    std::size_t width;
    bool flash;
  };
  const Card cards[] = {{"card_mono", 256, false},
                        {"card_timex_hicolour", 256, true},
                        {"card_timex_hires", 512, false},
                        {"card_ulaplus", 256, false}};
  for (const Card& card : cards) {
    const std::string stem = card.name;
    fs::copy_file(fs::path(ZX_SOURCE_DIR) / "samples/zx" / (stem + ".scr"), dir / (stem + ".scr"));
    std::string bmpRgb[2];
    for (int indexed = 0; indexed < 2; ++indexed) {
      const std::string bmp = stem + "-c" + std::to_string(indexed) + ".bmp";
      Convert(dir, {u"-i", testsupport::U(stem + ".scr"), u"-o", testsupport::U(bmp), u"-m",
                    u"auto", u"-c", indexed == 0 ? u"0" : u"1"});
      bmpRgb[indexed] = DecodeRgb(dir / bmp, dir / (bmp + ".rgb"));
    }
    ASSERT_EQ(bmpRgb[0].size(), card.width * 192 * 3) << stem;
    EXPECT_EQ(DifferingPixels(bmpRgb[0], bmpRgb[1]), 0u) << stem << ": -c 1 against -c 0";

    std::string names;
    std::vector<std::pair<std::string, std::size_t>> pngs;
    for (const char* colour : {"0", "1"}) {
      for (std::size_t scale : {1, 2}) {
        const std::string png = stem + "-c" + colour + "-s" + std::to_string(scale) + ".png";
        Convert(dir, {u"-i", testsupport::U(stem + ".scr"), u"-o", testsupport::U(png), u"-f",
                      u"png", u"-m", u"auto", u"-c", testsupport::U(colour), u"-s",
                      testsupport::U(std::to_string(scale)), u"-a", u"2"});
        names += " " + Quoted((dir / png).string());
        pngs.emplace_back(png, scale);
      }
    }
    int status = 0;
    const std::string check =
        CommandOutput(std::string(kPngcheck) + " -q" + names + " 2>&1", status);
    EXPECT_EQ(status, 0) << check;
    const std::string report = CommandOutput(
        std::string(kPython) + " " + Quoted((dir / "decode.py").string()) + names + " 2>&1",
        status);
    ASSERT_EQ(status, 0) << report;
    for (const auto& [png, scale] : pngs) {
      // -a 2: two frames where the format has flash, else one still picture.
      const std::string path = (dir / png).string();
      const std::string frames = card.flash ? path + " 2 320,320 0\n" : path + " 1 - -\n";
      EXPECT_NE(report.find(frames), std::string::npos) << png << " in\n" << report;
      const std::string decoded = ReadBytes(path + ".0.rgb");
      EXPECT_EQ(DifferingPixels(decoded, ScaleRgb(bmpRgb[0], scale, card.width)), 0u) << png;
    }
  }
}

}  // namespace
