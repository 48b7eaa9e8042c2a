#pragma once
// The sizes a user adds to the resolution list after the 28 it always has: reading a typed
// size, the phone sizes offered for it, adding and removing, and taking back the sizes a
// previous start kept.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/JobState.h"

namespace qv {

// The largest side a size may have; libjpeg and every phone stay well below it.
inline constexpr int32_t kMaxSizeSide = 16384;

// Today's common phone screens, portrait, offered when a size is added.
extern const std::array<const char*, 10> kPhoneSizes;

// Why a text is not a size the list can take.
enum class TSizeRefusal {
  none,
  empty,          // nothing but blanks
  notWxH,         // not a decimal width, "x" and a decimal height
  sideOutOfRange, // a side of 0, below 0 or above kMaxSizeSide
  repeated,       // the list has that size already
};

struct TSizeReading {
  TSizeRefusal refusal = TSizeRefusal::none;
  TResolution size; // when refusal is none
};

// Reads a size as the list's own texts are written, after trimming blanks at both ends
// and taking "X" and "×" for "x". Never says repeated.
TSizeReading ReadSize(std::string_view text);

// The list's text of a size: decimal width, a lowercase "x", decimal height.
std::string SizeText(TResolution size);

// The first entry of items with that size (its text read as ReadSize reads it); -1 if none.
int32_t FindSize(const std::vector<TResolutionItem>& items, TResolution size);

// Whether entry index of the list is one the user added (and so may remove).
inline bool IsAddedSize(int32_t index) { return index >= kResolutionCount; }

struct TAddedSize {
  TSizeRefusal refusal = TSizeRefusal::none;
  // The new entry, or for a repeated size the entry that has it already; -1 otherwise.
  int32_t index = -1;
};

// Appends the typed size to the list, checked. A refused text adds nothing; a repeated
// size checks the entry that has it instead.
TAddedSize AddSize(TSettingsValues& settings, std::string_view typed);

// Removes an added entry; the designed ones and indices outside the list stay (false).
bool RemoveSize(TSettingsValues& settings, int32_t index);

// The texts of the added entries, in list order: what is kept for the next start.
std::vector<std::string> AddedSizes(const TSettingsValues& settings);

struct TDroppedSize {
  std::string text;
  TSizeRefusal refusal;
};

// Appends the kept texts to the list, unchecked and in their order, each as its canonical
// text; returns those it dropped (not a size, or a size listed already), each once.
std::vector<TDroppedSize> AppendKeptSizes(TSettingsValues& settings, const std::vector<std::string>& kept);

} // namespace qv
