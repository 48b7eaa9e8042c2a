#include "run/RunDriver.h"

#include "job/JobState.h"

#include <utility>

namespace qv {

TRunDriver::TRunDriver(TJobState& state, IRunSurroundings& surroundings) : state_(state), env_(surroundings) {}

void TRunDriver::SpeedButton5Click() {
  // A run of sources that fail to open is passed over here, one file or pass at a time,
  // so that no number of bad files deepens the call stack.
  bool skip = StartPass();
  while (skip)
    skip = Advance();
}

void TRunDriver::FormShow() {
  fileIndex = 0;
  if (!Opens(0))
    firstFileFailed_ = true;
}

void TRunDriver::next() {
  bool skip = Advance();
  while (skip)
    skip = Advance();
}

bool TRunDriver::StartPass() {
  if (env_.DisplayCount() <= 0) {
    env_.ErrorMessage(kNoFilesMessage);
    return false;
  }
  // Without a checked resolution the pass would cut to a stale size or to 0 x 0.
  if (!env_.AnyResolutionChecked()) {
    env_.ErrorMessage(kNoResolutionsMessage);
    return false;
  }
  const TResolution& size = state_.resolution(state_.currentResolution);
  state_.targetWidth = size.width;
  state_.targetHeight = size.height;
  firstFileFailed_ = false;
  env_.ShowCropWindow();
  env_.SetProgressMaximum(env_.DisplayCount());
  return std::exchange(firstFileFailed_, false);
}

bool TRunDriver::Advance() {
  const int32_t last = env_.DisplayCount() - 1;
  if (fileIndex < last) {
    ++fileIndex;
    env_.SetProgressPosition(fileIndex);
    return !Opens(fileIndex);
  }
  if (state_.currentResolution < state_.resolutionCount) {
    ++state_.currentResolution;
    env_.HideCropWindow();
    // StartAround's work, taken without its own skipping loop so that only one loop runs.
    const bool skip = StartPass();
    env_.SetProgressPosition(0);
    return skip;
  }
  env_.HideCropWindow();
  // The job is complete: the next one runs every checked resolution from the first.
  state_.currentResolution = 1;
  env_.clear();
  return false;
}

bool TRunDriver::Opens(int32_t index) {
  // A path the list cannot give is no fault of the source and is not passed over.
  const std::string path = env_.PathAt(index);
  try {
    env_.openfile(path);
    return true;
  } catch (const std::exception& error) {
    // The picture on screen is still the previous file's; leaving it there would save it
    // under this file's name.
    env_.ReportError(error);
    return false;
  }
}

} // namespace qv
