#include "SmoothResize.h"

#include <cstdlib>
#include <new>
#include <optional>
#include <utility>

#include "JPEGImage.h"
#include "PixelImage.h"
#include "job/Errors.h"

namespace qv {

int32_t MulDiv(int32_t n, int32_t m, int32_t d) {
  if (d == 0)
    return -1;
  int64_t product = static_cast<int64_t>(n) * m;
  // Rounds half away from zero, as the platform call does for negative operands too.
  bool negative = (product < 0) != (d < 0);
  int64_t magnitude = (std::llabs(product) + std::llabs(static_cast<int64_t>(d)) / 2) / std::llabs(static_cast<int64_t>(d));
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN)
    return -1;
  return static_cast<int32_t>(result);
}

void SmoothResize(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination) {
  if (dw == 0 || dh == 0) {
    destination = source;
    return;
  }
  destination.SetSize(dw, dh);
  if (source.Width() == destination.Width() && source.Height() == destination.Height()) {
    destination = source;
    return;
  }
  // Taken as the address of row 1 minus that of row 0, so a one-row destination fails here.
  uint8_t* row0 = destination.ScanLine(0);
  ptrdiff_t stride = destination.ScanLine(1) - row0;

  const int32_t sw = source.Width();
  const int32_t sh = source.Height();
  // A source without columns has no pair to take; one column serves as both members.
  if (sw < 1)
    throw EInvalidGraphicOperation();
  const TSmoothResizer resizer(sw, sh, dw, dh);
  for (int32_t y = 0; y < dh; ++y) {
    // A source of fewer than two rows fails here with "Scan line index out of range".
    const int32_t upper = resizer.UpperRow(y);
    resizer.Row(source.ScanLine(upper), source.ScanLine(upper + 1), y, row0 + y * stride);
  }
}

TSmoothResizer::TSmoothResizer(int32_t sw, int32_t sh, int32_t dw, int32_t dh)
    : sh_(sh), dh_(dh), yStep_(static_cast<uint32_t>(MulDiv(sh + 1, 65536, dh))) {
  const uint32_t xStep = static_cast<uint32_t>(MulDiv(sw + 1, 65536, dw));
  // What depends on the column alone is worked out once, not once a row.
  columns_.resize(static_cast<size_t>(dw > 0 ? dw : 0));
  for (int32_t x = 0; x < dw; ++x) {
    const uint32_t sx = static_cast<uint32_t>(x) * xStep;
    const int64_t ix = sx >> 16;
    // Clamped pairs keep the weights of the unclamped position.
    int32_t left = static_cast<int32_t>(ix);
    if (ix >= static_cast<int64_t>(sw) - 1 || x == dw - 1)
      left = sw - 2;
    int32_t right = left + 1;
    if (sw == 1)
      left = right = 0;
    columns_[static_cast<size_t>(x)] =
        TColumn{static_cast<ptrdiff_t>(left) * 3, static_cast<ptrdiff_t>(right) * 3, sx & 0xFFFF};
  }
}

int32_t TSmoothResizer::UpperRow(int32_t y) const {
  const uint32_t sy = static_cast<uint32_t>(y) * yStep_;
  const int64_t iy = sy >> 16;
  if (iy >= static_cast<int64_t>(sh_) - 1 || y == dh_ - 1)
    return sh_ - 2;
  return static_cast<int32_t>(iy);
}

void TSmoothResizer::Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out) const {
  const uint32_t fy = (static_cast<uint32_t>(y) * yStep_) & 0xFFFF;
  // The two weights add up to 65537 whichever pair was chosen.
  const uint32_t wUpper = 65536 - fy;
  const uint32_t wLower = fy + 1;
  for (const TColumn& column : columns_) {
    // MulDiv(fx, w, 65536) for these operands: fx * w + 32768 stays below 2^32.
    const uint32_t wUR = (column.fx * wUpper + 32768) >> 16;
    const uint32_t wUL = wUpper - wUR;
    const uint32_t wLR = (column.fx * wLower + 32768) >> 16;
    const uint32_t wLL = wLower - wLR;
    const uint8_t* ul = upper + column.left;
    const uint8_t* ur = upper + column.right;
    const uint8_t* ll = lower + column.left;
    const uint8_t* lr = lower + column.right;
    for (int c = 0; c < 3; ++c)
      out[c] = static_cast<uint8_t>((ul[c] * wUL + ur[c] * wUR + ll[c] * wLL + lr[c] * wLR) >> 16);
    out += 3;
  }
}

namespace {

// Blends decoded rows as they come, holding only the last two. For sizes that SmoothResize
// copies or refuses, and for a destination too large to hold, it keeps the whole picture
// instead and leaves the rest to SmoothResize, so that results and errors stay its own.
class TResizingSink : public IRowSink {
public:
  TResizingSink(int32_t dw, int32_t dh) : dw_(dw), dh_(dh) {}

  void Start(int32_t width, int32_t height) override {
    if (dw_ < 1 || dh_ < 2 || width < 1 || height < 2 || (width == dw_ && height == dh_) || !PictureFits(dw_, dh_)) {
      whole_.SetSize(width, height);
      return;
    }
    resizer_.emplace(width, height, dw_, dh_);
    // Two rows are enough only while the pairs move down the source; should a position
    // wrap around in 32 bits, the whole picture is kept after all.
    for (int32_t y = 0, last = 0; y < dh_; last = resizer_->UpperRow(y), ++y)
      if (resizer_->UpperRow(y) < last || resizer_->UpperRow(y) > height - 2) {
        resizer_.reset();
        whole_.SetSize(width, height);
        return;
      }
    rowBytes_ = static_cast<size_t>(width) * 3;
    rows_.resize(2 * rowBytes_);
    result_.SetSize(dw_, dh_);
  }

  uint8_t* RowFor(int32_t y) override {
    if (!resizer_)
      return whole_.ScanLine(y);
    return Held(y);
  }

  // Every destination row whose lower source row this is can be made now; as the pairs move
  // down the source with the destination rows, none needs a row already dropped.
  void Filled(int32_t y) override {
    if (!resizer_)
      return;
    for (; next_ < dh_ && resizer_->UpperRow(next_) + 1 <= y; ++next_) {
      const int32_t upper = resizer_->UpperRow(next_);
      resizer_->Row(Held(upper), Held(upper + 1), next_, result_.ScanLine(next_));
    }
  }

  TPixelImage Result() {
    if (resizer_)
      return std::move(result_);
    // As ResizeImage has it for a decoded picture: a destination of the size, then the resize.
    TPixelImage resized;
    resized.SetSize(dw_, dh_);
    SmoothResize(dw_, dh_, whole_, resized);
    return resized;
  }

private:
  uint8_t* Held(int32_t y) { return rows_.data() + static_cast<size_t>(y & 1) * rowBytes_; }

  int32_t dw_, dh_;
  std::optional<TSmoothResizer> resizer_;
  std::vector<uint8_t> rows_;
  size_t rowBytes_ = 0;
  int32_t next_ = 0;
  TPixelImage result_;
  TPixelImage whole_;
};

} // namespace

TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh) {
  try {
    TResizingSink sink(dw, dh);
    DecodeRows(data, sink);
    return sink.Result();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

} // namespace qv
