#include "job/SourceList.h"

#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/Utf8.h"

#include <array>
#include <exception>
#include <string_view>

namespace qv {

namespace {

// Tested in this order against the end of the path, byte for byte; the dot is not part of it.
constexpr std::array<std::string_view, 8> kAcceptedEndings = {"Jpeg", "Jpg", "jpeg", "jpg",
                                                              "JPEG", "JPG", "JPeg", "JPg"};

// The endings of the other formats phones and browsers write, dot included, in any case.
constexpr std::array<std::string_view, 6> kPictureEndings = {".heic", ".heif", ".hif", ".avif", ".png", ".webp"};

bool HasJpegEnding(std::string_view path) {
  for (const std::string_view ending : kAcceptedEndings)
    if (path.ends_with(ending))
      return true;
  return false;
}

bool HasPictureEnding(std::string_view path) {
  for (const std::string_view ending : kPictureEndings) {
    if (path.size() < ending.size())
      continue;
    const std::string_view tail = path.substr(path.size() - ending.size());
    bool same = true;
    for (std::size_t i = 0; i < ending.size() && same; ++i) {
      // Only ASCII letters fold; a byte of another script never equals one of these.
      const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
      same = c == ending[i];
    }
    if (same)
      return true;
  }
  return false;
}

} // namespace

TSourceList::TSourceList(TJobState& state, IOpenTest& openTest, IProgressBar& progress)
    : state_(state), openTest_(openTest), progress_(progress) {}

TRefusal TSourceList::addfile(const std::string& path) {
  const TRefusal refusal = Accept(path);
  if (refusal == TRefusal::none)
    changed(TListChange::TKind::appended, Count() - 1);
  return refusal;
}

void TSourceList::AddPaths(const std::vector<std::string>& paths) {
  const int32_t first = Count();
  // The window follows once, also for what was appended before a path failed.
  std::exception_ptr failure;
  try {
    for (const std::string& path : paths)
      Accept(path);
  } catch (...) {
    failure = std::current_exception();
  }
  if (Count() > first)
    changed(TListChange::TKind::appended, first);
  if (failure)
    std::rethrow_exception(failure);
}

TRefusal TSourceList::Accept(const std::string& path) {
  // Every test runs whatever the one before found; the first that refuses is named. The
  // duplicate test compares byte for byte, as the set does.
  const bool opens = openTest_.CanOpen(path);
  const bool listed = listed_.contains(path);
  const bool accepted = HasAcceptedEnding(path);
  if (!opens)
    return TRefusal::cannotOpen;
  if (listed)
    return TRefusal::listedAlready;
  if (!accepted)
    return TRefusal::notPictureEnding;
  std::string name = shortname(path);
  listed_.insert(path);
  try {
    paths_.push_back(path);
    names_.push_back(std::move(name));
  } catch (...) {
    // Out of memory half-way: both lists and the set stay in step.
    paths_.resize(names_.size());
    listed_.erase(path);
    throw;
  }
  ++state_.fileCount;
  status_ = kStatusPrefix + std::to_string(state_.fileCount);
  return TRefusal::none;
}

void TSourceList::clear() {
  paths_.clear();
  names_.clear();
  listed_.clear();
  selected_ = -1;
  state_.fileCount = 0;
  status_ = std::string(kStatusPrefix) + "0";
  progress_.SetPosition(0);
  changed(TListChange::TKind::cleared, 0);
}

void TSourceList::RemoveSelected() {
  if (selected_ < 0)
    return;
  const auto at = static_cast<std::ptrdiff_t>(selected_);
  names_.erase(names_.begin() + at);
  listed_.erase(paths_[static_cast<std::size_t>(selected_)]);
  paths_.erase(paths_.begin() + at);
  // The removed entry took the selection with it.
  const int32_t removed = selected_;
  selected_ = -1;
  state_.fileCount = Count();
  status_ = kStatusPrefix + std::to_string(state_.fileCount);
  changed(TListChange::TKind::removed, removed);
}

std::string TSourceList::shortname(const std::string& path) {
  const std::size_t slash = path.rfind(kPathDelim);
  const std::size_t first = slash == std::string::npos ? 0 : slash + 1;
  // The other formats lose their ending from the last dot on; their endings are of other
  // lengths than four, so the JPEG rule would leave part of them or eat into the name.
  if (!HasJpegEnding(path) && HasPictureEnding(path))
    return path.substr(first, path.rfind('.') - first);
  // The last four characters go, whatever they are; a name that short leaves nothing.
  const std::size_t end = utf8::OffsetOfLast(path, 4);
  return end <= first ? std::string() : path.substr(first, end - first);
}

bool TSourceList::HasAcceptedEnding(const std::string& path) {
  return HasJpegEnding(path) || HasPictureEnding(path);
}

const std::string& TSourceList::DisplayName(int32_t index) const {
  if (index < 0 || index >= Count())
    throw EListError(index);
  return names_[static_cast<std::size_t>(index)];
}

const std::string& TSourceList::Path(int32_t index) const {
  if (index < 0 || index >= Count())
    throw EListError(index);
  return paths_[static_cast<std::size_t>(index)];
}

void TSourceList::Select(int32_t index) {
  // Like a list box, an index that names no entry leaves nothing selected.
  selected_ = index >= 0 && index < Count() ? index : -1;
}

void TSourceList::changed(TListChange::TKind kind, int32_t first) {
  if (onChanged)
    onChanged(TListChange{kind, first});
}

} // namespace qv
