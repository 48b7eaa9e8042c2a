#pragma once
// Reads and decodes the photo that comes next while the user places the frame on this one,
// so that the press is followed by the next picture at once. What it hands back is used
// only when the file is still the one it read; otherwise the caller reads it as usual, so
// that every result and every error stays what reading it then would have given.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Fit.h"
#include "JPEGImage.h"
#include "LanczosResize.h"

namespace qv {

// What the crop window makes of a photo besides reading it, asked for with the read: the
// picture fitted to the target and, when that is larger than room, the view of it the
// window shows (ScaledView.h), in device pixels.
struct TFitRequest {
  int32_t width = 0; // the target; 0 x 0 asks for the decoded picture alone
  int32_t height = 0;
  TSize room;
  double devicePixelRatio = 1;
  // The resize the fit is made with; a fit of the other one is not handed out.
  TResizeFilter filter = TResizeFilter::bilinear;
  bool operator==(const TFitRequest&) const = default;
};

// One source file as ReadJpegFile leaves it, and what was made of it, turned upright when
// that was asked for: without a fit, its picture decoded at full size; with one, the picture
// fitted to the target (which never held the full-size one) and its view, if any.
struct TPrefetchedFile {
  TJPEGImage file;
  TPixelImage picture;
  TPixelImage fitted;
  TPixelImage view;
};

// What tells one state of a file from another without reading it again.
struct TFileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified = 0; // nanoseconds since the epoch
  int64_t changed = 0;  // the inode's change time, which no program can set back
  bool operator==(const TFileStamp&) const = default;
};

// The stamp of the regular file at path (links followed); none for anything else.
std::optional<TFileStamp> StampOf(const std::string& path);

class TPrefetcher {
public:
  // A file changed less than this before its read is not trusted: a later change within
  // the same step of the file system's clock would leave its times as they were. Two
  // seconds is the step of the coarsest times our users meet, those of FAT memory cards.
  static constexpr std::chrono::nanoseconds kSettleTime = std::chrono::seconds(2);

  explicit TPrefetcher(std::chrono::nanoseconds settle = kSettleTime);
  // Waits for a read in progress, whose result is dropped.
  ~TPrefetcher();
  TPrefetcher(const TPrefetcher&) = delete;
  TPrefetcher& operator=(const TPrefetcher&) = delete;

  // Starts reading and decoding path in the background, turned upright when orientByExif
  // (the setting as it stands now), and fitting it as fit asks; whatever was asked for
  // before and is not that very request is dropped. At most one decoded picture waits.
  void Request(const std::string& path, bool orientByExif = true, const TFitRequest& fit = {});
  // The file read for path, once its read has finished, when the file is unchanged since
  // and the display depth and the turn setting are the ones it was decoded for; a picture
  // fitted with another filter than the one given is left out (the file itself is kept).
  // Afterwards nothing waits.
  std::optional<TPrefetchedFile> Take(const std::string& path, bool orientByExif = true,
                                      TResizeFilter filter = TResizeFilter::bilinear);
  // Drops whatever was asked for; a read in progress finishes unseen.
  void Cancel();
  // Blocks until no read is waiting or under way (the tests and the latency harness).
  void Wait();

  void SetSettleTime(std::chrono::nanoseconds settle);
  // How many files Take handed out.
  int32_t Hits() const { return hits_; }

private:
  // What is read: a path, whether its picture is turned and what is made of it.
  struct TRequest {
    std::string path;
    bool orientByExif = true;
    TFitRequest fit;
    bool operator==(const TRequest&) const = default;
    // The same file decoded the same way, whatever is made of it.
    bool SameRead(const std::string& other, bool otherOrient) const {
      return path == other && orientByExif == otherOrient;
    }
  };
  struct TResult {
    TRequest request;
    TFileStamp stamp;
    int depth = 0;
    TPrefetchedFile file;
  };

  void Work();
  std::optional<TResult> Load(const TRequest& request, uint64_t generation, std::chrono::nanoseconds settle);
  bool Current(uint64_t generation);
  // Whether the request being served or waiting is this one, or reads this file this way.
  bool Serving(const TRequest& request) const;
  bool Serving(const std::string& path, bool orientByExif) const;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  // Every Request and Cancel starts a new generation; a read of an older one is dropped.
  uint64_t generation_ = 0;
  std::optional<TRequest> queued_;
  std::optional<TRequest> running_;
  uint64_t runningGeneration_ = 0;
  std::optional<TResult> ready_;
  std::chrono::nanoseconds settle_;
  bool stopping_ = false;
  int32_t hits_ = 0;
  std::thread worker_;
};

} // namespace qv
