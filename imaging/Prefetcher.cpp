#include "Prefetcher.h"

#include <sys/stat.h>

#include <system_error>
#include <utility>

#include "Orientation.h"
#include "ScaledView.h"
#include "SmoothResize.h"

namespace qv {

namespace {

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

} // namespace

std::optional<TFileStamp> StampOf(const std::string& path) {
  // A name holding a NUL would reach the system cut short and name another file.
  if (path.find('\0') != std::string::npos)
    return std::nullopt;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return std::nullopt;
  return TFileStamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                    static_cast<int64_t>(info.st_size), Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim)};
}

TPrefetcher::TPrefetcher(std::chrono::nanoseconds settle) : settle_(settle) {}

TPrefetcher::~TPrefetcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queued_.reset();
    ++generation_;
  }
  wake_.notify_all();
  if (worker_.joinable())
    worker_.join();
}

void TPrefetcher::Request(const std::string& path, bool orientByExif, const TFitRequest& fit) {
  const TRequest request{path, orientByExif, fit};
  // Declared before the lock, so that a dropped picture is freed after it is released.
  std::optional<TResult> dropped;
  std::lock_guard lock(mutex_);
  if (stopping_ || (ready_ && ready_->request == request) || Serving(request))
    return;
  dropped = std::move(ready_);
  ready_.reset();
  ++generation_;
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread(&TPrefetcher::Work, this);
    } catch (const std::system_error&) {
      // Without a thread every file is simply read when its turn comes.
      return;
    }
  }
  queued_ = request;
  wake_.notify_one();
}

std::optional<TPrefetchedFile> TPrefetcher::Take(const std::string& path, bool orientByExif, TResizeFilter filter) {
  std::optional<TResult> result;
  {
    std::unique_lock lock(mutex_);
    // A read already under way for this file is nearer its end than a new one would be.
    finished_.wait(lock, [&] { return !Serving(path, orientByExif); });
    result = std::move(ready_);
    ready_.reset();
    queued_.reset();
    ++generation_;
  }
  if (!result || !result->request.SameRead(path, orientByExif) || result->depth != DisplayColorDepth())
    return std::nullopt;
  if (StampOf(path) != result->stamp)
    return std::nullopt;
  ++hits_;
  if (result->request.fit.filter != filter) {
    // Fitted otherwise than this open wants: the read is still good, the pictures are not.
    result->file.fitted = TPixelImage();
    result->file.view = TPixelImage();
  }
  return std::move(result->file);
}

void TPrefetcher::Cancel() {
  std::optional<TResult> dropped;
  std::lock_guard lock(mutex_);
  dropped = std::move(ready_);
  ready_.reset();
  queued_.reset();
  ++generation_;
}

void TPrefetcher::Wait() {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return !queued_ && !running_; });
}

void TPrefetcher::SetSettleTime(std::chrono::nanoseconds settle) {
  std::lock_guard lock(mutex_);
  settle_ = settle;
}

bool TPrefetcher::Serving(const TRequest& request) const {
  return queued_ == request || (running_ == request && runningGeneration_ == generation_);
}

bool TPrefetcher::Serving(const std::string& path, bool orientByExif) const {
  return (queued_ && queued_->SameRead(path, orientByExif)) ||
         (running_ && running_->SameRead(path, orientByExif) && runningGeneration_ == generation_);
}

bool TPrefetcher::Current(uint64_t generation) {
  std::lock_guard lock(mutex_);
  return generation == generation_ && !stopping_;
}

void TPrefetcher::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || queued_.has_value(); });
    if (stopping_)
      return;
    const TRequest request = std::move(*queued_);
    queued_.reset();
    const uint64_t generation = generation_;
    const std::chrono::nanoseconds settle = settle_;
    running_ = request;
    runningGeneration_ = generation;
    lock.unlock();
    std::optional<TResult> result = Load(request, generation, settle);
    lock.lock();
    running_.reset();
    if (result && generation == generation_ && !stopping_) {
      ready_ = std::move(result);
      result.reset();
    }
    finished_.notify_all();
    if (result) {
      // Asked for no longer: freed without holding up the window's thread.
      lock.unlock();
      result.reset();
      lock.lock();
    }
  }
}

std::optional<TPrefetcher::TResult> TPrefetcher::Load(const TRequest& request, uint64_t generation,
                                                      std::chrono::nanoseconds settle) {
  const std::string& path = request.path;
  // Any failure is left for the read in its turn, which then raises it at its own step.
  try {
    const std::optional<TFileStamp> before = StampOf(path);
    if (!before || before->changed + settle.count() > Now())
      return std::nullopt;
    TResult result{request, *before, 0, {}};
    result.file.file.ReadJpegFile(path, request.orientByExif);
    if (!Current(generation))
      return std::nullopt;
    result.depth = DisplayColorDepth();
    const TJPEGData& data = *result.file.file.Data();
    const int orientation = request.orientByExif ? data.orientation : 1;
    const TFitRequest& fit = request.fit;
    if (fit.width == 0 && fit.height == 0) {
      // Turned as the rows come, so that only the turned picture is held.
      TOrientingSink turned(orientation);
      DecodeRows(data, turned);
      result.file.picture = turned.Result();
    } else {
      // openfile's fit, its rows blended as they come, and the crop window's view of it.
      const TSize upright = OrientedSize(data.width, data.height, orientation);
      const double aspect = Aspect(upright.width, upright.height);
      const TSize size = DisplaySize(fit.width, fit.height, aspect, FitWidth(fit.width, fit.height, aspect));
      result.file.fitted = DecodeFiltered(data, size.width, size.height, orientation, fit.filter);
      const TViewScale scale = ViewScale(size, fit.room);
      if (scale.Scaled()) {
        const TSize device = DeviceSize(ViewSize(size, scale), fit.devicePixelRatio);
        result.file.view = AreaResize(result.file.fitted, device.width, device.height);
      }
    }
    // A file changed while it was read gives nothing, nor does a decode the depth changed under.
    if (StampOf(path) != before || DisplayColorDepth() != result.depth)
      return std::nullopt;
    return result;
  } catch (...) {
    return std::nullopt;
  }
}

} // namespace qv
