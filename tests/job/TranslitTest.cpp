#include "job/Translit.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qv {
namespace {

TEST(Translit, Table) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      // worked examples
      {"Фото", "Foto"},
      {"Зима", "Zima"},
      {"Щука", "SCHuka"},
      {"Мыло", "MbIlo"},
      {"Ёлка", "yolka"},
      {"Чай-2", "CHay-2"},
      {"Подъезд", "Pod\"ezd"},
      {"wall-Фото-hd-176x220", "wall-Foto-hd-176x220"},
      // the whole alphabet, both cases
      {"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ", "ABVGDEJZIYKLMNOPRSTUFHCCHSHSCH\"bI`EYUYA"},
      {"абвгдежзийклмнопрстуфхцчшщъыьэюя", "abvgdejziyklmnoprstufhcchshsch\"bI`eyuya"},
      {"ЁёЫы", "yoyobIbI"},
      // everything else passes unchanged
      {"", ""},
      {"Photo_01 (copy).~!", "Photo_01 (copy).~!"},
      {"№5 ЀЏѐђ Ґ ü 😀", "№5 ЀЏѐђ Ґ ü 😀"},
      // bytes that are not UTF-8 are copied one by one
      {"\xC0\xFF\xD0", "\xC0\xFF\xD0"},
      {"\xD0\x90\xD0", "A\xD0"},
      {"\xE0\x90\x90", "\xE0\x90\x90"}, // an overlong А is no letter
      {"\xD0Ф", "\xD0" "F"},
  };
  for (const auto& [input, expected] : rows)
    EXPECT_EQ(translit(input), expected) << "input: " << input;
}

} // namespace
} // namespace qv
