// Windows wildcard matching of names, for the POSIX directory listing.
// SPDX-License-Identifier: MIT
#include <string_view>

#include "platform/platform.h"

namespace platform {

namespace {

using View = std::u16string_view;

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

// One pattern unit that is not "*" against one name unit.
bool UnitMatches(char16_t p, char16_t s) { return p == s || p == u'?' || Fold(p) == Fold(s); }

// A pattern without "*" against a name of its length.
bool FixedMatches(View p, View s) {
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (!UnitMatches(p[i], s[i])) return false;
  }
  return true;
}

// Plain "*" and "?" matching. Without a "*", or with one, the pattern's
// parts are compared in place, once each. Otherwise "*" backtracks to its
// last position only, which is enough because a later "*" subsumes every
// earlier choice; the time is then at most the name's length times the
// pattern's.
bool Match(View p, View s) {
  const std::size_t star = p.find(u'*');
  if (star == View::npos) return p.size() == s.size() && FixedMatches(p, s);
  if (p.find(u'*', star + 1) == View::npos) {
    const View head = p.substr(0, star), tail = p.substr(star + 1);
    return s.size() >= head.size() + tail.size() && FixedMatches(head, s.substr(0, head.size())) &&
           FixedMatches(tail, s.substr(s.size() - tail.size()));
  }
  std::size_t pi = 0, si = 0, starP = View::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == u'*') {
      starP = pi++;
      starS = si;
    } else if (pi < p.size() && UnitMatches(p[pi], s[si])) {
      ++pi, ++si;
    } else if (starP != View::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

bool HasDot(View s) { return s.find(u'.') != View::npos; }

}  // namespace

bool MatchesWildcard(const std::u16string& pattern, const std::u16string& name) {
  const View p(pattern);
  const std::size_t n = p.size();
  // "*" and "*.*" match every name; most listings ask for one of them.
  if (p == u"*" || p == u"*.*") return true;
  // A trailing "." asks for names without an extension ("*." lists names
  // without a dot).
  if (n > 0 && p[n - 1] == u'.' && !IsDotName(p)) {
    return !HasDot(name) && Match(p.substr(0, n - 1), name);
  }
  // A trailing ".*" also matches names without a dot ("*.*" matches
  // everything, "x.*" matches "x").
  if (n >= 2 && p.substr(n - 2) == u".*" && !HasDot(name) && Match(p.substr(0, n - 2), name)) {
    return true;
  }
  return Match(p, name);
}

}  // namespace platform
