#include "run/RunDriver.h"

#include <algorithm>

#include "job/JobState.h"
#include "job/Services.h"

namespace qv {

TRunDriver::TRunDriver(TJobState& state, IRunSurroundings& surroundings, IProgressBar& progress)
    : state_(state), env_(surroundings), progress_(progress) {}

void TRunDriver::SpeedButton5Click() { PassOverFailures(ShowPass()); }

TStep TRunDriver::FormShow() {
  fileIndex_ = 0;
  left_.clear();
  return OpenFile(0);
}

void TRunDriver::next(std::optional<TPlace> place) {
  Leave(place);
  PassOverFailures(MoveOn());
}

bool TRunDriver::back() {
  const int32_t count = env_.DisplayCount();
  if (fileIndex_ <= 0 || count <= 0)
    return false;
  // Files removed during the pass may have left fileIndex past the list's end.
  fileIndex_ = std::min(fileIndex_ - 1, count - 1);
  progress_.SetPosition(fileIndex_);
  // A file that fails to open now is reported and passed over forwards again.
  PassOverFailures(OpenFile(fileIndex_));
  return true;
}

std::optional<TPlace> TRunDriver::ConfirmedPlace() const {
  if (fileIndex_ < 0 || static_cast<size_t>(fileIndex_) >= left_.size())
    return std::nullopt;
  return left_[static_cast<size_t>(fileIndex_)];
}

void TRunDriver::Leave(std::optional<TPlace> place) {
  if (fileIndex_ < 0)
    return;
  const auto index = static_cast<size_t>(fileIndex_);
  if (left_.size() <= index)
    left_.resize(index + 1);
  left_[index] = place;
}

int32_t TRunDriver::FollowingIndex() {
  const int32_t count = env_.DisplayCount();
  if (fileIndex_ < count - 1)
    return fileIndex_ + 1;
  if (state_.currentResolution < state_.resolutionCount && count > 0)
    return 0;
  return -1;
}

TResolution TRunDriver::FollowingSize() {
  const int32_t count = env_.DisplayCount();
  if (fileIndex_ < count - 1)
    return {state_.targetWidth, state_.targetHeight};
  if (state_.currentResolution < state_.resolutionCount && count > 0)
    return state_.resolution(state_.currentResolution + 1);
  return {};
}

void TRunDriver::PassOverFailures(TStep step) {
  while (step == TStep::passOver) {
    Leave(std::nullopt);
    step = MoveOn();
  }
}

TStep TRunDriver::ShowPass() {
  if (env_.DisplayCount() <= 0) {
    env_.ErrorMessage(kNoFilesMessage);
    return TStep::awaitUser;
  }
  // Without a checked resolution the pass would cut to a stale size or to 0 x 0.
  if (!env_.AnyResolutionChecked()) {
    env_.ErrorMessage(kNoResolutionsMessage);
    return TStep::awaitUser;
  }
  const TResolution& size = state_.resolution(state_.currentResolution);
  state_.targetWidth = size.width;
  state_.targetHeight = size.height;
  // The one place the driver is re-entered: showing the hidden window runs FormShow, nested
  // in this step, and hands back its result. A file 0 that failed is passed over only once
  // the show has returned, since a pass change cannot hide a window still being shown.
  const TStep shown = env_.ShowCropWindow();
  progress_.SetMaximum(env_.DisplayCount());
  return shown;
}

TStep TRunDriver::MoveOn() {
  const int32_t last = env_.DisplayCount() - 1;
  if (fileIndex_ < last) {
    ++fileIndex_;
    progress_.SetPosition(fileIndex_);
    return OpenFile(fileIndex_);
  }
  if (state_.currentResolution < state_.resolutionCount) {
    ++state_.currentResolution;
    env_.HideCropWindow();
    // StartAround's work, taken without its own loop over failures so that only one runs.
    const TStep shown = ShowPass();
    progress_.SetPosition(0);
    return shown;
  }
  env_.HideCropWindow();
  // The job is complete: the next one runs every checked resolution from the first.
  state_.currentResolution = 1;
  env_.clear();
  return TStep::awaitUser;
}

TStep TRunDriver::OpenFile(int32_t index) {
  // A path the list cannot give is no fault of the source and is not passed over.
  const std::string path = env_.PathAt(index);
  try {
    env_.openfile(path);
    return TStep::awaitUser;
  } catch (const std::exception& error) {
    // The picture on screen is still the previous file's; leaving it there would save it
    // under this file's name.
    env_.ReportError(error);
    return TStep::passOver;
  }
}

} // namespace qv
