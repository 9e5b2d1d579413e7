// zxraster against ImageMagick's own decoder of .scr files: both BMP
// formats must show exactly the picture that ImageMagick makes of the
// screen, pixel for pixel.
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

}  // namespace
