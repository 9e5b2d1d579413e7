// Every picture zxraster writes for a set of screens and options, held as
// SHA-256 digests in tests/converter_picture_digests.txt: of each BMP file,
// and of each PNG's decoded pixels (its size, colour type, frames and their
// colours; not its compressed bytes). A change to the code that alters one
// picture fails here. ZX_UPDATE_PICTURE_DIGESTS=1 rewrites the file instead
// (docs/DEVELOPING.md).
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "converter/converter.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Narrow;
using testsupport::ReadBytes;
using testsupport::ScratchDir;

const fs::path kDigestFile = fs::path(ZX_SOURCE_DIR) / "tests/converter_picture_digests.txt";

// SHA-256 (FIPS 180-4), as hex.
std::string Sha256(const std::string& message) {
  static const std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string data = message;
  const std::uint64_t bits = std::uint64_t{message.size()} * 8;
  data.push_back(static_cast<char>(0x80));
  while (data.size() % 64 != 56) data.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8) data.push_back(static_cast<char>(bits >> shift));
  auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (std::size_t block = 0; block < data.size(); block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = 0;
      for (int b = 0; b < 4; ++b) {
        w[i] = w[i] << 8 | static_cast<unsigned char>(data[block + 4 * std::size_t(i) + b]);
      }
    }
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = h[i];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
      const std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const std::uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
      const std::uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
      const std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      for (int j = 7; j > 0; --j) v[j] = v[j - 1];
      v[4] += t1;
      v[0] = t1 + s0 + maj;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
  }
  std::string hex;
  for (const std::uint32_t word : h) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(word));
    hex += digits;
  }
  return hex;
}

std::uint32_t Be32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < 4; ++k)
    value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
  return value;
}

std::string Inflate(const std::string& compressed) {
  z_stream stream{};
  EXPECT_EQ(inflateInit(&stream), Z_OK);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  std::string out;
  char buffer[65536];
  int result = Z_OK;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  } while (result == Z_OK);
  inflateEnd(&stream);
  EXPECT_EQ(result, Z_STREAM_END) << "a PNG frame's zlib stream is broken";
  return out;
}

// Undoes the five PNG row filters; `bpp` bytes per pixel (at least 1).
std::string Unfilter(const std::string& data, std::size_t rowSize, std::size_t height,
                     std::size_t bpp) {
  std::string rows(rowSize * height, '\0');
  if (data.size() != (rowSize + 1) * height) {
    ADD_FAILURE() << "a PNG frame holds " << data.size() << " bytes";
    return rows;
  }
  for (std::size_t y = 0; y < height; ++y) {
    const auto filter = static_cast<unsigned char>(data[y * (rowSize + 1)]);
    for (std::size_t i = 0; i < rowSize; ++i) {
      const int raw = static_cast<unsigned char>(data[y * (rowSize + 1) + 1 + i]);
      const int a = i >= bpp ? static_cast<unsigned char>(rows[y * rowSize + i - bpp]) : 0;
      const int b = y > 0 ? static_cast<unsigned char>(rows[(y - 1) * rowSize + i]) : 0;
      const int c =
          y > 0 && i >= bpp ? static_cast<unsigned char>(rows[(y - 1) * rowSize + i - bpp]) : 0;
      int predictor = 0;
      if (filter == 1) predictor = a;
      if (filter == 2) predictor = b;
      if (filter == 3) predictor = (a + b) / 2;
      if (filter == 4) {
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      EXPECT_LE(filter, 4) << "unknown PNG filter";
      rows[y * rowSize + i] = static_cast<char>((raw + predictor) & 0xFF);
    }
  }
  return rows;
}

// The decoded picture of a PNG file as text to digest: its size, bit depth
// and colour type, and each frame's control data and red, green, blue
// pixels. Handles what zxraster writes: 4-bit or 8-bit palette or 8-bit RGB, no
// interlace, an animation whose frames cover the whole picture.
std::string PngPixels(const std::string& file) {
  std::uint32_t width = 0, height = 0;
  unsigned depth = 0, colourType = 0;
  std::string palette;
  std::vector<std::string> controls;
  std::vector<std::string> frames(1);
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint32_t length = Be32(file, at);
    const std::string type = file.substr(at + 4, 4);
    const std::string data = file.substr(at + 8, length);
    at += 12 + std::size_t{length};
    if (type == "IHDR") {
      width = Be32(data, 0);
      height = Be32(data, 4);
      depth = static_cast<unsigned char>(data[8]);
      colourType = static_cast<unsigned char>(data[9]);
      EXPECT_EQ(data[12], 0) << "interlaced";
    } else if (type == "PLTE") {
      palette = data;
    } else if (type == "fcTL") {
      controls.push_back(data.substr(4));  // without its sequence number
      if (controls.size() > frames.size()) frames.emplace_back();
    } else if (type == "IDAT") {
      frames.front() += data;
    } else if (type == "fdAT") {
      frames.back() += data.substr(4);
    }
  }
  EXPECT_TRUE(((depth == 4 || depth == 8) && colourType == 3) || (depth == 8 && colourType == 2))
      << "depth " << depth << " colour type " << colourType;
  const bool indexed = colourType == 3;
  const bool wide = indexed && depth == 8;
  const auto pixels = static_cast<std::size_t>(width);
  std::size_t rowSize = (pixels + 1) / 2;
  if (!indexed) {
    rowSize = pixels * 3;
  } else if (wide) {
    rowSize = pixels;
  }
  std::ostringstream text;
  text << "PNG " << width << "x" << height << " depth " << depth << " type " << colourType
       << " frames " << frames.size() << "\n";
  for (std::size_t f = 0; f < frames.size(); ++f) {
    if (f < controls.size()) text << controls[f];
    const std::string rows = Unfilter(Inflate(frames[f]), rowSize, height, indexed ? 1 : 3);
    std::string rgb;
    for (std::size_t y = 0; y < height; ++y) {
      for (std::size_t x = 0; x < width; ++x) {
        if (!indexed) {
          rgb += rows.substr(y * rowSize + 3 * x, 3);
          continue;
        }
        const auto cell = static_cast<unsigned char>(rows[y * rowSize + (wide ? x : x / 2)]);
        const std::size_t index = wide ? cell : x % 2 == 0 ? cell >> 4 : cell & 0x0F;
        EXPECT_LT(3 * index + 2, palette.size()) << "a pixel outside the palette";
        rgb += palette.substr(3 * index, 3);
      }
    }
    text << rgb;
  }
  return text.str();
}

// The options of one picture, as on the command line after -i and -o.
struct PictureCase {
  std::vector<std::u16string> args;
  bool png;
};

std::vector<PictureCase> Cases() {
  std::vector<PictureCase> cases;
  for (const char16_t* colour : {u"0", u"1"}) {
    for (const char16_t* palette : {u"", u"palette_216.txt"}) {
      std::vector<std::u16string> base = {u"-c", colour};
      if (*palette != 0) {
        base.emplace_back(u"-p");
        base.push_back(
            testsupport::NameOf(fs::path(ZX_SOURCE_DIR) / "samples/zx" / Narrow(palette)));
      }
      cases.push_back({base, false});  // no picture options: the tool's first BMP
      for (const char16_t* format : {u"bmp", u"png"}) {
        const bool png = format[0] == u'p';
        for (const char16_t* scale : {u"1", u"2", u"3", u"8"}) {
          for (const char16_t* phase : {u"0", u"1", u"2"}) {
            if (!png && phase[0] == u'2') continue;  // no animated BMP
            // The largest pictures take the most time: one palette will do.
            if (scale[0] == u'8' && *palette != 0) continue;
            std::vector<std::u16string> args = base;
            for (const char16_t* arg : {u"-f", format, u"-s", scale, u"-a", phase}) {
              args.emplace_back(arg);
            }
            cases.push_back({args, png});
          }
        }
      }
    }
  }
  return cases;
}

// The pictures of the other screen formats' test cards, read with -m auto:
// both colour modes, the tool's first BMP, a scaled BMP in phase 1, PNGs
// at two scales and as an animation.
std::vector<PictureCase> FormatCases() {
  std::vector<PictureCase> cases;
  for (const char16_t* colour : {u"0", u"1"}) {
    const std::vector<std::u16string> base = {u"-m", u"auto", u"-c", colour};
    cases.push_back({base, false});
    const std::vector<std::vector<std::u16string>> more = {
        {u"-f", u"bmp", u"-s", u"2", u"-a", u"1"},
        {u"-f", u"png", u"-s", u"1", u"-a", u"2"},
        {u"-f", u"png", u"-s", u"3", u"-a", u"0"}};
    for (const auto& options : more) {
      std::vector<std::u16string> args = base;
      args.insert(args.end(), options.begin(), options.end());
      cases.push_back({args, options[1] == u"png"});
    }
  }
  return cases;
}

// "-c 1 -p palette_216.txt -f png -s 3 -a 2": the options, palettes by name.
std::string CaseName(const PictureCase& picture) {
  std::string name;
  for (const std::u16string& arg : picture.args) {
    if (!name.empty()) name += ' ';
    name += arg.size() > 2 ? testsupport::PathOf(arg).filename().string() : Narrow(arg);
  }
  return name;
}

std::map<std::string, std::string> ReadDigests() {
  std::map<std::string, std::string> digests;
  std::ifstream in(kDigestFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 66 && line[0] != '#') digests[line.substr(66)] = line.substr(0, 64);
  }
  return digests;
}

TEST(PictureDigests, EveryPictureIsTheStoredOne) {
  if (!ZX_NATIVE_BUILD) GTEST_SKIP() << "the digests are checked in the native build";
  ScratchDir dir;
  fs::create_directory(dir / "generated");
  const testsupport::ProcessResult made =
      testsupport::RunProgram("make_screens", {u"generated", u"1", u"6912"}, dir.path());
  ASSERT_EQ(made.exitCode, 0u) << made.err;
  const std::map<std::string, fs::path> screens = {
      {"testcard.scr", fs::path(ZX_SOURCE_DIR) / "samples/zx/testcard.scr"},
      {"generated_00.scr", dir / "generated/screen_00.scr"}};

  std::map<std::string, std::string> digests;
  std::map<std::string, fs::path> cards;
  for (const char* card :
       {"card_mono.scr", "card_timex_hicolour.scr", "card_timex_hires.scr", "card_ulaplus.scr"}) {
    cards[card] = fs::path(ZX_SOURCE_DIR) / "samples/zx" / card;
  }
  for (const auto& [screenName, screenFile] : screens) cards[screenName] = screenFile;
  for (const auto& [screenName, screenFile] : cards) {
    const bool scr = screens.count(screenName) != 0;
    for (const PictureCase& picture : scr ? Cases() : FormatCases()) {
      std::vector<std::u16string> args = {u"-i", testsupport::NameOf(screenFile), u"-o",
                                          picture.png ? u"out.png" : u"out.bmp"};
      args.insert(args.end(), picture.args.begin(), picture.args.end());
      const std::string name = screenName + " " + CaseName(picture);
      const testsupport::ProcessResult run = testsupport::RunProgram("zxraster", args, dir.path());
      ASSERT_EQ(run.exitCode, 0u) << name << ": " << run.out << run.err;
      const std::string bytes = ReadBytes(dir / (picture.png ? "out.png" : "out.bmp"));
      digests[name] = Sha256(picture.png ? PngPixels(bytes) : bytes);
    }
  }

  if (std::getenv("ZX_UPDATE_PICTURE_DIGESTS") != nullptr) {
    std::ofstream out(kDigestFile, std::ios::binary);
    out << "# SHA-256 of each BMP file and of each PNG's decoded pixels, by screen and\n"
           "# options; written by ZX_UPDATE_PICTURE_DIGESTS=1 (docs/DEVELOPING.md).\n";
    for (const auto& [name, digest] : digests) out << digest << "  " << name << "\n";
    ASSERT_TRUE(out.flush()) << "cannot write " << kDigestFile;
    std::printf("wrote %zu digests to %s\n", digests.size(), kDigestFile.string().c_str());
    return;
  }
  const std::map<std::string, std::string> stored = ReadDigests();
  for (const auto& [name, digest] : digests) {
    const auto it = stored.find(name);
    if (it == stored.end()) {
      ADD_FAILURE() << name << ": no stored digest";
    } else {
      EXPECT_EQ(digest, it->second) << name << ": the picture changed";
    }
  }
  for (const auto& [name, digest] : stored) {
    EXPECT_TRUE(digests.count(name) != 0) << name << ": a stored digest of no picture";
  }
}

struct RunsCase {
  const char* name;
  std::string bytes;
  std::size_t piece;  ///< fed in pieces of this many bytes (0: at once)
};

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string text;
  for (std::size_t k = 0; k < times; ++k) text += unit;
  return text;
}

// Bytes of `kinds` values whose counts grow as the Fibonacci numbers from
// 1 and 2, no byte the same as the one before (so all are literals): in
// one block, a Huffman tree of them is a chain, 17 levels deep for 18.
std::string FibonacciBytes(unsigned kinds) {
  std::vector<std::uint32_t> left;
  std::uint32_t a = 1, b = 2;
  for (unsigned k = 0; k < kinds; ++k) {
    left.push_back(a);
    const std::uint32_t next = a + b;
    a = b;
    b = next;
  }
  std::string bytes;
  int last = -1;
  for (;;) {
    int pick = -1;
    for (unsigned k = 0; k < kinds; ++k) {
      if (static_cast<int>(k) != last && left[k] > 0 && (pick < 0 || left[k] > left[pick])) {
        pick = static_cast<int>(k);
      }
    }
    if (pick < 0) break;
    --left[pick];
    bytes += static_cast<char>(pick * 7);
    last = pick;
  }
  return bytes;
}

// A block's room running out just as a run of two ends: 16,381 literals,
// a literal and a match of 258, two more of the same byte, then literals
// on and on (which must go to the next block).
std::string BlockEdgeBytes() {
  std::string bytes = Repeat("ab", 16381 / 2) + "a";
  bytes += std::string(1 + 258 + 2, 'x');
  return bytes + Repeat("cd", 15000);
}

std::string NoiseBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t seed = 1;
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// The PNG rows' own deflate coder: zlib inflates every stream back to the
// bytes given, whatever pieces they came in, checksum included.
TEST(RunDeflate, ZlibGivesBackEveryByte) {
  std::string all;
  for (int v = 0; v < 256; ++v) all += static_cast<char>(v);
  const RunsCase cases[] = {
      {"nothing", "", 0},
      {"one byte", "x", 0},
      {"a run at the very start", "aaaa", 0},
      {"runs shorter than a match", "abbcbbbdbbe", 0},
      {"a run of the longest match", "a" + std::string(258, 'b') + "c", 0},
      {"a run one past the longest match", "a" + std::string(259, 'b') + "c", 0},
      {"a run two past the longest match", "a" + std::string(260, 'b') + "c", 0},
      {"a run of two longest matches and three", "a" + std::string(519, 'b'), 0},
      {"runs across pieces", Repeat("ab" + std::string(300, '\0') + "cc", 40), 7},
      {"short runs across pieces", Repeat("aab", 500), 2},
      {"one byte at a time", Repeat("abbbbc", 100), 1},
      {"every byte value", Repeat(all, 3), 0},
      {"noise over several blocks", NoiseBytes(100000), 4096},
      {"zeros past the checksum's stretch", std::string(3u << 20, '\0'), 0},
      {"255s past the checksum's stretch", std::string((1u << 20) + 5, '\xFF'), 100000},
      {"codes too long unless limited", FibonacciBytes(18), 0},
      {"a block full as a short run ends", BlockEdgeBytes(), 0},
  };
  for (const RunsCase& c : cases) {
    converter::ZlibRuns z;
    converter::StartZlibRuns(z);
    const auto* data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    const std::size_t piece = c.piece == 0 ? std::max<std::size_t>(c.bytes.size(), 1) : c.piece;
    for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
      converter::DeflateRuns(z, data + at, std::min(piece, c.bytes.size() - at));
    }
    const std::vector<std::uint8_t> stream = converter::FinishZlibRuns(z);
    const std::string compressed(stream.begin(), stream.end());
    EXPECT_TRUE(Inflate(compressed) == c.bytes) << c.name;
  }
  // Runs cost next to nothing: 3 MiB of zeros in a few kilobytes.
  converter::ZlibRuns z;
  converter::StartZlibRuns(z);
  const std::string zeros(3u << 20, '\0');
  converter::DeflateRuns(z, reinterpret_cast<const std::uint8_t*>(zeros.data()), zeros.size());
  EXPECT_LT(converter::FinishZlibRuns(z).size(), 8192u);
}

// The digest that the check above rests on.
TEST(PictureDigests, Sha256GivesTheStandardsExamples) {
  EXPECT_EQ(Sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
