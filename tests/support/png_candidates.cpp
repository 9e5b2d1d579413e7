// Weighs deflate settings for zxraster's PNG rows against each other: for
// one screen and scale, each candidate's compressed size, its growth over
// the reference (zlib's default level with run-length matching, what the
// program used before), and the CPU time of one compression (median of
// ROUNDS). The one marked "*" is the program's (kPngDeflate).
//
// Usage: png_candidates SCREEN [SCALE] [ROUNDS]
// SPDX-License-Identifier: MIT
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <vector>

#include "converter/converter.h"

namespace {

struct Candidate {
  const char* name;
  converter::PngDeflate settings;
};

const Candidate kCandidates[] = {
    {"default level, Z_RLE, mem 9 (reference)",
     {Z_DEFAULT_COMPRESSION, Z_RLE, 9, 15, false, false}},
    {"default level, Z_RLE, mem 6", {Z_DEFAULT_COMPRESSION, Z_RLE, 6, 15, false, false}},
    {"default level, Z_RLE, mem 6, Sub/Up rule",
     {Z_DEFAULT_COMPRESSION, Z_RLE, 6, 15, true, false}},
    {"default level, Z_RLE, mem 5", {Z_DEFAULT_COMPRESSION, Z_RLE, 5, 15, false, false}},
    {"default level, Z_RLE, mem 4", {Z_DEFAULT_COMPRESSION, Z_RLE, 4, 15, false, false}},
    {"level 1, mem 8", {1, Z_DEFAULT_STRATEGY, 8, 15, false, false}},
    {"level 1, mem 4", {1, Z_DEFAULT_STRATEGY, 4, 15, false, false}},
    {"level 1, mem 4, Sub/Up rule", {1, Z_DEFAULT_STRATEGY, 4, 15, true, false}},
    {"default level, Z_RLE, mem 5, Sub/Up rule",
     {Z_DEFAULT_COMPRESSION, Z_RLE, 5, 15, true, false}},
    {"Z_HUFFMAN_ONLY, mem 4", {Z_DEFAULT_COMPRESSION, Z_HUFFMAN_ONLY, 4, 15, false, false}},
    {"Z_HUFFMAN_ONLY, mem 4, Sub/Up rule",
     {Z_DEFAULT_COMPRESSION, Z_HUFFMAN_ONLY, 4, 15, true, false}},
    {"own run coder", {Z_DEFAULT_COMPRESSION, Z_RLE, 6, 15, false, true}},
    {"own run coder, Sub/Up rule", {Z_DEFAULT_COMPRESSION, Z_RLE, 6, 15, true, true}},
};

double CpuMicroseconds() { return static_cast<double>(std::clock()) * 1e6 / CLOCKS_PER_SEC; }

bool Same(const converter::PngDeflate& a, const converter::PngDeflate& b) {
  return a.level == b.level && a.strategy == b.strategy && a.memLevel == b.memLevel &&
         a.windowBits == b.windowBits && a.chooseFilter == b.chooseFilter &&
         a.runCoder == b.runCoder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: png_candidates SCREEN [SCALE] [ROUNDS]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  in.read(reinterpret_cast<char*>(&converter::screen), sizeof converter::screen);
  if (!in) {
    std::fprintf(stderr, "png_candidates: cannot read a screen from %s\n", argv[1]);
    return 1;
  }
  const long scale = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1;
  const long rounds = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 21;
  if (scale < 1 || scale > 8 || rounds < 1 || rounds > 10000) {
    std::fprintf(stderr, "png_candidates: SCALE must be 1 to 8, ROUNDS 1 to 10000\n");
    return 2;
  }
  converter::ResetPalette();
  converter::RenderIndexed();
  std::size_t reference = 0;
  for (const Candidate& c : kCandidates) {
    std::vector<double> times;
    std::size_t size = 0;
    for (long r = 0; r < rounds; ++r) {
      const double start = CpuMicroseconds();
      size =
          converter::CompressRows(false, static_cast<std::uint32_t>(scale), 0, c.settings).size();
      times.push_back(CpuMicroseconds() - start);
    }
    if (reference == 0) reference = size;
    std::nth_element(times.begin(), times.begin() + static_cast<long>(times.size() / 2),
                     times.end());
    std::printf("%c %-42s %8zu bytes %+6.1f %% %8.0f us\n",
                Same(c.settings, converter::kPngDeflate) ? '*' : ' ', c.name, size,
                100.0 * (static_cast<double>(size) / static_cast<double>(reference) - 1.0),
                times[times.size() / 2]);
  }
  return 0;
}
