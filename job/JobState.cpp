#include "job/JobState.h"

#include "job/Errors.h"

#include <algorithm>
#include <charconv>

namespace qv {

const std::array<const char*, kResolutionCount> kResolutionTexts = {
    "32x32",   "69x65",   "96x65",   "100x100", "101x65",  "101x67",  "101x80",
    "120x160", "120x96",  "128x115", "128x128", "128x130", "128x144", "128x160",
    "128x96",  "130x130", "132x176", "174x132", "176x178", "176x192", "176x208",
    "176x220", "208x144", "208x208", "208x320", "220x176", "240x320", "320x240",
};

namespace {

// A signed decimal with nothing around it; anything else is not a size.
int32_t ParseDecimal(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
    ++first;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last)
    throw Exception("\"" + text + "\" is not a valid integer value");
  return value;
}

} // namespace

TResolution makeres(const std::string& text) {
  const std::size_t x = text.rfind('x');
  if (x == std::string::npos)
    // No separator: the width side is empty, which is no number.
    return {ParseDecimal(std::string()), ParseDecimal(text)};
  return {ParseDecimal(text.substr(0, x)), ParseDecimal(text.substr(x + 1))};
}

TResolution& TJobState::resolution(int32_t k) {
  if (k < 1 || k > static_cast<int64_t>(resolutions.size()))
    throw EListError(k);
  return resolutions[static_cast<std::size_t>(k - 1)];
}

const TResolution& TJobState::resolution(int32_t k) const {
  return const_cast<TJobState&>(*this).resolution(k);
}

std::vector<TResolutionItem> TSettingsValues::DefaultResolutionItems() {
  std::vector<TResolutionItem> items(kResolutionCount);
  for (std::size_t i = 0; i < items.size(); ++i)
    items[i] = {kResolutionTexts[i], static_cast<int>(i) == kDefaultResolutionIndex};
  return items;
}

bool TSettingsValues::AnyResolutionChecked() const {
  for (const TResolutionItem& item : resolutionItems)
    if (item.checked)
      return true;
  return false;
}

void GetParams(TJobState& state, const TSettingsValues& settings, const std::string& outputFolderText,
               int32_t displayCount) {
  state.resolutionCount = 0;
  // The slider's range is 0..100; holding a record value to it keeps the JPEG quality
  // (100 - compression) meaningful instead of wrapping around in the byte.
  state.compression = static_cast<uint8_t>(std::clamp(settings.sliderPosition, 0, 100));
  state.askName = settings.askNameBox;
  state.transliterate = settings.transliterateBox;
  state.appendResolution = settings.appendResolutionBox;
  state.outputFolder = outputFolderText;
  state.fileCount = displayCount;
  state.addPrefix = settings.prefixBox;
  state.addSuffix = settings.suffixBox;
  // A switched-off option keeps its text, so switching it on again brings it back.
  if (state.addPrefix)
    state.prefix = settings.prefixText;
  if (state.addSuffix)
    state.suffix = settings.suffixText;
  state.orientByExif = settings.orientByExifBox;
  state.highQualityReduction = settings.highQualityReductionBox;
  // Entries above the new count keep what earlier snapshots wrote; the table only grows.
  for (const TResolutionItem& item : settings.resolutionItems) {
    if (item.checked) {
      ++state.resolutionCount;
      if (static_cast<size_t>(state.resolutionCount) > state.resolutions.size())
        state.resolutions.push_back({});
      state.resolution(state.resolutionCount) = makeres(item.text);
    }
  }
  const TResolution& target = state.resolution(state.currentResolution);
  state.targetWidth = target.width;
  state.targetHeight = target.height;
}

namespace {

template <typename T>
void Put(T& member, const T& value, TSettingsField field, const TSettingsObserver& observer) {
  if (member == value)
    return;
  member = value;
  if (observer)
    observer(field);
}

} // namespace

void SetParams(const TJobState& state, TSettingsValues& settings, const TSettingsObserver& observer) {
  Put(settings.sliderPosition, static_cast<int32_t>(state.compression), TSettingsField::sliderPosition, observer);
  Put(settings.askNameBox, state.askName, TSettingsField::askNameBox, observer);
  Put(settings.transliterateBox, state.transliterate, TSettingsField::transliterateBox, observer);
  Put(settings.appendResolutionBox, state.appendResolution, TSettingsField::appendResolutionBox, observer);
  Put(settings.prefixBox, state.addPrefix, TSettingsField::prefixBox, observer);
  Put(settings.suffixBox, state.addSuffix, TSettingsField::suffixBox, observer);
  if (state.addPrefix)
    Put(settings.prefixText, state.prefix, TSettingsField::prefixText, observer);
  if (state.addSuffix)
    Put(settings.suffixText, state.suffix, TSettingsField::suffixText, observer);
  Put(settings.orientByExifBox, state.orientByExif, TSettingsField::orientByExifBox, observer);
  Put(settings.highQualityReductionBox, state.highQualityReduction, TSettingsField::highQualityReductionBox,
      observer);
}

} // namespace qv
