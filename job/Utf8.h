#pragma once
// Code point walking over UTF-8 texts. A byte that does not start a well-formed
// sequence counts as one character of its own, so a text is never cut inside a
// sequence and malformed input still has a length.

#include <cstddef>
#include <string>
#include <vector>

namespace qv::utf8 {

// Length in bytes of the well-formed sequence starting at pos (1 to 4), or 0 when the
// byte at pos does not start one (stray continuation, overlong form, surrogate, or
// beyond U+10FFFF). codePoint receives the value when the result is not 0.
inline std::size_t SequenceAt(const std::string& s, std::size_t pos, char32_t* codePoint = nullptr) {
  if (pos >= s.size())
    return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    if (codePoint)
      *codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - pos < length)
    return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80)
      return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  if (codePoint)
    *codePoint = value;
  return length;
}

// Bytes taken by the character at pos: its sequence, or the single stray byte.
inline std::size_t CharLength(const std::string& s, std::size_t pos) {
  const std::size_t n = SequenceAt(s, pos);
  return n == 0 ? 1 : n;
}

// Byte offset where the last `count` characters of s begin; 0 when s has no more than that.
inline std::size_t OffsetOfLast(const std::string& s, std::size_t count) {
  std::vector<std::size_t> starts;
  for (std::size_t pos = 0; pos < s.size(); pos += CharLength(s, pos))
    starts.push_back(pos);
  return starts.size() <= count ? 0 : starts[starts.size() - count];
}

} // namespace qv::utf8
