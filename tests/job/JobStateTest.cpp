#include "job/Errors.h"
#include "job/JobState.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

TSettingsValues WithChecked(std::initializer_list<int> indices) {
  TSettingsValues settings;
  for (TResolutionItem& item : settings.resolutionItems)
    item.checked = false;
  for (int index : indices)
    settings.resolutionItems[static_cast<std::size_t>(index)].checked = true;
  return settings;
}

TEST(Resolutions, TextsParseInTheirFixedOrder) {
  const std::vector<TResolution> expected = {
      {32, 32},   {69, 65},   {96, 65},   {100, 100}, {101, 65},  {101, 67},  {101, 80},
      {120, 160}, {120, 96},  {128, 115}, {128, 128}, {128, 130}, {128, 144}, {128, 160},
      {128, 96},  {130, 130}, {132, 176}, {174, 132}, {176, 178}, {176, 192}, {176, 208},
      {176, 220}, {208, 144}, {208, 208}, {208, 320}, {220, 176}, {240, 320}, {320, 240}};
  for (int i = 0; i < kResolutionCount; ++i)
    EXPECT_EQ(makeres(kResolutionTexts[static_cast<std::size_t>(i)]), expected[static_cast<std::size_t>(i)])
        << "index " << i << " " << kResolutionTexts[static_cast<std::size_t>(i)];
  EXPECT_STREQ(kResolutionTexts[kDefaultResolutionIndex], "176x220");
}

TEST(Resolutions, MakeresSplitsAtTheLastLowercaseX) {
  EXPECT_EQ(makeres("-5x+7"), (TResolution{-5, 7}));
  EXPECT_THROW(makeres("176X220"), Exception);
  EXPECT_THROW(makeres("1x2x3"), Exception); // "1x2" is no number
  EXPECT_THROW(makeres("176x"), Exception);
  EXPECT_THROW(makeres("99999999999x1"), Exception);
}

TEST(Resolutions, EntriesAreNumberedOneToTwentyEight) {
  TJobState state;
  state.resolution(1) = {1, 2};
  state.resolution(28) = {3, 4};
  EXPECT_EQ(state.resolutions.front(), (TResolution{1, 2}));
  EXPECT_EQ(state.resolutions.back(), (TResolution{3, 4}));
  for (int32_t k : {0, 29, -1}) {
    try {
      state.resolution(k);
      ADD_FAILURE() << "entry " << k << " was accepted";
    } catch (const EListError& e) {
      EXPECT_EQ(e.what(), "List index out of bounds (" + std::to_string(k) + ")");
    }
  }
}

TEST(Defaults, FreshStateAndSettings) {
  const TJobState state;
  EXPECT_EQ(state.currentResolution, 1);
  EXPECT_EQ(state.resolutionCount, 0);
  EXPECT_TRUE(state.transliterate);
  EXPECT_TRUE(state.appendResolution);
  EXPECT_FALSE(state.askName);
  EXPECT_TRUE(state.orientByExif);
  EXPECT_TRUE(state.outputFolder.empty());
  for (const TResolution& r : state.resolutions)
    EXPECT_EQ(r, (TResolution{0, 0}));

  const TSettingsValues settings;
  EXPECT_EQ(settings.sliderPosition, 0);
  EXPECT_TRUE(settings.transliterateBox);
  EXPECT_TRUE(settings.appendResolutionBox);
  EXPECT_TRUE(settings.orientByExifBox);
  EXPECT_FALSE(settings.askNameBox || settings.prefixBox || settings.suffixBox || settings.folderPerResolutionBox);
  for (int i = 0; i < kResolutionCount; ++i) {
    const TResolutionItem& item = settings.resolutionItems[static_cast<std::size_t>(i)];
    EXPECT_EQ(item.text, kResolutionTexts[static_cast<std::size_t>(i)]);
    EXPECT_EQ(item.checked, i == kDefaultResolutionIndex) << "index " << i;
  }
  EXPECT_TRUE(settings.AnyResolutionChecked());
  EXPECT_FALSE(WithChecked({}).AnyResolutionChecked());
}

TEST(GetParams, DefaultSnapshot) {
  TJobState state;
  GetParams(state, TSettingsValues{}, "/tmp/x/", 4);
  EXPECT_EQ(state.compression, 0);
  EXPECT_FALSE(state.askName);
  EXPECT_TRUE(state.transliterate);
  EXPECT_TRUE(state.appendResolution);
  EXPECT_EQ(state.outputFolder, "/tmp/x/");
  EXPECT_EQ(state.fileCount, 4);
  EXPECT_FALSE(state.addPrefix);
  EXPECT_FALSE(state.addSuffix);
  EXPECT_EQ(state.resolutionCount, 1);
  EXPECT_EQ(state.resolution(1), (TResolution{176, 220}));
  EXPECT_EQ(state.resolution(2), (TResolution{0, 0}));
  EXPECT_EQ(state.targetWidth, 176);
  EXPECT_EQ(state.targetHeight, 220);
  EXPECT_EQ(state.currentResolution, 1);
  EXPECT_TRUE(state.orientByExif);
  TSettingsValues unturned;
  unturned.orientByExifBox = false;
  GetParams(state, unturned, "/tmp/x/", 4);
  EXPECT_FALSE(state.orientByExif);
}

TEST(GetParams, CheckedSizesInListOrderAndOlderEntriesKept) {
  TJobState state;
  TSettingsValues settings = WithChecked({27, 0, 21});
  GetParams(state, settings, "/", 0);
  EXPECT_EQ(state.resolutionCount, 3);
  EXPECT_EQ(state.resolution(1), (TResolution{32, 32}));
  EXPECT_EQ(state.resolution(2), (TResolution{176, 220}));
  EXPECT_EQ(state.resolution(3), (TResolution{320, 240}));

  GetParams(state, WithChecked({3}), "/", 0);
  EXPECT_EQ(state.resolutionCount, 1);
  EXPECT_EQ(state.resolution(1), (TResolution{100, 100}));
  EXPECT_EQ(state.resolution(2), (TResolution{176, 220}));
  EXPECT_EQ(state.resolution(3), (TResolution{320, 240}));
  EXPECT_EQ(state.resolution(4), (TResolution{0, 0}));
}

TEST(GetParams, TargetSizeFollowsTheCurrentPassEvenAboveTheCount) {
  TJobState state;
  state.currentResolution = 2;
  GetParams(state, WithChecked({24, 8}), "/", 0); // "120x96" comes first in list order
  EXPECT_EQ(state.targetWidth, 208);
  EXPECT_EQ(state.targetHeight, 320);

  // One size checked: entry 2 is the stale one of the previous snapshot.
  GetParams(state, WithChecked({0}), "/", 0);
  EXPECT_EQ(state.resolutionCount, 1);
  EXPECT_EQ(state.targetWidth, 208);

  // Nothing checked and never written: (0, 0), and no complaint.
  state.currentResolution = 5;
  GetParams(state, WithChecked({}), "/", 0);
  EXPECT_EQ(state.resolutionCount, 0);
  EXPECT_EQ(state.targetWidth, 0);
  EXPECT_EQ(state.targetHeight, 0);
  EXPECT_EQ(state.currentResolution, 5);

  state.currentResolution = 29;
  EXPECT_THROW(GetParams(state, WithChecked({0}), "/", 0), EListError);
}

TEST(GetParams, PrefixAndSuffixTextsOnlyWhileSwitchedOn) {
  TJobState state;
  state.prefix = "old";
  state.suffix = "kept";
  TSettingsValues settings;
  settings.prefixText = "new";
  settings.suffixBox = true;
  settings.suffixText = "hd";
  GetParams(state, settings, "/", 0);
  EXPECT_FALSE(state.addPrefix);
  EXPECT_EQ(state.prefix, "old");
  EXPECT_TRUE(state.addSuffix);
  EXPECT_EQ(state.suffix, "hd");

  // Writing back leaves the prefix field's text alone and announces no change to it.
  std::vector<TSettingsField> seen;
  SetParams(state, settings, [&](TSettingsField f) { seen.push_back(f); });
  EXPECT_EQ(settings.prefixText, "new");
  EXPECT_EQ(settings.suffixText, "hd");
  EXPECT_TRUE(seen.empty());
}

TEST(GetParams, CompressionFromTheSlider) {
  TJobState state;
  TSettingsValues settings;
  for (const auto& [slider, compression] : std::vector<std::pair<int, int>>{{25, 25}, {100, 100}, {150, 100}, {-3, 0}}) {
    settings.sliderPosition = slider;
    GetParams(state, settings, "/", 0);
    EXPECT_EQ(state.compression, compression) << "slider " << slider;
  }
}

TEST(SetParams, WritesBackInOrderAndNotifiesEachChange) {
  TJobState state;
  state.compression = 25;
  state.askName = true;
  state.transliterate = false;
  state.addPrefix = true;
  state.prefix = "wall";
  state.addSuffix = true;
  state.suffix = "hd";
  state.outputFolder = "/elsewhere/";
  state.orientByExif = false;
  TSettingsValues settings;
  settings.resolutionItems[0].checked = true;
  settings.folderPerResolutionBox = true;
  const auto items = settings.resolutionItems;

  std::vector<TSettingsField> seen;
  SetParams(state, settings, [&](TSettingsField f) { seen.push_back(f); });
  EXPECT_EQ(seen, (std::vector<TSettingsField>{TSettingsField::sliderPosition, TSettingsField::askNameBox,
                                               TSettingsField::transliterateBox, TSettingsField::prefixBox,
                                               TSettingsField::suffixBox, TSettingsField::prefixText,
                                               TSettingsField::suffixText, TSettingsField::orientByExifBox}));
  EXPECT_EQ(settings.sliderPosition, 25);
  EXPECT_TRUE(settings.askNameBox);
  EXPECT_FALSE(settings.transliterateBox);
  EXPECT_TRUE(settings.appendResolutionBox);
  EXPECT_EQ(settings.prefixText, "wall");
  EXPECT_EQ(settings.suffixText, "hd");
  EXPECT_FALSE(settings.orientByExifBox);
  EXPECT_TRUE(settings.folderPerResolutionBox);
  for (std::size_t i = 0; i < items.size(); ++i)
    EXPECT_EQ(settings.resolutionItems[i].checked, items[i].checked) << "index " << i;

  // A second write-back changes nothing, so nothing is announced; no observer is fine too.
  seen.clear();
  SetParams(state, settings, [&](TSettingsField f) { seen.push_back(f); });
  EXPECT_TRUE(seen.empty());
  state.compression = 7;
  SetParams(state, settings);
  EXPECT_EQ(settings.sliderPosition, 7);
}

} // namespace
} // namespace qv
