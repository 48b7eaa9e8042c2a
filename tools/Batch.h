#pragma once
// Many photos at many sizes without a window: the photos listed and the outputs named as the
// main window does it, then every photo read and decoded once for all its sizes and cut on
// worker threads, with the crop window's own fit, resize, cut and save.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "CutOptions.h"
#include "imaging/CropModel.h"
#include "job/SourceList.h"

namespace qv {

class IOpenTest;
class IFolderMaker;

// The frame at the target's size in a picture fitted at display: along the overhanging
// side at the offset, or in its middle.
TFrame PlaceFrame(bool fitWidth, const TSize& display, const TSize& target, const TCutSettings& cut);

struct TOutput {
  TSize size;
  std::string path;    // as makename built it
  std::string refusal; // why it is not written; empty when it is
};

struct TPlannedPhoto {
  std::string path;
  std::vector<TOutput> outputs; // one a size, in the order of the sizes
};

struct TSkipped {
  std::string path;
  TRefusal refusal;
};

struct TPlan {
  std::vector<TPlannedPhoto> photos;
  std::vector<TSkipped> skipped; // in the order given
};

// Lists options.files as the main window lists dropped files (a path it would refuse is
// skipped) and names every output with makename, in list order and before anything is cut;
// the folders per size are made here. An output whose file an earlier output of the plan
// already takes, or which is one of the photos, is refused, so that no output replaces
// another or a photo whatever order the workers finish in.
TPlan MakePlan(const TCutOptions& options, IOpenTest& openTest, IFolderMaker& folders);

struct TPhotoResult {
  bool done = false; // false when the batch was stopped before the photo was finished
  int written = 0;
  std::vector<std::string> errors; // "PHOTO: text." or "PHOTO (WxH): text."
};

// Cuts the photo at all its sizes from one read and one decode. Stops as soon as stop is
// seen, between rows of the decode and between files; every file it wrote is whole and no
// temporary file is left.
TPhotoResult CutPhoto(const TPlannedPhoto& photo, const TCutSettings& cut, const std::atomic<bool>& stop);

// What the batch tells its caller, always on the caller's thread.
class IBatchReport {
public:
  virtual ~IBatchReport() = default;
  // Photo `index` of the plan has ended, done or stopped; in the plan's order.
  virtual void Finished(size_t index, const TPhotoResult& result) = 0;
  // A few times a second while photos are being cut.
  virtual void Waiting() = 0;
};

// Cuts every photo of the plan on up to `workers` threads; returns once all of them have
// ended, early when stop is set.
void RunBatch(const TPlan& plan, const TCutSettings& cut, int workers, const std::atomic<bool>& stop,
              IBatchReport& report);

} // namespace qv
