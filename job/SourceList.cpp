#include "job/SourceList.h"

#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/Utf8.h"

#include <array>
#include <string_view>

namespace qv {

namespace {

// Tested in this order against the end of the path, byte for byte; the dot is not part of it.
constexpr std::array<std::string_view, 8> kAcceptedEndings = {"Jpeg", "Jpg", "jpeg", "jpg",
                                                              "JPEG", "JPG", "JPeg", "JPg"};

constexpr const char* kStatusPrefix = "Файлов: ";

} // namespace

TSourceList::TSourceList(TJobState& state, IOpenTest& openTest, IProgressBar& progress)
    : state_(state), openTest_(openTest), progress_(progress) {}

void TSourceList::addfile(const std::string& path) {
  // Every test runs whatever the one before found; only the joint result counts.
  bool ok = openTest_.CanOpen(path);
  for (const std::string& listed : paths_)
    if (listed == path)
      ok = false;
  if (!HasAcceptedEnding(path))
    ok = false;
  if (!ok)
    return;
  paths_.push_back(path);
  names_.push_back(shortname(path));
  ++state_.fileCount;
  status_ = kStatusPrefix + std::to_string(state_.fileCount);
  changed();
}

void TSourceList::AddPaths(const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    addfile(path);
}

void TSourceList::clear() {
  paths_.clear();
  names_.clear();
  selected_ = -1;
  state_.fileCount = 0;
  status_ = std::string(kStatusPrefix) + "0";
  progress_.SetPosition(0);
  changed();
}

void TSourceList::RemoveSelected() {
  if (selected_ < 0)
    return;
  const auto at = static_cast<std::ptrdiff_t>(selected_);
  names_.erase(names_.begin() + at);
  paths_.erase(paths_.begin() + at);
  // The removed entry took the selection with it.
  selected_ = -1;
  state_.fileCount = Count();
  status_ = kStatusPrefix + std::to_string(state_.fileCount);
  changed();
}

std::string TSourceList::shortname(const std::string& path) {
  const std::size_t slash = path.rfind(kPathDelim);
  const std::size_t first = slash == std::string::npos ? 0 : slash + 1;
  // The last four characters go, whatever they are; a name that short leaves nothing.
  const std::size_t end = utf8::OffsetOfLast(path, 4);
  return end <= first ? std::string() : path.substr(first, end - first);
}

bool TSourceList::HasAcceptedEnding(const std::string& path) {
  for (const std::string_view ending : kAcceptedEndings)
    if (std::string_view(path).ends_with(ending))
      return true;
  return false;
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

void TSourceList::changed() {
  if (onChanged)
    onChanged();
}

} // namespace qv
