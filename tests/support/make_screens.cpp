// Writes ZX Spectrum screens for checking a decoder: every screen holds each
// attribute value 0..255 three times, at shuffled cells, over a random
// bitmap. The fixed seed makes the files the same on every run and machine.
//
// Usage: make_screens OUTPUT_DIR [COUNT] [SEED]
// Writes OUTPUT_DIR/screen_00.scr ... (6912 bytes each).
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr int kBitmapSize = 6144;
constexpr int kCells = 768;

void MakeScreen(std::mt19937& random, unsigned char (&data)[kBitmapSize + kCells]) {
  for (int i = 0; i < kBitmapSize; ++i) data[i] = static_cast<unsigned char>(random() & 0xFF);
  for (int i = 0; i < kCells; ++i) data[kBitmapSize + i] = static_cast<unsigned char>(i & 0xFF);
  // Fisher-Yates with the engine's raw output, so that no library
  // distribution can make two machines disagree.
  for (int i = kCells - 1; i > 0; --i) {
    int j = static_cast<int>(random() % static_cast<std::uint32_t>(i + 1));
    std::swap(data[kBitmapSize + i], data[kBitmapSize + j]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_screens OUTPUT_DIR [COUNT] [SEED]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 4;
  if (count < 0 || count > 10000) {
    std::fprintf(stderr, "make_screens: COUNT must be 0 to 10000\n");
    return 2;
  }
  const unsigned long seed = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 6912;
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  for (long n = 0; n < count; ++n) {
    unsigned char data[kBitmapSize + kCells];
    MakeScreen(random, data);
    char name[32];
    std::snprintf(name, sizeof name, "screen_%02ld.scr", n);
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), sizeof data);
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_screens: cannot write %s/%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
