// Text to the ANSI code page (Windows-1252 on POSIX) and back: one byte per
// character (a surrogate pair is one character), the result holds only
// characters of the code page, and those characters pass through unchanged.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The 256 characters of the code page, by the program's own table.
const std::u16string& CodePage() {
  static const std::u16string characters = [] {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::u16string text = platform::FromAnsi(all);
    FUZZ_CHECK(text.size() == 256, "FromAnsi does not give one character per byte");
    return text;
  }();
  return characters;
}

bool InCodePage(char16_t c) { return CodePage().find(c) != std::u16string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = fuzz::CodeUnits(data, size);
  const std::string ansi = platform::ToAnsi(text);
  const std::u16string back = platform::FromAnsi(ansi);
  FUZZ_CHECK(back.size() == ansi.size(), "FromAnsi changed the length for " + fuzz::Show(text));

  std::size_t k = 0;  // the character of `ansi` that stands for text[i]
  for (std::size_t i = 0; i < text.size(); ++i, ++k) {
    FUZZ_CHECK(k < ansi.size(), "too few bytes for " + fuzz::Show(text));
    const char16_t c = text[i];
    FUZZ_CHECK(InCodePage(back[k]), "character outside the code page from " + fuzz::Show(text));
    if (InCodePage(c)) {
      FUZZ_CHECK(back[k] == c, "code-page character changed in " + fuzz::Show(text));
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a surrogate pair is one character
    }
  }
  FUZZ_CHECK(k == ansi.size(), "too many bytes for " + fuzz::Show(text));
  FUZZ_CHECK(platform::ToAnsi(back) == ansi, "converted text is not stable: " + fuzz::Show(text));
  return 0;
}
