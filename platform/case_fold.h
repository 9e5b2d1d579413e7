// The case-folding table (generated into case_fold.cpp) behind FoldCase.
// SPDX-License-Identifier: MIT
#ifndef PLATFORM_CASE_FOLD_H
#define PLATFORM_CASE_FOLD_H

#include <cstddef>

namespace platform::case_fold {

struct Pair {
  char16_t from;
  char16_t to;
};
/// Every code unit whose key is another unit, sorted by `from`.
extern const Pair kPairs[];
extern const std::size_t kPairCount;

}  // namespace platform::case_fold

#endif  // PLATFORM_CASE_FOLD_H
