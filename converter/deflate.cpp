// A zlib stream of our own for the PNG rows: every run of one byte becomes
// matches at distance 1 and every other byte a literal, as zlib's
// run-length strategy parses, and each block gets Huffman codes made for
// its symbols. The filtered rows of a screen are mostly runs, so this
// needs none of zlib's window, hash or lookahead work, and the checksum of
// a run is worked out from its length alone.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "converter/converter.h"

namespace converter {

namespace {

constexpr std::uint32_t kAdlerBase = 65521;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr std::uint16_t kEndOfBlock = 256;
constexpr std::uint16_t kFirstLengthCode = 257;
constexpr unsigned kMaxCodeBits = 15;         // literal/length and distance codes
constexpr unsigned kMaxCodeLengthBits = 7;    // the code of the code lengths
constexpr std::size_t kBlockSymbols = 16384;  // symbols per block before a new one starts
// Bytes between two reductions of the checksum's sums, far below what
// would overflow them.
constexpr std::size_t kAdlerStretch = std::size_t{1} << 20;

// The length codes: the first length of each and its extra bits.
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// The order in which a block header gives the code lengths' code lengths.
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length code (0 for 257) of each match length 0..258 (3 and up used).
struct LengthCodes {
  std::array<std::uint8_t, kMaxMatch + 1> code{};
  constexpr LengthCodes() {
    for (unsigned c = 0; c < 29; ++c) {
      const unsigned last = c + 1 < 29 ? kLengthBase[c + 1] - 1u : kMaxMatch;
      for (unsigned length = kLengthBase[c]; length <= last; ++length) {
        code[length] = static_cast<std::uint8_t>(c);
      }
    }
  }
};
constexpr LengthCodes kLengthCodes;

// How many of the bytes from p (at most n) equal v; eight compared at once.
std::size_t RunOf(const std::uint8_t* p, std::size_t n, std::uint8_t v) {
  const std::uint64_t pattern = 0x0101010101010101ull * v;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word == pattern) continue;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The lowest differing bit lies in the first differing byte.
    return i + static_cast<std::size_t>(__builtin_ctzll(word ^ pattern) >> 3);
#else
    break;
#endif
  }
  while (i < n && p[i] == v) ++i;
  return i;
}

// The low 32 bits of a bit buffer as four bytes at out, the first lowest.
void StoreWord(std::uint8_t* out, std::uint64_t buffer) {
  for (int k = 0; k < 4; ++k, buffer >>= 8) out[k] = static_cast<std::uint8_t>(buffer);
}

// Bits into the stream, the first lowest, through a 64-bit buffer that
// goes out 32 bits at a time.
void PutBits(ZlibRuns& z, std::uint32_t bits, unsigned count) {
  z.bitBuffer |= std::uint64_t{bits} << z.bitCount;
  z.bitCount += count;
  if (z.bitCount >= 32) {
    const std::size_t at = z.out.size();
    z.out.resize(at + 4);
    StoreWord(&z.out[at], z.bitBuffer);
    z.bitBuffer >>= 32;
    z.bitCount -= 32;
  }
}

// The last partial byte out, padded with zero bits.
void FlushBits(ZlibRuns& z) {
  while (z.bitCount > 0) {
    z.out.push_back(static_cast<std::uint8_t>(z.bitBuffer));
    z.bitBuffer >>= 8;
    z.bitCount = z.bitCount > 8 ? z.bitCount - 8 : 0;
  }
  z.bitBuffer = 0;
}

// A Huffman code: each symbol's length in bits and its code, bit-reversed,
// as the stream takes it.
struct HuffmanCode {
  std::uint8_t lengths[kLiteralSymbols];
  std::uint16_t codes[kLiteralSymbols];
};

// A leaf of a Huffman tree: a symbol and its count.
struct Leaf {
  std::uint32_t weight;
  std::uint16_t symbol;
};

// The depth of each of the `used` leaves (sorted by weight) in a Huffman
// tree of them: two queues, the leaves and the inner nodes, which are
// made in order of weight. parent[i] is the inner node above leaf or node
// i (leaves first, then inner nodes).
void HuffmanDepths(const Leaf* leaves, unsigned used, std::uint8_t* depth) {
  std::uint32_t innerWeight[kLiteralSymbols] = {};
  std::uint16_t parent[2 * kLiteralSymbols] = {};
  unsigned nextLeaf = 0, nextInner = 0, inner = 0;
  auto takeLightest = [&]() -> unsigned {
    const bool leaf = nextLeaf < used &&
                      (nextInner == inner || leaves[nextLeaf].weight <= innerWeight[nextInner]);
    return leaf ? nextLeaf++ : used + nextInner++;
  };
  auto weightOf = [&](unsigned node) {
    return node < used ? leaves[node].weight : innerWeight[node - used];
  };
  while (inner + 1 < used) {
    const unsigned a = takeLightest();
    const unsigned b = takeLightest();
    innerWeight[inner] = weightOf(a) + weightOf(b);
    parent[a] = parent[b] = static_cast<std::uint16_t>(used + inner);
    ++inner;
  }
  // From the root (the last inner node) down: a parent comes after its
  // children.
  const unsigned root = used + inner - 1;
  depth[root] = 0;
  for (unsigned node = root; node-- > 0;) {
    depth[node] = static_cast<std::uint8_t>(depth[parent[node]] + 1);
  }
}

// Leaves deeper than maxBits lifted to it overfill the tree; each step
// takes one leaf off the deepest level and splits a shallower one, until
// the tree is whole again. perLength[b] counts the leaves at depth b.
void LimitDepths(unsigned* perLength, unsigned maxBits) {
  std::uint32_t total = 0;
  for (unsigned bits = 1; bits <= maxBits; ++bits) total += perLength[bits] << (maxBits - bits);
  for (; total > (1u << maxBits); --total) {
    --perLength[maxBits];
    unsigned bits = maxBits - 1;
    while (bits > 0 && perLength[bits] == 0) --bits;
    if (bits == 0) break;  // cannot happen: the tree holds two leaves at least
    --perLength[bits];
    perLength[bits + 1] += 2;
  }
}

// Code lengths of at most maxBits for the n symbols of counts: the
// lengths of a Huffman tree, limited by LimitDepths (the least frequent
// symbols get the longest codes). A code always has two symbols at least,
// as every decoder accepts.
void BuildLengths(const std::uint32_t* counts, unsigned n, unsigned maxBits,
                  std::uint8_t* lengths) {
  Leaf leaves[kLiteralSymbols] = {};
  unsigned used = 0;
  for (unsigned s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (counts[s] != 0) leaves[used++] = {counts[s], static_cast<std::uint16_t>(s)};
  }
  for (unsigned s = 0; used < 2; ++s) {
    if (counts[s] == 0) leaves[used++] = {0, static_cast<std::uint16_t>(s)};
  }
  std::sort(leaves, leaves + used, [](const Leaf& a, const Leaf& b) {
    return a.weight != b.weight ? a.weight < b.weight : a.symbol < b.symbol;
  });
  std::uint8_t depth[2 * kLiteralSymbols] = {};
  HuffmanDepths(leaves, used, depth);
  unsigned perLength[kMaxCodeBits + 1] = {};
  for (unsigned i = 0; i < used; ++i) ++perLength[std::min<unsigned>(depth[i], maxBits)];
  LimitDepths(perLength, maxBits);
  // The longest codes to the lightest leaves.
  unsigned leaf = 0;
  for (unsigned bits = maxBits; bits > 0; --bits) {
    for (unsigned k = 0; k < perLength[bits]; ++k) {
      lengths[leaves[leaf++].symbol] = static_cast<std::uint8_t>(bits);
    }
  }
}

// The canonical codes of the lengths, bit-reversed.
void AssignCodes(const std::uint8_t* lengths, unsigned n, std::uint16_t* codes) {
  unsigned perLength[kMaxCodeBits + 1] = {};
  for (unsigned s = 0; s < n; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  unsigned next[kMaxCodeBits + 2] = {};
  for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
    next[bits] = (next[bits - 1] + perLength[bits - 1]) << 1;
  }
  for (unsigned s = 0; s < n; ++s) {
    const unsigned bits = lengths[s];
    if (bits == 0) continue;
    unsigned code = next[bits]++, reversed = 0;
    for (unsigned k = 0; k < bits; ++k, code >>= 1) reversed = reversed << 1 | (code & 1u);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

// The symbol of a match of `length` bytes: 256 + length, above every literal.
constexpr std::uint16_t MatchSymbol(unsigned length) {
  return static_cast<std::uint16_t>(kEndOfBlock + length);
}

// The code lengths of a block header, run-length coded: 16 repeats the
// length before 3 to 6 times, 17 and 18 give 3 to 10 and 11 to 138 zeros.
struct CodeLengthRuns {
  std::uint8_t symbol[kLiteralSymbols + 2];
  std::uint8_t extra[kLiteralSymbols + 2];
  unsigned count = 0;
  std::uint32_t counts[kCodeLengthSymbols] = {};  ///< of each symbol

  void Put(unsigned s, unsigned extraValue) {
    symbol[count] = static_cast<std::uint8_t>(s);
    extra[count++] = static_cast<std::uint8_t>(extraValue);
    ++counts[s];
  }
  // `run` lengths of `value`.
  void PutRun(std::uint8_t value, unsigned run) {
    if (value != 0) {
      Put(value, 0);
      for (--run; run >= 3; run -= std::min(run, 6u)) Put(16, std::min(run, 6u) - 3);
    } else {
      for (; run >= 11; run -= std::min(run, 138u)) Put(18, std::min(run, 138u) - 11);
      if (run >= 3) {
        Put(17, run - 3);
        run = 0;
      }
    }
    for (; run > 0; --run) Put(value, 0);
  }
};

// The block header: its kind, the code lengths of both codes (the
// literal and length code's first literalUsed, the distance code's two)
// and the code of those.
void WriteBlockHeader(ZlibRuns& z, bool last, const HuffmanCode& literal, unsigned literalUsed,
                      const std::uint8_t* distanceLengths) {
  std::uint8_t all[kLiteralSymbols + 2];
  std::copy(literal.lengths, literal.lengths + literalUsed, all);
  std::copy(distanceLengths, distanceLengths + 2, all + literalUsed);
  const unsigned allCount = literalUsed + 2;
  CodeLengthRuns runs;
  for (unsigned i = 0; i < allCount;) {
    unsigned run = 1;
    while (i + run < allCount && all[i + run] == all[i]) ++run;
    runs.PutRun(all[i], run);
    i += run;
  }
  std::uint8_t lengths[kCodeLengthSymbols];
  std::uint16_t codes[kCodeLengthSymbols] = {};
  BuildLengths(runs.counts, kCodeLengthSymbols, kMaxCodeLengthBits, lengths);
  AssignCodes(lengths, kCodeLengthSymbols, codes);
  unsigned orderUsed = kCodeLengthSymbols;
  while (orderUsed > 4 && lengths[kCodeLengthOrder[orderUsed - 1]] == 0) --orderUsed;

  PutBits(z, last ? 1u : 0u, 1);
  PutBits(z, 2, 2);  // dynamic Huffman codes
  PutBits(z, literalUsed - kFirstLengthCode, 5);
  PutBits(z, 2 - 1, 5);
  PutBits(z, orderUsed - 4, 4);
  for (unsigned k = 0; k < orderUsed; ++k) PutBits(z, lengths[kCodeLengthOrder[k]], 3);
  static constexpr std::uint8_t kRunExtraBits[3] = {2, 3, 7};
  for (unsigned k = 0; k < runs.count; ++k) {
    const unsigned symbol = runs.symbol[k];
    PutBits(z, codes[symbol], lengths[symbol]);
    if (symbol >= 16) PutBits(z, runs.extra[k], kRunExtraBits[symbol - 16]);
  }
}

// Each symbol's bits at once: a literal's code, or a match's length code,
// extra bits and distance code (one bit): at most 15 + 5 + 1 bits, so that
// 31 bits held back and one symbol fit the 64-bit buffer.
struct SymbolBits {
  std::uint64_t bits;
  std::uint32_t count;
};

// The block's symbols by the table, into room made for all of them.
void WriteSymbols(ZlibRuns& z, const SymbolBits* table, std::uint64_t dataBits) {
  std::size_t at = z.out.size();
  z.out.resize(at + static_cast<std::size_t>((z.bitCount + dataBits) / 8) + 8);
  std::uint8_t* out = z.out.data();
  std::uint64_t buffer = z.bitBuffer;
  unsigned count = z.bitCount;
  for (std::size_t k = 0; k < z.symbolCount; ++k) {
    const SymbolBits& b = table[z.symbols[k]];
    buffer |= b.bits << count;
    count += b.count;
    if (count >= 32) {
      StoreWord(out + at, buffer);
      at += 4;
      buffer >>= 32;
      count -= 32;
    }
  }
  z.out.resize(at);
  z.bitBuffer = buffer;
  z.bitCount = count;
}

// Writes the block of the symbols counted so far and starts the next.
void WriteBlock(ZlibRuns& z, bool last) {
  z.literalCounts[kEndOfBlock] = 1;
  HuffmanCode literal{};
  BuildLengths(z.literalCounts, kLiteralSymbols, kMaxCodeBits, literal.lengths);
  AssignCodes(literal.lengths, kLiteralSymbols, literal.codes);
  // Every match is at distance 1, distance code 0; a second code keeps the
  // distance code whole.
  const std::uint32_t distanceCounts[2] = {z.matches, 0};
  std::uint8_t distanceLengths[2];
  std::uint16_t distanceCodes[2] = {};
  BuildLengths(distanceCounts, 2, kMaxCodeBits, distanceLengths);
  AssignCodes(distanceLengths, 2, distanceCodes);
  unsigned literalUsed = kLiteralSymbols;
  while (literal.lengths[literalUsed - 1] == 0) --literalUsed;
  WriteBlockHeader(z, last, literal, literalUsed, distanceLengths);

  SymbolBits table[kEndOfBlock + kMaxMatch + 1];
  std::uint64_t dataBits = std::uint64_t{z.matches} * distanceLengths[0];
  for (unsigned s = 0; s < kEndOfBlock; ++s) {
    table[s] = {literal.codes[s], literal.lengths[s]};
    dataBits += std::uint64_t{z.literalCounts[s]} * literal.lengths[s];
  }
  for (unsigned code = 0; code < 29; ++code) {
    const unsigned symbol = kFirstLengthCode + code;
    dataBits +=
        std::uint64_t{z.literalCounts[symbol]} * (literal.lengths[symbol] + kLengthExtra[code]);
  }
  for (unsigned length = kMinMatch; length <= kMaxMatch; ++length) {
    const unsigned code = kLengthCodes.code[length];
    const unsigned symbol = kFirstLengthCode + code;
    const unsigned codeBits = literal.lengths[symbol], extraBits = kLengthExtra[code];
    table[kEndOfBlock + length] = {literal.codes[symbol] |
                                       std::uint64_t{length - kLengthBase[code]} << codeBits |
                                       std::uint64_t{distanceCodes[0]} << (codeBits + extraBits),
                                   codeBits + extraBits + distanceLengths[0]};
  }
  WriteSymbols(z, table, dataBits);
  PutBits(z, literal.codes[kEndOfBlock], literal.lengths[kEndOfBlock]);

  z.symbolCount = 0;
  std::fill(std::begin(z.literalCounts), std::end(z.literalCounts), 0u);
  z.matches = 0;
}

// The symbols of the block being gathered, held in locals of DeflateRuns
// (which the compiler keeps in registers) and written back when done.
struct Gathering {
  ZlibRuns& z;
  std::uint16_t* symbols;
  std::uint32_t* counts;
  std::size_t symbolCount;
  std::uint32_t matches;

  explicit Gathering(ZlibRuns& stream)
      : z(stream),
        symbols(stream.symbols.data()),
        counts(stream.literalCounts),
        symbolCount(stream.symbolCount),
        matches(stream.matches) {}
  void Literal(std::uint8_t byte) {
    symbols[symbolCount++] = byte;
    ++counts[byte];
  }
  void Match(unsigned length) {
    symbols[symbolCount++] = MatchSymbol(length);
    ++counts[kFirstLengthCode + kLengthCodes.code[length]];
    ++matches;
  }
  // A run that ended: a match, or one or two literals where it is shorter.
  void EndRun(unsigned run, int last) {
    if (run >= kMinMatch) {
      Match(run);
    } else {
      for (unsigned k = 0; k < run; ++k) Literal(static_cast<std::uint8_t>(last));
    }
  }
  void Store() {
    z.symbolCount = symbolCount;
    z.matches = matches;
  }
  // A full block written out; the next starts.
  void NextBlock() {
    Store();
    WriteBlock(z, false);
    symbolCount = 0;
    matches = 0;
  }
};

}  // namespace

void StartZlibRuns(ZlibRuns& z) {
  z = ZlibRuns();
  z.symbols.resize(kBlockSymbols + 8);
  // Window 2^15, the level field "fast".
  z.out = {0x78, 0x5E};
}

// The state is held in locals through the loop, so that the compiler keeps
// it in registers; a literal costs a few instructions, a run one step per
// eight bytes. The checksum's sums are reduced once a stretch.
void DeflateRuns(ZlibRuns& z, const std::uint8_t* data, std::size_t size) {
  Gathering block(z);
  int last = z.last;
  unsigned run = z.run;
  for (; size > 0;) {
    const std::size_t stretch = std::min(size, kAdlerStretch);
    std::uint64_t sum1 = z.sum1, sum2 = z.sum2;
    for (std::size_t i = 0; i < stretch;) {
      if (block.symbolCount >= kBlockSymbols) block.NextBlock();
      const std::uint8_t byte = data[i];
      if (static_cast<int>(byte) == last) {
        // A run goes on: as much of it as fits one match, counted at once.
        const std::size_t n =
            RunOf(data + i, std::min<std::size_t>(stretch - i, kMaxMatch - run), byte);
        const std::uint64_t length = n;
        sum2 += length * sum1 + std::uint64_t{byte} * length * (length + 1) / 2;
        sum1 += length * byte;
        run += static_cast<unsigned>(n);
        i += n;
        if (run == kMaxMatch) block.EndRun(std::exchange(run, 0), last);
        continue;
      }
      block.EndRun(std::exchange(run, 0), last);
      if (block.symbolCount >= kBlockSymbols) block.NextBlock();
      // Literals up to the next run of three bytes or more that repeat the
      // one before (a shorter one is literals too), the end of the block's
      // room, or two bytes before the end, where a run may go on in the
      // next call.
      const std::size_t end = std::min(stretch, i + (kBlockSymbols - block.symbolCount));
      std::uint8_t next = byte;
      do {
        block.Literal(next);
        sum1 += next;
        sum2 += sum1;
        last = next;
        ++i;
      } while (i < end && ((next = data[i]) != last ||
                           (i + 2 < stretch && (data[i + 1] != next || data[i + 2] != next))));
    }
    z.sum1 = sum1 % kAdlerBase;
    z.sum2 = sum2 % kAdlerBase;
    data += stretch;
    size -= stretch;
  }
  block.Store();
  z.last = last;
  z.run = run;
}

std::vector<std::uint8_t> FinishZlibRuns(ZlibRuns& z) {
  Gathering block(z);
  block.EndRun(std::exchange(z.run, 0), z.last);
  block.Store();
  WriteBlock(z, true);
  FlushBits(z);
  const auto sum = static_cast<std::uint32_t>(z.sum2 << 16 | z.sum1);
  for (int shift = 24; shift >= 0; shift -= 8) {
    z.out.push_back(static_cast<std::uint8_t>(sum >> shift));
  }
  return std::move(z.out);
}

}  // namespace converter
