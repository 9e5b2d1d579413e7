// FoldCase: the key of a name for comparisons without regard to case.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <string>

#include "platform/case_fold.h"
#include "platform/platform.h"

namespace platform {

std::u16string FoldCase(std::u16string name) {
  for (char16_t& unit : name) {
    if (unit < 0x80) {
      if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
      continue;
    }
    const case_fold::Pair* end = case_fold::kPairs + case_fold::kPairCount;
    const case_fold::Pair* pair = std::lower_bound(
        case_fold::kPairs, end, unit,
        [](const case_fold::Pair& entry, char16_t value) { return entry.from < value; });
    if (pair != end && pair->from == unit) unit = pair->to;
  }
  return name;
}

}  // namespace platform
