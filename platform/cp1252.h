// Windows-1252 tables of the POSIX backend (generated into cp1252.cpp).
// SPDX-License-Identifier: MIT
#ifndef PLATFORM_CP1252_H
#define PLATFORM_CP1252_H

#include <cstddef>
#include <cstdint>

namespace platform::cp1252 {

/// The characters of the bytes 0x80 to 0xFF.
extern const char16_t kHighHalf[128];

struct BestFit {
  char16_t from;
  std::uint8_t to;
};
/// Characters outside the code page with a look-alike in it, sorted by
/// `from`.
extern const BestFit kBestFit[];
extern const std::size_t kBestFitCount;

}  // namespace platform::cp1252

#endif  // PLATFORM_CP1252_H
