// Screen files of any size through reading, both renders and both BMP
// writers: the screen holds the file's first 6912 bytes over the defaults
// (a +3DOS screen file: the 6912 bytes after its header),
// the BMP files are always 24696 and 147512 bytes with their sizes in the
// header, and the two images show the same colours.
//
// Both files live in /dev/shm. Reading a screen of the wrong size writes a
// message to standard output: run with that sent to /dev/null
// (tools/ci/fuzz.sh does).
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "converter/converter.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kIndexedFileSize = 24696;
constexpr std::size_t kTrueColorFileSize = 147512;

std::uint32_t Dword(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + k])) << (8 * k);
  }
  return value;
}

void CheckBmp(const std::string& file, std::size_t size, std::size_t pixelOffset,
              const char* what) {
  FUZZ_CHECK(file.size() == size, std::string(what) + " BMP is " + std::to_string(file.size()) +
                                      " bytes, not " + std::to_string(size));
  FUZZ_CHECK(file[0] == 'B' && file[1] == 'M', std::string(what) + " BMP lacks its signature");
  FUZZ_CHECK(Dword(file, 2) == size, std::string(what) + " BMP header gives the wrong file size");
  FUZZ_CHECK(Dword(file, 10) == pixelOffset, std::string(what) + " BMP pixels are misplaced");
}

// A +3DOS screen file: signature, 1A, the header's checksum, 128 + 6912 bytes.
bool IsPlus3Screen(const std::uint8_t* data, std::size_t size) {
  if (size != 128 + converter::kScreenSize || std::memcmp(data, "PLUS3DOS\x1A", 9) != 0) {
    return false;
  }
  unsigned sum = 0;
  for (std::size_t i = 0; i < 127; ++i) sum += data[i];
  return (sum & 0xFF) == data[127];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::ScratchFile screenFile("screen");
  static const fuzz::ScratchFile bmpFile("bmp");
  const std::string bytes = fuzz::Bytes(data, size);
  screenFile.Write(bytes);

  converter::ResetRun();
  converter::options.inFile = screenFile.Name();
  converter::options.outFile = bmpFile.Name();
  const bool loaded = converter::ReadScreenFile();
  FUZZ_CHECK(loaded && converter::counters.ioErrors == 0,
             "screen of " + std::to_string(size) + " bytes not read");

  // A short file leaves black paper and white ink (attribute 7) behind it.
  std::uint8_t expected[converter::kScreenSize];
  std::memset(expected, 0, converter::kBitmapSize);
  std::memset(expected + converter::kBitmapSize, 0x07, converter::kAttributeSize);
  if (IsPlus3Screen(data, size)) {
    std::memcpy(expected, data + 128, converter::kScreenSize);
  } else {
    std::memcpy(expected, data, std::min<std::size_t>(size, converter::kScreenSize));
  }
  FUZZ_CHECK(std::memcmp(&converter::screen, expected, converter::kScreenSize) == 0,
             "screen of " + std::to_string(size) + " bytes read wrongly");

  converter::WriteIndexedBmp();
  const std::string indexed = bmpFile.Read();
  converter::WriteTrueColorBmp();
  const std::string trueColor = bmpFile.Read();
  FUZZ_CHECK(converter::counters.ioErrors == 0, "a BMP file could not be written");
  CheckBmp(indexed, kIndexedFileSize, 118, "4-bit");
  CheckBmp(trueColor, kTrueColorFileSize, 54, "24-bit");

  // Each 24-bit pixel is the colour-table entry of its 4-bit twin.
  for (std::size_t p = 0; p < std::size_t{256} * 192; ++p) {
    const auto cell = static_cast<unsigned char>(indexed[118 + p / 2]);
    const unsigned index = p % 2 == 0 ? cell >> 4 : cell & 0x0F;
    FUZZ_CHECK(std::memcmp(&trueColor[54 + 3 * p], &indexed[54 + 4 * index], 3) == 0,
               "the two images differ at pixel " + std::to_string(p));
  }
  return 0;
}
