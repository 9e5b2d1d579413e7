// Numbers as text: the plain unsigned decimal both programs print.
// SPDX-License-Identifier: MIT
#include "platform/platform.h"

namespace platform {

std::u16string Decimal(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace platform
