#include "ConsoleReport.h"

#include "job/Errors.h"

namespace qv {

namespace {

// Back to the start of the line and everything after the cursor erased.
constexpr const char* kClearLine = "\r\033[K";

const char* RefusalText(TRefusal refusal) {
  switch (refusal) {
  case TRefusal::cannotOpen:
    return "not a file that can be opened for reading";
  case TRefusal::listedAlready:
    return "listed already";
  case TRefusal::notPictureEnding:
    return "the name does not end in jpg, jpeg, JPG, JPEG, Jpg, Jpeg, JPg or JPeg, nor in .heic, .heif, .hif, "
           ".avif, .png or .webp";
  case TRefusal::none:
    break;
  }
  return "";
}

} // namespace

std::string DurationText(std::chrono::seconds duration) {
  const long long total = duration.count() < 0 ? 0 : duration.count();
  const long long hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
  char text[64];
  if (hours > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, seconds);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", minutes, seconds);
  return text;
}

TConsoleReport::TConsoleReport(std::FILE* errors, std::FILE* results, size_t photos, bool progress)
    : errors_(errors), results_(results), photos_(photos), progress_(progress) {}

void TConsoleReport::Skipped(const TSkipped& skipped) {
  ++skipped_;
  Error(skipped.path + ": skipped: " + ErrorBoxText(RefusalText(skipped.refusal)));
}

void TConsoleReport::Finished(size_t, const TPhotoResult& result) {
  written_ += result.written;
  if (!result.errors.empty())
    ++failed_;
  for (const std::string& line : result.errors)
    Error(line);
  if (result.done)
    ++done_;
  Draw(true);
}

void TConsoleReport::Waiting() {
  Draw(false);
}

bool TConsoleReport::End() {
  if (shown_)
    std::fputs(kClearLine, errors_);
  shown_ = false;
  std::fflush(errors_);
  std::fprintf(results_, "%d files written, %d photos failed, %d skipped\n", written_, failed_, skipped_);
  return std::fflush(results_) == 0;
}

void TConsoleReport::Error(const std::string& line) {
  if (shown_)
    std::fputs(kClearLine, errors_);
  shown_ = false;
  std::fprintf(errors_, "%s\n", line.c_str());
  std::fflush(errors_);
}

void TConsoleReport::Draw(bool now) {
  if (!progress_)
    return;
  const auto at = std::chrono::steady_clock::now();
  if (!now && shown_ && at - drawn_ < std::chrono::milliseconds(250))
    return;
  drawn_ = at;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(at - start_);
  std::string line = "photos " + std::to_string(done_) + " of " + std::to_string(photos_) + ", " +
                     std::to_string(written_) + " files written, " + DurationText(elapsed) + " elapsed";
  if (done_ > 0 && done_ < photos_) {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
        (at - start_) * static_cast<double>(photos_ - done_) / static_cast<double>(done_));
    line += ", " + DurationText(left) + " left";
  }
  std::fprintf(errors_, "%s%s", kClearLine, line.c_str());
  std::fflush(errors_);
  shown_ = true;
}

} // namespace qv
