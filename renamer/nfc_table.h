// Unicode data for composing names (NFC) and cutting them between characters
// (generated into nfc_table.cpp). Every table is sorted by its first field.
// SPDX-License-Identifier: MIT
#ifndef RENAMER_NFC_TABLE_H
#define RENAMER_NFC_TABLE_H

#include <cstddef>
#include <cstdint>

namespace renamer::nfc {

/// A code point's full canonical decomposition: `length` code points of
/// kDecompositionData from `offset`.
struct Decomposition {
  char32_t from;
  std::uint16_t offset;
  std::uint8_t length;
};
extern const char32_t kDecompositionData[];
extern const Decomposition kDecompositions[];
extern const std::size_t kDecompositionCount;

/// Code points whose canonical combining class is not 0.
struct CombiningClass {
  char32_t code;
  std::uint8_t combiningClass;
};
extern const CombiningClass kCombiningClasses[];
extern const std::size_t kCombiningClassCount;

/// Primary composites: first followed by second composes to composite.
struct Composition {
  char32_t first;
  char32_t second;
  char32_t composite;
};
extern const Composition kCompositions[];
extern const std::size_t kCompositionCount;

/// Code points that extend the character before them (combining marks,
/// Hangul vowel and final jamo), first and last of each range.
struct Range {
  char32_t first;
  char32_t last;
};
extern const Range kExtending[];
extern const std::size_t kExtendingCount;

}  // namespace renamer::nfc

#endif  // RENAMER_NFC_TABLE_H
