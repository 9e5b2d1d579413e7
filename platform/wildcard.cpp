// Windows wildcard matching of names, for the POSIX directory listing.
// SPDX-License-Identifier: MIT
#include "platform/platform.h"

namespace platform {

namespace {

char16_t Fold(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0x178) return 0xFF;  // Y with diaeresis: its lower case is in Latin-1
  // Latin Extended-A pairs upper and lower case as neighbours; which member
  // is upper changes at U+0139 and U+014A and U+0179.
  bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((evenUpper && c % 2 == 0 && c != 0x130) || (oddUpper && c % 2 == 1)) return c + 1;
  return c;
}

// Plain "*" and "?" matching; "*" backtracks to its last position only,
// which is enough because a later "*" subsumes every earlier choice.
bool Match(const std::u16string& p, const std::u16string& s) {
  std::size_t pi = 0, si = 0, starP = std::u16string::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == u'*') {
      starP = pi++;
      starS = si;
    } else if (pi < p.size() && (p[pi] == u'?' || Fold(p[pi]) == Fold(s[si]))) {
      ++pi, ++si;
    } else if (starP != std::u16string::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

}  // namespace

bool MatchesWildcard(const std::u16string& pattern, const std::u16string& name) {
  std::size_t n = pattern.size();
  // A trailing "." asks for names without an extension ("*." lists names
  // without a dot).
  if (n > 0 && pattern[n - 1] == u'.' && !IsDotName(pattern)) {
    if (name.find(u'.') != std::u16string::npos) return false;
    return Match(pattern.substr(0, n - 1), name);
  }
  // A trailing ".*" also matches names without a dot ("*.*" matches
  // everything, "x.*" matches "x").
  if (n >= 2 && pattern.compare(n - 2, 2, u".*") == 0 && Match(pattern.substr(0, n - 2), name) &&
      name.find(u'.') == std::u16string::npos) {
    return true;
  }
  return Match(pattern, name);
}

}  // namespace platform
