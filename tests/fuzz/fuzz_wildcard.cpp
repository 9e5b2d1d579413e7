// The wildcard matcher against a plain reference: a table over every
// pattern position and name position, with case folding written out from
// the Unicode case pairs of Latin-1 and Latin Extended-A.
//
// The input is UTF-8: the pattern, a LF, the name.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The lower-case partner of an upper-case letter, else the character.
char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Latin-1, less the multiplication sign
  if (c == 0x178) return 0xFF;                             // Y with diaeresis
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs (upper, upper + 1), starting at an even code in 0100-0137 and
    // 014A-0177 and at an odd one in 0139-0148 and 0179-017E. U+0130
    // (dotted I) lower-cases to a plain "i", outside this block.
    const bool evenStart = (c <= 0x137 || (c >= 0x14A && c <= 0x177)) && c != 0x130;
    const bool oddStart = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenStart && c % 2 == 0) || (oddStart && c % 2 == 1)) return c + 1;
  }
  return c;
}

// "*" any run, "?" exactly one character, anything else itself up to case.
bool ReferenceMatch(const std::u16string& p, const std::u16string& s) {
  // row[j]: the pattern read so far matches the first j name characters.
  std::vector<bool> row(s.size() + 1, false), next(s.size() + 1);
  row[0] = true;
  for (const char16_t pc : p) {
    next[0] = row[0] && pc == u'*';
    for (std::size_t j = 1; j <= s.size(); ++j) {
      if (pc == u'*') {
        next[j] = row[j] || next[j - 1];
      } else {
        next[j] = row[j - 1] && (pc == u'?' || Lower(pc) == Lower(s[j - 1]));
      }
    }
    row.swap(next);
  }
  return row[s.size()];
}

bool HasDot(const std::u16string& s) { return s.find(u'.') != std::u16string::npos; }

// The extension rules on top: a trailing "." asks for a name without a dot;
// a trailing ".*" lets a name without a dot match what stands before it.
bool ReferenceWildcard(const std::u16string& p, const std::u16string& s) {
  const std::size_t n = p.size();
  if (n > 0 && p.back() == u'.' && p != u"." && p != u"..") {
    return !HasDot(s) && ReferenceMatch(p.substr(0, n - 1), s);
  }
  if (n >= 2 && p.compare(n - 2, 2, u".*") == 0 && !HasDot(s) &&
      ReferenceMatch(p.substr(0, n - 2), s)) {
    return true;
  }
  return ReferenceMatch(p, s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = fuzz::Bytes(data, size);
  const std::size_t lf = bytes.find('\n');
  if (lf == std::string::npos) return 0;
  const std::u16string pattern = platform::DecodeUtf8(bytes.substr(0, lf));
  const std::u16string name = platform::DecodeUtf8(bytes.substr(lf + 1));
  const bool got = platform::MatchesWildcard(pattern, name);
  FUZZ_CHECK(got == ReferenceWildcard(pattern, name),
             std::string(got ? "match" : "no match") + " of pattern " + fuzz::Show(pattern) +
                 " and name " + fuzz::Show(name) + " differs from the reference");
  return 0;
}
