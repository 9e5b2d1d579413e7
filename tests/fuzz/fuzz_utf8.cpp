// UTF-8 to UTF-16 and back: every byte string comes back exactly, and the
// text in between holds no lone surrogate but the escapes of single bytes.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = fuzz::Bytes(data, size);
  const std::u16string text = platform::DecodeUtf8(bytes);
  FUZZ_CHECK(platform::EncodeUtf8(text) == bytes, "no round trip for " + fuzz::Show(bytes));

  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      FUZZ_CHECK(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF,
                 "lone high surrogate decoded from " + fuzz::Show(bytes));
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      // Only bytes that cannot be plain ASCII are ever escaped.
      FUZZ_CHECK(c >= 0xDC80, "escape of an ASCII byte decoded from " + fuzz::Show(bytes));
    }
  }
  return 0;
}
