// Names that Windows can hold (-w): composed accents (NFC), no trailing dot
// or blank, no reserved device name, at most 255 code units.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <string>
#include <utility>

#include "renamer/nfc_table.h"
#include "renamer/renamer.h"

namespace renamer {

namespace {

// Hangul syllables compose and decompose by arithmetic.
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28;
constexpr char32_t kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

constexpr std::size_t kMaxNameUnits = 255;
// "2048_" before a file name or "_2048" after a directory's.
constexpr std::size_t kCounterRoom = 5;
constexpr std::size_t kMaxExtension = 16;

// A lone surrogate stays a code point of its own value.
std::u32string CodePoints(const std::u16string& text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (platform::IsSurrogatePairAt(text, i)) {
      out += platform::SurrogatePairValue(text[i], text[i + 1]);
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::u16string Units(const std::u32string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::uint8_t CombiningClassOf(char32_t c) {
  const nfc::CombiningClass* end = nfc::kCombiningClasses + nfc::kCombiningClassCount;
  const nfc::CombiningClass* it =
      std::lower_bound(nfc::kCombiningClasses, end, c,
                       [](const nfc::CombiningClass& e, char32_t v) { return e.code < v; });
  return it != end && it->code == c ? it->combiningClass : 0;
}

void Decompose(char32_t c, std::u32string& out) {
  if (c >= kSBase && c < kSBase + kSCount) {
    const char32_t s = c - kSBase;
    out += static_cast<char32_t>(kLBase + s / kNCount);
    out += static_cast<char32_t>(kVBase + (s % kNCount) / kTCount);
    if (s % kTCount != 0) out += static_cast<char32_t>(kTBase + s % kTCount);
    return;
  }
  const nfc::Decomposition* end = nfc::kDecompositions + nfc::kDecompositionCount;
  const nfc::Decomposition* it =
      std::lower_bound(nfc::kDecompositions, end, c,
                       [](const nfc::Decomposition& e, char32_t v) { return e.from < v; });
  if (it != end && it->from == c) {
    out.append(nfc::kDecompositionData + it->offset, it->length);
  } else {
    out += c;
  }
}

// The primary composite of first and second, or 0.
char32_t Compose(char32_t first, char32_t second) {
  if (first >= kLBase && first < kLBase + kLCount && second >= kVBase &&
      second < kVBase + kVCount) {
    return kSBase + ((first - kLBase) * kVCount + (second - kVBase)) * kTCount;
  }
  if (first >= kSBase && first < kSBase + kSCount && (first - kSBase) % kTCount == 0 &&
      second > kTBase && second < kTBase + kTCount) {
    return first + (second - kTBase);
  }
  const nfc::Composition* end = nfc::kCompositions + nfc::kCompositionCount;
  const nfc::Composition* it =
      std::lower_bound(nfc::kCompositions, end, std::make_pair(first, second),
                       [](const nfc::Composition& e, const std::pair<char32_t, char32_t>& v) {
                         return e.first != v.first ? e.first < v.first : e.second < v.second;
                       });
  return it != end && it->first == first && it->second == second ? it->composite : 0;
}

bool Extends(char32_t c) {
  const nfc::Range* end = nfc::kExtending + nfc::kExtendingCount;
  const nfc::Range* it = std::upper_bound(
      nfc::kExtending, end, c, [](char32_t v, const nfc::Range& r) { return v < r.first; });
  return it != nfc::kExtending && c <= (it - 1)->last;
}

// Whether the code unit at i continues the character before it: the low half
// of a surrogate pair, or a mark that belongs to the character before.
bool ContinuesCharacter(const std::u16string& text, std::size_t i) {
  if (i == 0 || i >= text.size()) return false;
  if (platform::IsLowSurrogate(text[i])) return platform::IsHighSurrogate(text[i - 1]);
  char32_t c = text[i];
  if (platform::IsSurrogatePairAt(text, i)) c = platform::SurrogatePairValue(text[i], text[i + 1]);
  return Extends(c);
}

// The length of the reserved device name that the part of a name before its
// first dot is, trailing blanks ignored; 0 when it is none.
std::size_t DeviceNameLength(const std::u16string& name) {
  std::size_t end = std::min(name.find(u'.'), name.size());
  while (end > 0 && name[end - 1] == u' ') --end;
  std::u16string stem = name.substr(0, end);
  for (char16_t& c : stem) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL") return end;
  if (stem.size() != 4 || (stem.compare(0, 3, u"COM") != 0 && stem.compare(0, 3, u"LPT") != 0)) {
    return 0;
  }
  const char16_t digit = stem[3];
  const bool device = (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' ||
                      digit == u'\u00B2' || digit == u'\u00B3';
  return device ? end : 0;
}

// A character that no Windows name can hold: the C0 controls and
// < > : " \ | ? *. A file system elsewhere, the ANSI check ("?") and the
// rules can all give one.
bool ForbiddenInName(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'\\' || c == u'|' ||
         c == u'?' || c == u'*';
}

void ReplaceTrailingDotsAndBlanks(std::u16string& name) {
  for (std::size_t i = name.size(); i > 0 && (name[i - 1] == u'.' || name[i - 1] == u' '); --i) {
    name[i - 1] = u'_';
  }
}

// Cuts the name to leave room for the unique counter, keeping the last
// extension when it is short, and never inside a character.
std::u16string Shorten(const std::u16string& name) {
  const std::size_t room = kMaxNameUnits - kCounterRoom;
  std::u16string extension;
  const std::size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0 && name.size() - dot - 1 <= kMaxExtension) {
    extension = name.substr(dot);
  }
  const std::size_t wanted = room - extension.size();
  std::size_t cut = wanted;
  while (cut > 0 && ContinuesCharacter(name, cut)) --cut;
  if (cut == 0) {
    // Nothing but one character's marks: cut between marks, never a pair.
    cut = wanted;
    if (platform::IsSurrogatePairAt(name, cut - 1)) --cut;
  }
  return name.substr(0, cut) + extension;
}

// Where the name's own text starts: after its last separator ("\\" is one
// on Windows, name text elsewhere) and, in a directory's path, after a
// leading drive designator ("C:TEMP" keeps its drive).
std::size_t OwnNameStart(EntryKind kind, const std::u16string& path) {
  const std::size_t sep =
      platform::kPathSeparator == u'\\' ? path.find_last_of(u"\\/") : path.find_last_of(u'/');
  const std::size_t start = sep == std::u16string::npos ? 0 : sep + 1;
  const bool drive = kind == EntryKind::Directory && path.size() >= 2 && path[1] == u':' &&
                     ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  return drive ? std::max<std::size_t>(start, 2) : start;
}

// Applies fix to the own text of a directory's path or of a file's name;
// "." and ".." are never touched.
template <class Fix>
std::u16string OwnName(EntryKind kind, const std::u16string& name, Fix fix) {
  const std::size_t start = OwnNameStart(kind, name);
  const std::u16string part = name.substr(start);
  if (part.empty() || platform::IsDotName(part)) return name;
  return name.substr(0, start) + fix(part);
}

}  // namespace

std::u16string ToNfc(const std::u16string& text) {
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x300; })) return text;
  std::u32string points;
  for (char32_t c : CodePoints(text)) Decompose(c, points);
  // Canonical order: each run of marks sorted by class, stably.
  for (std::size_t i = 1; i < points.size(); ++i) {
    const std::uint8_t cc = CombiningClassOf(points[i]);
    if (cc == 0) continue;
    for (std::size_t j = i; j > 0 && CombiningClassOf(points[j - 1]) > cc; --j) {
      std::swap(points[j - 1], points[j]);
    }
  }
  std::u32string out;
  out.reserve(points.size());
  std::size_t starter = std::u32string::npos;
  std::uint8_t lastClass = 0;
  for (char32_t c : points) {
    const std::uint8_t cc = CombiningClassOf(c);
    if (starter != std::u32string::npos) {
      const bool adjacent = starter + 1 == out.size();
      if (adjacent || (lastClass != 0 && lastClass < cc)) {
        const char32_t composite = Compose(out[starter], c);
        if (composite != 0) {
          out[starter] = composite;
          continue;
        }
      }
    }
    if (cc == 0) starter = out.size();
    lastClass = cc;
    out += c;
  }
  return Units(out);
}

std::u16string MakeWindowsName(const std::u16string& name) {
  std::u16string fixed = name;
  std::replace_if(fixed.begin(), fixed.end(), ForbiddenInName, u'_');
  ReplaceTrailingDotsAndBlanks(fixed);
  // Right after the device name, before any blanks, where no cut reaches.
  const std::size_t device = DeviceNameLength(fixed);
  if (device != 0) fixed.insert(device, u"_");
  if (fixed.size() > kMaxNameUnits) {
    fixed = Shorten(fixed);
    ReplaceTrailingDotsAndBlanks(fixed);
  }
  return fixed;
}

std::u16string ComposeOwnName(EntryKind kind, const std::u16string& name) {
  return OwnName(kind, name, ToNfc);
}

std::u16string MakeOwnNameWindowsSafe(EntryKind kind, const std::u16string& name) {
  return OwnName(kind, name, MakeWindowsName);
}

}  // namespace renamer
