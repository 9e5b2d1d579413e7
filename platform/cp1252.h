// Windows-1252 tables, from Microsoft's best-fit table (generated into
// cp1252.cpp): the ANSI code page of the POSIX backend.
// SPDX-License-Identifier: MIT
#ifndef PLATFORM_CP1252_H
#define PLATFORM_CP1252_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace platform::cp1252 {

/// The characters of the bytes 0x80 to 0xFF.
extern const char16_t kHighHalf[128];

struct BestFit {
  char16_t from;
  std::uint8_t to;
};
/// Every code unit from U+0080 up that converts to a byte other than the
/// default character: the code page's own characters and their look-alikes,
/// sorted by `from`. Below U+0080 a code unit is its own byte.
extern const BestFit kBestFit[];
extern const std::size_t kBestFitCount;

/// The byte of one UTF-16 code unit: its own, its look-alike's, or "?".
inline std::uint8_t ToByte(char16_t c) {
  if (c < 0x80) return static_cast<std::uint8_t>(c);
  const BestFit* end = kBestFit + kBestFitCount;
  const BestFit* fit =
      std::lower_bound(kBestFit, end, c, [](const BestFit& f, char16_t v) { return f.from < v; });
  return fit != end && fit->from == c ? fit->to : std::uint8_t{'?'};
}

/// The character of one byte.
inline char16_t ToChar(std::uint8_t b) { return b < 0x80 ? char16_t{b} : kHighHalf[b - 0x80]; }

}  // namespace platform::cp1252

#endif  // PLATFORM_CP1252_H
