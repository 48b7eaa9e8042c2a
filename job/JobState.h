#pragma once
// The job state owned by the main window, the settings window's values as a plain
// record, and the two snapshots between them.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// The sizes the settings window always lists; those the user adds follow them.
inline constexpr int kResolutionCount = 28;

// The resolution texts in the fixed order of the settings window's check list.
extern const std::array<const char*, kResolutionCount> kResolutionTexts;

// A freshly started program's settings, written here only: TSettingsValues starts from
// them, the settings window builds its controls from that record, and the job state starts
// out agreeing with them. Every other option starts off and every text empty.
inline constexpr int kDefaultResolutionIndex = 21; // "176x220", the one resolution checked
inline constexpr int32_t kDefaultSliderPosition = 0;
inline constexpr bool kDefaultTransliterate = true;
inline constexpr bool kDefaultAppendResolution = true;
// Photos are turned upright as their EXIF orientation says, as desktop viewers show them.
inline constexpr bool kDefaultOrientByExif = true;
// The designed bilinear resize until the user asks for the high-quality reduction.
inline constexpr bool kDefaultHighQualityReduction = false;

struct TResolution {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const TResolution&) const = default;
};

// Splits at the last lowercase "x" and reads both sides as signed decimals.
TResolution makeres(const std::string& text);

struct TJobState {
  // resolutions[k - 1] is entry k of the 1-based table. It has at least the 28 entries the
  // designed sizes need and grows when a snapshot finds more sizes checked.
  std::vector<TResolution> resolutions = std::vector<TResolution>(kResolutionCount);
  int32_t resolutionCount = 0;
  int32_t targetWidth = 0;
  int32_t targetHeight = 0;
  uint8_t compression = 0;
  bool askName = false;
  // As the settings window's boxes: its creation, right after the main window's, switches
  // both on, so a freshly started program never sees them off.
  bool transliterate = kDefaultTransliterate;
  bool appendResolution = kDefaultAppendResolution;
  std::string outputFolder;
  int32_t fileCount = 0;
  bool addPrefix = false;
  bool addSuffix = false;
  std::string prefix;
  std::string suffix;
  int32_t currentResolution = 1;
  // Turn each photo as its EXIF orientation says before it is fitted.
  bool orientByExif = kDefaultOrientByExif;
  // Bring photos to their fitted size with the high-quality (Lanczos-3) reduction.
  bool highQualityReduction = kDefaultHighQualityReduction;

  // Entry k (1-based) of resolutions; k outside the table raises EListError.
  TResolution& resolution(int32_t k);
  const TResolution& resolution(int32_t k) const;
};

struct TResolutionItem {
  std::string text;
  bool checked = false;
};

// Mirrors the settings window's controls; initial values are those of a freshly
// created settings window.
struct TSettingsValues {
  int32_t sliderPosition = kDefaultSliderPosition;
  bool askNameBox = false;
  bool transliterateBox = kDefaultTransliterate;
  bool appendResolutionBox = kDefaultAppendResolution;
  bool prefixBox = false;
  bool suffixBox = false;
  std::string prefixText;
  std::string suffixText;
  // The 28 designed sizes, then those the user added, in the list's order.
  std::vector<TResolutionItem> resolutionItems = DefaultResolutionItems();
  bool folderPerResolutionBox = false;
  bool orientByExifBox = kDefaultOrientByExif;
  bool highQualityReductionBox = kDefaultHighQualityReduction;

  static std::vector<TResolutionItem> DefaultResolutionItems();
  bool AnyResolutionChecked() const;
};

// The members SetParams writes; the settings window reacts to each as to a user's change.
enum class TSettingsField {
  sliderPosition,
  askNameBox,
  transliterateBox,
  appendResolutionBox,
  prefixBox,
  suffixBox,
  prefixText,
  suffixText,
  orientByExifBox,
  highQualityReductionBox,
};

// Called after SetParams changed a member (not when it wrote the value it already had,
// just as a control does not fire when set to its own value).
using TSettingsObserver = std::function<void(TSettingsField)>;

// Snapshot of the settings into the job state. outputFolderText is the main window's
// output-folder field; displayCount the number of display names.
void GetParams(TJobState& state, const TSettingsValues& settings, const std::string& outputFolderText,
               int32_t displayCount);

// Writes the job state back into the settings, notifying the observer of each change.
void SetParams(const TJobState& state, TSettingsValues& settings, const TSettingsObserver& observer = {});

} // namespace qv
