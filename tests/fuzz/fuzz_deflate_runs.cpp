// The PNG rows' deflate coder: zlib inflates what it writes back to exactly
// the bytes it was given, checksum included, whatever pieces they came in.
// The first byte sets the piece size (0: all at once).
// SPDX-License-Identifier: MIT
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "converter/converter.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] == 0 ? size : data[0];
  ++data;
  --size;
  converter::ZlibRuns z;
  converter::StartZlibRuns(z);
  for (std::size_t at = 0; at < size; at += piece) {
    converter::DeflateRuns(z, data + at, std::min(piece, size - at));
  }
  const std::vector<std::uint8_t> stream = converter::FinishZlibRuns(z);
  std::vector<std::uint8_t> back(size + 1);
  auto backSize = static_cast<uLongf>(back.size());
  const int result =
      uncompress(back.data(), &backSize, stream.data(), static_cast<uLong>(stream.size()));
  FUZZ_CHECK(result == Z_OK, "zlib refuses the stream of " + fuzz::Bytes(data, size));
  FUZZ_CHECK(backSize == size && (size == 0 || std::memcmp(back.data(), data, size) == 0),
             "zlib gives back other bytes than " + fuzz::Bytes(data, size));
  return 0;
}
