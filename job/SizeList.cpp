#include "job/SizeList.h"

#include <algorithm>

namespace qv {

const std::array<const char*, 10> kPhoneSizes = {
    "720x1600",  "1080x1920", "1080x2340", "1080x2400", "1170x2532",
    "1179x2556", "1284x2778", "1290x2796", "1440x3120", "1440x3200",
};

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A signed decimal of at least one digit; its value saturates far beyond any side, so that
// a long number reads as too large rather than as something else.
bool ReadSide(std::string_view text, int64_t& value) {
  size_t at = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    at = 1;
  }
  if (at == text.size())
    return false;
  value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9')
      return false;
    value = std::min<int64_t>(value * 10 + (text[at] - '0'), int64_t(1) << 40);
  }
  if (negative)
    value = -value;
  return true;
}

} // namespace

TSizeReading ReadSize(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  if (text.empty())
    return {TSizeRefusal::empty, {}};
  std::string plain;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == 'X') {
      plain += 'x';
    } else if (text.compare(at, 2, "\xC3\x97") == 0) { // "×", U+00D7
      plain += 'x';
      ++at;
    } else {
      plain += text[at];
    }
  }
  const size_t x = plain.find('x');
  int64_t width = 0;
  int64_t height = 0;
  if (x == std::string::npos || plain.find('x', x + 1) != std::string::npos ||
      !ReadSide(std::string_view(plain).substr(0, x), width) ||
      !ReadSide(std::string_view(plain).substr(x + 1), height))
    return {TSizeRefusal::notWxH, {}};
  if (width < 1 || width > kMaxSizeSide || height < 1 || height > kMaxSizeSide)
    return {TSizeRefusal::sideOutOfRange, {}};
  return {TSizeRefusal::none, {static_cast<int32_t>(width), static_cast<int32_t>(height)}};
}

std::string SizeText(TResolution size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

int32_t FindSize(const std::vector<TResolutionItem>& items, TResolution size) {
  for (size_t i = 0; i < items.size(); ++i) {
    const TSizeReading listed = ReadSize(items[i].text);
    if (listed.refusal == TSizeRefusal::none && listed.size == size)
      return static_cast<int32_t>(i);
  }
  return -1;
}

namespace {

// Appends the size text stands for unless it is no size or listed already.
TAddedSize Append(TSettingsValues& settings, std::string_view text, bool checked) {
  const TSizeReading reading = ReadSize(text);
  if (reading.refusal != TSizeRefusal::none)
    return {reading.refusal, -1};
  if (const int32_t listed = FindSize(settings.resolutionItems, reading.size); listed >= 0)
    return {TSizeRefusal::repeated, listed};
  settings.resolutionItems.push_back({SizeText(reading.size), checked});
  return {TSizeRefusal::none, static_cast<int32_t>(settings.resolutionItems.size()) - 1};
}

} // namespace

TAddedSize AddSize(TSettingsValues& settings, std::string_view typed) {
  const TAddedSize added = Append(settings, typed, true);
  if (added.refusal == TSizeRefusal::repeated)
    settings.resolutionItems[static_cast<size_t>(added.index)].checked = true;
  return added;
}

bool RemoveSize(TSettingsValues& settings, int32_t index) {
  if (!IsAddedSize(index) || index >= static_cast<int64_t>(settings.resolutionItems.size()))
    return false;
  settings.resolutionItems.erase(settings.resolutionItems.begin() + index);
  return true;
}

std::vector<std::string> AddedSizes(const TSettingsValues& settings) {
  std::vector<std::string> texts;
  for (size_t i = kResolutionCount; i < settings.resolutionItems.size(); ++i)
    texts.push_back(settings.resolutionItems[i].text);
  return texts;
}

std::vector<TDroppedSize> AppendKeptSizes(TSettingsValues& settings, const std::vector<std::string>& kept) {
  std::vector<TDroppedSize> dropped;
  for (const std::string& text : kept) {
    const TAddedSize added = Append(settings, text, false);
    if (added.refusal == TSizeRefusal::none)
      continue;
    const bool named = std::any_of(dropped.begin(), dropped.end(), [&](const TDroppedSize& d) { return d.text == text; });
    if (!named)
      dropped.push_back({text, added.refusal});
  }
  return dropped;
}

} // namespace qv
