#pragma once
// What the crop window holds besides its controls: the fitted picture, the fit decision
// and the frame. openfile fits one source to the target; Savefile cuts the frame's region.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Fit.h"
#include "JPEGImage.h"
#include "LanczosResize.h"

namespace qv {

class ISafeFileSystem;
class TPrefetcher;
struct TPrefetchedFile;

// The job state's values that fit and crop read.
struct TTarget {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t compression = 0;
  // Whether a photo is turned as its EXIF orientation says before it is fitted.
  bool orientByExif = true;
  // How the photo is brought to its fitted size: the bilinear resize, or the high-quality
  // reduction when the user asked for it.
  TResizeFilter filter = TResizeFilter::bilinear;
};

// The crop window's image control and display area.
class ICropView {
public:
  virtual ~ICropView() = default;
  // The image control, then the display area, take the size; height first unless widthFirst.
  virtual void SetDisplaySize(int32_t width, int32_t height, bool widthFirst) = 0;
  // The display area's size as the window system really gave it.
  virtual int32_t DisplayWidth() const = 0;
  virtual int32_t DisplayHeight() const = 0;
};

// A display area that takes exactly the size it is given (the headless cutter, tests).
class TPlainCropView : public ICropView {
public:
  void SetDisplaySize(int32_t width, int32_t height, bool) override {
    width_ = width;
    height_ = height;
  }
  int32_t DisplayWidth() const override { return width_; }
  int32_t DisplayHeight() const override { return height_; }

private:
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// The width x height region of shown whose top-left corner is at the frame's left and top;
// positions outside the picture give black.
TPixelImage CutOut(const TPixelImage& shown, const TFrame& frame, int32_t width, int32_t height);
// What Savefile does with the picture shown: cuts the frame's region at the target size and
// writes it to path at quality 100 - compression, with the photo's colour profile if it has one.
void SaveCut(const TPixelImage& shown, const TFrame& frame, const TTarget& target, const std::string& path,
             ISafeFileSystem& fs, const std::vector<uint8_t>& colorProfile = {});

class TCropModel {
public:
  // snapshot runs GetParams and returns the refreshed target; it is called first, so the
  // job state is refreshed even when the file then fails.
  void openfile(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view);
  // The same, taking the file from prefetched instead of reading it when it holds this
  // very file still unchanged; every result and every error stay those of the read.
  void openfile(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view,
                TPrefetcher& prefetched);
  // Cuts Shape1's region of the displayed pixels at the target size current now and writes
  // it at quality 100 - compression.
  void Savefile(const std::string& path, const TTarget& current);
  // The same through the given file system calls (tests make them fail).
  void Savefile(const std::string& path, const TTarget& current, ISafeFileSystem& fs);
  // Replaces the displayed image by one holding its pixels resized to dw x dh; a displayed
  // image that still holds the read file is turned by orientation first.
  void ResizeImage(int32_t dw, int32_t dh);

  // The filter of the file last opened, which ResizeImage uses too.
  TResizeFilter filter = TResizeFilter::bilinear;

  double aspect = 0;
  bool fitWidth = false;
  // The turn (1..8) the file last opened is shown with: its EXIF orientation, or 1 when the
  // snapshot said not to turn. aspect, the fit and the picture are those of the turned photo.
  int orientation = 1;
  TJPEGImage displayed;
  // The colour profile of the file last opened, written into every cut from it.
  std::vector<uint8_t> colorProfile;
  TFrame Shape1{16, 16, 65, 65};
  // The view of the displayed picture that the read-ahead made for a window showing it
  // scaled down, when it was asked for; empty otherwise.
  TPixelImage preparedView;

private:
  void Open(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view,
            TPrefetcher* prefetched);
  // ResizeImage, taking the picture from what the read-ahead made of this file, if anything.
  void Resize(int32_t dw, int32_t dh, const TPrefetchedFile* ready);
};

} // namespace qv
