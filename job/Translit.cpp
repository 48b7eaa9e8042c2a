#include "job/Translit.h"

#include "job/Utf8.h"

#include <array>

namespace qv {

namespace {

constexpr char32_t kFirstLetter = 0x0410; // А; the table runs to я, U+044F
constexpr char32_t kCapitalYo = 0x0401;
constexpr char32_t kSmallYo = 0x0451;

// А..Я then а..я. Ъ gives the double quote and Ь the grave accent; Ы gives "bI" in both cases.
constexpr std::array<const char*, 64> kLetters = {
    "A", "B", "V", "G", "D", "E", "J", "Z", "I", "Y", "K", "L", "M",  "N", "O",  "P",
    "R", "S", "T", "U", "F", "H", "C", "CH", "SH", "SCH", "\"", "bI", "`", "E", "YU", "YA",
    "a", "b", "v", "g", "d", "e", "j", "z", "i", "y", "k", "l", "m",  "n", "o",  "p",
    "r", "s", "t", "u", "f", "h", "c", "ch", "sh", "sch", "\"", "bI", "`", "e", "yu", "ya",
};

} // namespace

std::string translit(const std::string& s) {
  std::string result;
  result.reserve(s.size());
  for (std::size_t pos = 0; pos < s.size();) {
    char32_t codePoint = 0;
    const std::size_t length = utf8::SequenceAt(s, pos, &codePoint);
    if (length == 0) {
      // Not UTF-8: passed on as it came.
      result += s[pos];
      ++pos;
      continue;
    }
    if (codePoint >= kFirstLetter && codePoint < kFirstLetter + kLetters.size())
      result += kLetters[codePoint - kFirstLetter];
    else if (codePoint == kCapitalYo || codePoint == kSmallYo)
      result += "yo";
    else
      result.append(s, pos, length);
    pos += length;
  }
  return result;
}

} // namespace qv
