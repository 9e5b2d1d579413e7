// UTF-8 to UTF-16 and back, with raw bytes kept as lone surrogates.
// SPDX-License-Identifier: MIT
#include <cstring>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

// Writes one code point at out[at], as one unit or a surrogate pair; at
// moves past it.
void PutCodePoint(char16_t* out, std::size_t& at, char32_t cp) {
  if (cp < 0x10000) {
    out[at++] = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out[at++] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[at++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Length of the well-formed UTF-8 sequence at bytes[i], or 0 when the byte
// there does not start one. Overlong forms, surrogates and values above
// U+10FFFF are not well formed, so their bytes are escaped one by one and
// still round-trip.
std::size_t SequenceAt(std::string_view bytes, std::size_t i, char32_t& cp) {
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  auto continuation = [&](std::size_t k) { return k < bytes.size() && (at(k) & 0xC0) == 0x80; };
  unsigned char b = at(i);
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < len; ++k) {
    if (!continuation(i + k)) return 0;
    cp = (cp << 6) | (at(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Whether the eight bytes, or the four units, at p are all ASCII.
bool EightAscii(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080u) == 0;
}
bool FourAscii(const char16_t* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  return (word & 0xFF80FF80FF80FF80u) == 0;
}

// Writes the UTF-8 bytes of cp at out[at]; at moves past them.
void PutUtf8(char* out, std::size_t& at, char32_t cp) {
  if (cp < 0x80) {
    out[at++] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    out[at++] = static_cast<char>(0xC0 | (cp >> 6));
    out[at++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out[at++] = static_cast<char>(0xE0 | (cp >> 12));
    out[at++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[at++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out[at++] = static_cast<char>(0xF0 | (cp >> 18));
    out[at++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[at++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[at++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

void detail::DecodeUtf8Into(std::string_view bytes, std::u16string& out) {
  // Every byte gives at most one unit (a four-byte sequence gives two).
  out.resize(bytes.size());
  char16_t* units = out.data();
  std::size_t at = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {  // most names are ASCII: eight bytes at a time, no sequence to check
      while (i + 8 <= bytes.size() && EightAscii(bytes.data() + i)) {
        for (std::size_t k = 0; k < 8; ++k)
          units[at + k] = static_cast<unsigned char>(bytes[i + k]);
        at += 8, i += 8;
      }
      if (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        units[at++] = static_cast<unsigned char>(bytes[i++]);
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = SequenceAt(bytes, i, cp);
    if (len == 0) {
      units[at++] = static_cast<char16_t>(0xDC00 + b);
      ++i;
    } else {
      PutCodePoint(units, at, cp);
      i += len;
    }
  }
  out.resize(at);
}

void detail::EncodeUtf8Into(std::u16string_view text, std::string& out) {
  // Every unit gives at most three bytes (a surrogate pair gives four).
  out.resize(text.size() * 3);
  char* bytes = out.data();
  std::size_t at = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp < 0x80) {  // four ASCII units at a time where they come in a row
      while (i + 4 <= text.size() && FourAscii(text.data() + i)) {
        for (std::size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(text[i + k]);
        at += 4, i += 4;
      }
      if (i < text.size() && text[i] < 0x80) {
        bytes[at++] = static_cast<char>(text[i]);
      } else {
        --i;  // the loop steps on to the unit that stopped the run
      }
      continue;
    }
    if (IsSurrogatePairAt(text, i)) {
      cp = SurrogatePairValue(text[i], text[i + 1]);
      ++i;
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
      bytes[at++] = static_cast<char>(cp - 0xDC00);  // an escaped raw byte
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    PutUtf8(bytes, at, cp);
  }
  out.resize(at);
}

std::u16string DecodeUtf8(const std::string& bytes) {
  std::u16string out;
  detail::DecodeUtf8Into(bytes, out);
  return out;
}

std::string EncodeUtf8(const std::u16string& text) {
  std::string out;
  detail::EncodeUtf8Into(text, out);
  return out;
}

void detail::ReplaceRawBytes(std::u16string& text) {
  for (char16_t& c : text) {
    if (c >= 0xDC80 && c <= 0xDCFF) c = 0xFFFD;
  }
}

void detail::MaskLineControls(std::u16string& text, bool c0) {
  for (char16_t& c : text) {
    const bool control = IsLineControl(c) || (c0 && (c < 0x20 || c == 0x7F));
    if (control) c = u'?';
  }
}

}  // namespace platform
