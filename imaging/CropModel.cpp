#include "CropModel.h"

#include <algorithm>
#include <cstring>

#include "Fit.h"
#include "Orientation.h"
#include "Prefetcher.h"
#include "SafeWriter.h"
#include "SmoothResize.h"

namespace qv {

TPixelImage CutOut(const TPixelImage& shown, const TFrame& frame, int32_t width, int32_t height) {
  // A frame over the whole picture cuts out the picture itself, which needs no copy.
  if (frame.left == 0 && frame.top == 0 && width == shown.Width() && height == shown.Height())
    return shown;
  TPixelImage cut(width, height);
  // Column range of the cut that falls inside the picture; the frame may lie anywhere.
  const int64_t first = std::clamp<int64_t>(-static_cast<int64_t>(frame.left), 0, cut.Width());
  const int64_t last = std::clamp<int64_t>(static_cast<int64_t>(shown.Width()) - frame.left, first, cut.Width());
  const size_t rowBytes = static_cast<size_t>(cut.Width()) * 3;
  for (int32_t j = 0; j < cut.Height(); ++j) {
    uint8_t* out = cut.ScanLine(j);
    std::memset(out, 0, rowBytes);
    const int64_t y = static_cast<int64_t>(frame.top) + j;
    if (y < 0 || y >= shown.Height() || last <= first)
      continue;
    const uint8_t* in = shown.ScanLine(static_cast<int32_t>(y));
    std::memcpy(out + first * 3, in + (frame.left + first) * 3, static_cast<size_t>(last - first) * 3);
  }
  return cut;
}

void SaveCut(const TPixelImage& shown, const TFrame& frame, const TTarget& target, const std::string& path,
             ISafeFileSystem& fs, const std::vector<uint8_t>& colorProfile) {
  TJPEGImage output;
  output.colorProfile = colorProfile;
  output.AssignPixels(CutOut(shown, frame, target.width, target.height));
  output.quality = static_cast<uint8_t>(100 - target.compression);
  output.WriteJpegFile(path, fs);
}

void TCropModel::openfile(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view) {
  Open(path, snapshot, view, nullptr);
}

void TCropModel::openfile(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view,
                          TPrefetcher& prefetched) {
  Open(path, snapshot, view, &prefetched);
}

void TCropModel::Open(const std::string& path, const std::function<TTarget()>& snapshot, ICropView& view,
                      TPrefetcher* prefetched) {
  fitWidth = false;
  preparedView = TPixelImage();
  const TTarget target = snapshot();
  std::optional<TPrefetchedFile> ready;
  if (prefetched)
    ready = prefetched->Take(path, target.orientByExif, target.filter);
  TJPEGImage source;
  // The file as the read leaves it; its decoded copy only feeds the resize, so a failure
  // there leaves the displayed image exactly as it leaves it after a read.
  if (ready)
    source = ready->file;
  else
    source.ReadJpegFile(path, target.orientByExif);
  orientation = target.orientByExif ? source.Data()->orientation : 1;
  filter = target.filter;
  // The fit and everything after it see the photo upright.
  const TSize turned = OrientedSize(source.Width(), source.Height(), orientation);
  const int32_t w = turned.width;
  const int32_t h = turned.height;
  aspect = Aspect(w, h);
  fitWidth = FitWidth(target.width, target.height, aspect);
  TJPEGImage shown;
  shown.CopyFrom(source);
  displayed = shown;
  colorProfile = source.Data()->colorProfile;
  const TSize size = DisplaySize(target.width, target.height, aspect, fitWidth);
  view.SetDisplaySize(size.width, size.height, fitWidth);
  // The picture takes whatever size the display area really got.
  Resize(view.DisplayWidth(), view.DisplayHeight(), ready ? &*ready : nullptr);
  if (ready && ready->fitted.Width() == displayed.Width() && ready->fitted.Height() == displayed.Height())
    preparedView = ready->view;
  Shape1.height = target.height;
  Shape1.width = target.width;
  Shape1.top = 0;
  Shape1.left = 0;
}

void TCropModel::Savefile(const std::string& path, const TTarget& current) {
  Savefile(path, current, PosixFileSystem());
}

void TCropModel::Savefile(const std::string& path, const TTarget& current, ISafeFileSystem& fs) {
  SaveCut(displayed.GetPixels(), Shape1, current, path, fs, colorProfile);
}

void TCropModel::ResizeImage(int32_t dw, int32_t dh) {
  Resize(dw, dh, nullptr);
}

void TCropModel::Resize(int32_t dw, int32_t dh, const TPrefetchedFile* ready) {
  TJPEGImage work;
  work.CopyFrom(displayed);
  TPixelImage resized;
  if (ready && ready->fitted.Width() == dw && ready->fitted.Height() == dh && dw > 0) {
    // Fitted in the background to this very size.
    resized = ready->fitted;
  } else if (ready && ready->picture.Width() > 0) {
    resized.SetSize(dw, dh);
    ResizeFiltered(dw, dh, ready->picture, resized, filter);
  } else if (!work.HasPixels()) {
    // A read file is decoded at full size, but its rows go into the resize as they come:
    // the same pixels and errors as resizing the decoded picture, turned, without holding it.
    resized = DecodeFiltered(*work.Data(), dw, dh, orientation, filter);
  } else {
    // The large picture lives only in this block.
    const TPixelImage source = work.GetPixels();
    resized.SetSize(dw, dh);
    ResizeFiltered(dw, dh, source, resized, filter);
  }
  work.AssignPixels(resized);
  TJPEGImage fitted;
  fitted.CopyFrom(work);
  displayed = fitted;
}

} // namespace qv
