#include "job/SizeList.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

TEST(SizeList, ReadsSizesAndSaysWhyATextIsNone) {
  struct TRow {
    const char* text;
    TSizeRefusal refusal;
    TResolution size;
  };
  const TRow rows[] = {
      {"1080x2400", TSizeRefusal::none, {1080, 2400}},
      {"  1080X2400\t", TSizeRefusal::none, {1080, 2400}},
      {"1080\xC3\x97" "2400", TSizeRefusal::none, {1080, 2400}}, // "×"
      {"0720x01600", TSizeRefusal::none, {720, 1600}},
      {"1x1", TSizeRefusal::none, {1, 1}},
      {"16384x16384", TSizeRefusal::none, {16384, 16384}},
      {"", TSizeRefusal::empty, {}},
      {" \t ", TSizeRefusal::empty, {}},
      {"abc", TSizeRefusal::notWxH, {}},
      {"100x", TSizeRefusal::notWxH, {}},
      {"x100", TSizeRefusal::notWxH, {}},
      {"1080x2400x1", TSizeRefusal::notWxH, {}},
      {"1080 x 2400", TSizeRefusal::notWxH, {}},
      {"1080*2400", TSizeRefusal::notWxH, {}},
      {"10,5x20", TSizeRefusal::notWxH, {}},
      {"-x5", TSizeRefusal::notWxH, {}},
      {"\xC3\x97", TSizeRefusal::notWxH, {}},
      {"0x100", TSizeRefusal::sideOutOfRange, {}},
      {"100x0", TSizeRefusal::sideOutOfRange, {}},
      {"-1080x2400", TSizeRefusal::sideOutOfRange, {}},
      {"16385x100", TSizeRefusal::sideOutOfRange, {}},
      {"100x99999999999999999999", TSizeRefusal::sideOutOfRange, {}},
  };
  for (const TRow& row : rows) {
    const TSizeReading reading = ReadSize(row.text);
    EXPECT_EQ(reading.refusal, row.refusal) << '"' << row.text << '"';
    if (row.refusal == TSizeRefusal::none) {
      EXPECT_EQ(reading.size, row.size) << '"' << row.text << '"';
    }
  }
  EXPECT_EQ(SizeText({1080, 2400}), "1080x2400");
  for (const char* text : kPhoneSizes)
    EXPECT_EQ(SizeText(ReadSize(text).size), text);
}

TEST(SizeList, AddsAtTheEndCheckedAndRefusesWithoutAddingAnything) {
  TSettingsValues settings;
  const TAddedSize added = AddSize(settings, " 1080X2400 ");
  EXPECT_EQ(added.refusal, TSizeRefusal::none);
  ASSERT_EQ(added.index, 28);
  ASSERT_EQ(settings.resolutionItems.size(), 29u);
  EXPECT_EQ(settings.resolutionItems[28].text, "1080x2400");
  EXPECT_TRUE(settings.resolutionItems[28].checked);

  settings.resolutionItems[21].checked = false;
  struct TRefused {
    const char* text;
    TSizeRefusal refusal;
    int32_t index;
  };
  // A size equal to a listed one, however written, names the entry that has it.
  for (const TRefused& row : {TRefused{"1080x2400", TSizeRefusal::repeated, 28},
                              TRefused{"1080\xC3\x97" "02400", TSizeRefusal::repeated, 28},
                              TRefused{"176X220", TSizeRefusal::repeated, 21}, TRefused{"", TSizeRefusal::empty, -1},
                              TRefused{"abc", TSizeRefusal::notWxH, -1},
                              TRefused{"0x2400", TSizeRefusal::sideOutOfRange, -1}}) {
    const auto before = settings.resolutionItems.size();
    const TAddedSize refused = AddSize(settings, row.text);
    EXPECT_EQ(refused.refusal, row.refusal) << row.text;
    EXPECT_EQ(refused.index, row.index) << row.text;
    EXPECT_EQ(settings.resolutionItems.size(), before) << row.text;
  }
  // The entry a repeated size names is checked instead.
  EXPECT_TRUE(settings.resolutionItems[21].checked);
  EXPECT_TRUE(settings.resolutionItems[28].checked);
}

TEST(SizeList, RemovesAddedSizesOnly) {
  TSettingsValues settings;
  AddSize(settings, "720x1600");
  AddSize(settings, "1440x3200");
  for (const int32_t index : {0, 21, 27, -1, 30})
    EXPECT_FALSE(RemoveSize(settings, index)) << index;
  EXPECT_EQ(settings.resolutionItems.size(), 30u);
  EXPECT_TRUE(RemoveSize(settings, 28));
  EXPECT_EQ(AddedSizes(settings), std::vector<std::string>{"1440x3200"});
  EXPECT_EQ(settings.resolutionItems[27].text, "320x240");
}

TEST(SizeList, KeptSizesFollowTheDesignedOnesUncheckedAndBadOnesAreNamedOnce) {
  TSettingsValues settings;
  const std::vector<TDroppedSize> dropped = AppendKeptSizes(
      settings, {"1080x2400", "abc", "320x240", "1080X2400", " 1440x3200", "abc", "0x5", "1179\xC3\x97" "2556"});
  EXPECT_EQ(AddedSizes(settings), (std::vector<std::string>{"1080x2400", "1440x3200", "1179x2556"}));
  // A kept designed size checks nothing: only 176x220 is checked at the start.
  for (size_t i = 0; i < settings.resolutionItems.size(); ++i)
    EXPECT_EQ(settings.resolutionItems[i].checked, i == 21) << i;
  ASSERT_EQ(dropped.size(), 4u);
  EXPECT_EQ(dropped[0].text, "abc");
  EXPECT_EQ(dropped[0].refusal, TSizeRefusal::notWxH);
  EXPECT_EQ(dropped[1].text, "320x240");
  EXPECT_EQ(dropped[1].refusal, TSizeRefusal::repeated);
  EXPECT_EQ(dropped[2].text, "1080X2400");
  EXPECT_EQ(dropped[2].refusal, TSizeRefusal::repeated);
  EXPECT_EQ(dropped[3].text, "0x5");
  EXPECT_EQ(dropped[3].refusal, TSizeRefusal::sideOutOfRange);
}

// Every checked size, designed or added, is a pass in list order; the table grows past 28
// and, as for the designed sizes, keeps what earlier snapshots wrote above the count.
TEST(SizeList, SnapshotTakesDesignedAndAddedSizesInListOrder) {
  TSettingsValues settings;
  AddSize(settings, "1080x2400");
  AddSize(settings, "720x1600");
  for (TResolutionItem& item : settings.resolutionItems)
    item.checked = true;
  TJobState state;
  state.currentResolution = 30;
  GetParams(state, settings, "/", 0);
  EXPECT_EQ(state.resolutionCount, 30);
  ASSERT_EQ(state.resolutions.size(), 30u);
  EXPECT_EQ(state.resolution(1), (TResolution{32, 32}));
  EXPECT_EQ(state.resolution(28), (TResolution{320, 240}));
  EXPECT_EQ(state.resolution(29), (TResolution{1080, 2400}));
  EXPECT_EQ(state.resolution(30), (TResolution{720, 1600}));
  EXPECT_EQ(state.targetWidth, 720);
  EXPECT_EQ(state.targetHeight, 1600);

  for (TResolutionItem& item : settings.resolutionItems)
    item.checked = false;
  settings.resolutionItems[5].checked = true;  // 101x67
  settings.resolutionItems[29].checked = true; // 720x1600
  state.currentResolution = 2;
  GetParams(state, settings, "/", 0);
  EXPECT_EQ(state.resolutionCount, 2);
  EXPECT_EQ(state.resolution(1), (TResolution{101, 67}));
  EXPECT_EQ(state.resolution(2), (TResolution{720, 1600}));
  EXPECT_EQ(state.resolution(29), (TResolution{1080, 2400}));
  EXPECT_EQ(state.resolutions.size(), 30u);
  EXPECT_EQ(state.targetWidth, 720);
}

} // namespace
} // namespace qv
