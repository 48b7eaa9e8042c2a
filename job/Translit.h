#pragma once

#include <string>

namespace qv {

// Cyrillic letters (U+0410..U+044F, Ё, ё) of a UTF-8 text become Latin by the fixed
// table; every other code point, and every byte that is not valid UTF-8, is copied unchanged.
std::string translit(const std::string& s);

} // namespace qv
