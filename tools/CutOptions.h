#pragma once
// quarvelle-cut's command line: one photo to one file, or many photos at many sizes into a
// folder (the form with --output-dir).

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Fit.h"
#include "imaging/LanczosResize.h"

namespace qv {

extern const char kCutUsage[];

// How every photo of a run is decoded and cut, whichever form.
struct TCutSettings {
  uint8_t compression = 0;
  bool center = false;
  int32_t offset = 0;
  // Turn each photo upright by its EXIF orientation first (off with --no-orient).
  bool orientByExif = true;
  // --filter: the designed bilinear resize, or the high-quality Lanczos-3 reduction.
  TResizeFilter filter = TResizeFilter::bilinear;
};

struct TCutOptions {
  bool batch = false; // --output-dir was given
  // In the order given, each size once; the one-photo form takes the last.
  std::vector<TSize> sizes;
  TCutSettings cut;
  std::string displayPpm;
  // The naming options of the settings window; asking for names is not offered here.
  bool addPrefix = false;
  std::string prefix;
  bool addSuffix = false;
  std::string suffix;
  bool appendResolution = true;
  bool transliterate = true;
  bool folderPerSize = false;
  std::string outputDir;
  int jobs = 0; // 0: one worker per core
  bool quiet = false;
  // SOURCE and OUTPUT, or the photos.
  std::vector<std::string> files;
};

struct TUsageError {
  std::string reason;
};

// Raises TUsageError for arguments neither form takes.
TCutOptions ParseCutArguments(const std::vector<std::string>& args);

} // namespace qv
