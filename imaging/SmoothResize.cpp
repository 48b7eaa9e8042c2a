#include "SmoothResize.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <utility>

#include "BlendKernel.h"
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

namespace {

#if defined(__x86_64__)
#define QV_BLEND_SIMD 1

// The widest form this processor runs, chosen once.
using TBlendFunction = decltype(&blend::BlendAvx2);
TBlendFunction Widest() {
  static const TBlendFunction widest = __builtin_cpu_supports("avx2")     ? blend::BlendAvx2
                                       : __builtin_cpu_supports("sse4.1") ? blend::BlendSse41
                                                                          : nullptr;
  return widest;
}
#endif

} // namespace

TSmoothResizer::TSmoothResizer(int32_t sw, int32_t sh, int32_t dw, int32_t dh)
    : sh_(sh), dh_(dh), yStep_(static_cast<uint32_t>(MulDiv(sh + 1, 65536, dh))) {
  const uint32_t xStep = static_cast<uint32_t>(MulDiv(sw + 1, 65536, dw));
  // What depends on the column alone is worked out once, not once a row.
  const size_t columns = static_cast<size_t>(dw > 0 ? dw : 0);
  lefts_.resize(columns);
  fractions_.resize(columns);
  // One column serves as both members of the pair.
  rightStep_ = sw == 1 ? 0 : 3;
  const int64_t rowBytes = static_cast<int64_t>(sw) * 3;
  bool vector = rightStep_ == 3;
  for (int32_t x = 0; x < dw; ++x) {
    const uint32_t sx = static_cast<uint32_t>(x) * xStep;
    const int64_t ix = sx >> 16;
    // Clamped pairs keep the weights of the unclamped position.
    int32_t left = static_cast<int32_t>(ix);
    if (ix >= static_cast<int64_t>(sw) - 1 || x == dw - 1)
      left = sw - 2;
    if (sw == 1)
      left = 0;
    lefts_[static_cast<size_t>(x)] = left * 3;
    fractions_[static_cast<size_t>(x)] = sx & 0xFFFF;
    // The pairs only move right, so the columns that may be read eight bytes at a time lead.
    vector = vector && static_cast<int64_t>(left) * 3 + 8 <= rowBytes;
    if (vector)
      vectorColumns_ = static_cast<size_t>(x) + 1;
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
  Row(upper, lower, y, out, 0, lefts_.size());
}

void TSmoothResizer::Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out, size_t first,
                         size_t last) const {
  const uint32_t fy = (static_cast<uint32_t>(y) * yStep_) & 0xFFFF;
  // The two weights add up to 65537 whichever pair was chosen.
  const uint32_t wUpper = 65536 - fy;
  const uint32_t wLower = fy + 1;
  size_t x = first;
#ifdef QV_BLEND_SIMD
  if (const TBlendFunction blend = Widest(); blend && x < vectorColumns_) {
    const size_t done = blend(upper, lower, wUpper, wLower, lefts_.data() + x, fractions_.data() + x,
                              std::min(vectorColumns_, last) - x, out);
    x += done;
    out += done * 3;
  }
#endif
  for (; x < last; ++x) {
    const uint32_t fx = fractions_[x];
    // MulDiv(fx, w, 65536) for these operands: fx * w + 32768 stays below 2^32.
    const uint32_t wUR = (fx * wUpper + 32768) >> 16;
    const uint32_t wUL = wUpper - wUR;
    const uint32_t wLR = (fx * wLower + 32768) >> 16;
    const uint32_t wLL = wLower - wLR;
    const uint8_t* ul = upper + lefts_[x];
    const uint8_t* ur = ul + rightStep_;
    const uint8_t* ll = lower + lefts_[x];
    const uint8_t* lr = ll + rightStep_;
    for (int c = 0; c < 3; ++c)
      out[c] = static_cast<uint8_t>((ul[c] * wUL + ur[c] * wUR + ll[c] * wLL + lr[c] * wLR) >> 16);
    out += 3;
  }
}

namespace {

// Hands every decoded row to the blend of every size, holding only the last two rows: as
// each size's pairs move down the source with its destination rows, no size needs a row
// that was dropped. A size that SmoothResize copies or refuses, or one too large to hold,
// is left to SmoothResize of the whole picture, so that its results and errors stay its
// own; the whole picture is then kept once, and the blended sizes read their rows from it.
// A blended size makes only its part, in a picture of that part's size.
class TFanOutSink : public IRowSink {
public:
  TFanOutSink(const std::vector<TSize>& sizes, const std::function<void()>& everyRow,
              const std::vector<TFrame>* frames)
      : everyRow_(everyRow) {
    blends_.reserve(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      TBlend blend{sizes[i].width, sizes[i].height, std::nullopt, 0, TPixelImage(), 0, 0, 0, 0};
      // The part of the picture the frame covers, empty when it lies outside.
      const TFrame whole{0, 0, blend.dw, blend.dh};
      const TFrame& frame = frames ? (*frames)[i] : whole;
      auto clamp = [](int64_t v, int32_t size) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, size)); };
      blend.firstColumn = clamp(frame.left, blend.dw);
      blend.lastColumn = clamp(static_cast<int64_t>(frame.left) + frame.width, blend.dw);
      blend.firstRow = clamp(frame.top, blend.dh);
      blend.lastRow = clamp(static_cast<int64_t>(frame.top) + frame.height, blend.dh);
      blends_.push_back(std::move(blend));
    }
  }

  void Start(int32_t width, int32_t height) override {
    for (TBlend& blend : blends_) {
      if (!Blendable(blend, width, height)) {
        keepWhole_ = true;
        continue;
      }
      blend.resizer.emplace(width, height, blend.dw, blend.dh);
      // Two rows are enough only while the pairs move down the source; should a position
      // wrap around in 32 bits, the whole picture is kept after all.
      for (int32_t y = 0, last = 0; y < blend.dh; last = blend.resizer->UpperRow(y), ++y)
        if (blend.resizer->UpperRow(y) < last || blend.resizer->UpperRow(y) > height - 2) {
          blend.resizer.reset();
          keepWhole_ = true;
          break;
        }
    }
    if (keepWhole_) {
      whole_.SetSize(width, height);
    } else {
      rowBytes_ = static_cast<size_t>(width) * 3;
      rows_.resize(2 * rowBytes_);
    }
    for (TBlend& blend : blends_)
      if (blend.resizer)
        blend.result.SetSize(blend.lastColumn - blend.firstColumn, blend.lastRow - blend.firstRow);
  }

  uint8_t* RowFor(int32_t y) override { return keepWhole_ ? whole_.ScanLine(y) : Held(y); }

  // Every destination row whose lower source row this is can be made now.
  void Filled(int32_t y) override {
    for (TBlend& blend : blends_) {
      if (!blend.resizer)
        continue;
      for (; blend.next < blend.dh && blend.resizer->UpperRow(blend.next) + 1 <= y; ++blend.next) {
        if (blend.next < blend.firstRow || blend.next >= blend.lastRow || blend.firstColumn >= blend.lastColumn)
          continue;
        const int32_t upper = blend.resizer->UpperRow(blend.next);
        blend.resizer->Row(Source(upper), Source(upper + 1), blend.next,
                           blend.result.ScanLine(blend.next - blend.firstRow), static_cast<size_t>(blend.firstColumn),
                           static_cast<size_t>(blend.lastColumn));
      }
    }
    if (everyRow_)
      everyRow_();
  }

  std::vector<TResized> Results() {
    std::vector<TResized> results(blends_.size());
    for (size_t i = 0; i < blends_.size(); ++i) {
      TBlend& blend = blends_[i];
      if (blend.resizer) {
        results[i].picture = std::move(blend.result);
        results[i].left = blend.firstColumn;
        results[i].top = blend.firstRow;
        continue;
      }
      // As ResizeImage has it for a decoded picture: a destination of the size, then the resize.
      try {
        TPixelImage resized;
        resized.SetSize(blend.dw, blend.dh);
        SmoothResize(blend.dw, blend.dh, whole_, resized);
        results[i].picture = std::move(resized);
      } catch (const std::bad_alloc&) {
        results[i].error = std::make_exception_ptr(EOutOfMemory());
      } catch (...) {
        results[i].error = std::current_exception();
      }
    }
    return results;
  }

private:
  struct TBlend {
    int32_t dw, dh;
    std::optional<TSmoothResizer> resizer;
    int32_t next;
    // The part that is made, and the picture of it.
    TPixelImage result;
    int32_t firstColumn, lastColumn, firstRow, lastRow;
  };

  static bool Blendable(const TBlend& blend, int32_t width, int32_t height) {
    return blend.dw >= 1 && blend.dh >= 2 && width >= 1 && height >= 2 && (width != blend.dw || height != blend.dh) &&
           PictureFits(blend.dw, blend.dh);
  }

  uint8_t* Held(int32_t y) { return rows_.data() + static_cast<size_t>(y & 1) * rowBytes_; }
  const uint8_t* Source(int32_t y) { return keepWhole_ ? std::as_const(whole_).ScanLine(y) : Held(y); }

  const std::function<void()>& everyRow_;
  std::vector<TBlend> blends_;
  std::vector<uint8_t> rows_;
  size_t rowBytes_ = 0;
  bool keepWhole_ = false;
  TPixelImage whole_;
};

} // namespace

std::vector<TResized> DecodeResized(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow, const std::vector<TFrame>* frames) {
  try {
    TFanOutSink sink(sizes, everyRow, frames);
    DecodeRows(data, sink);
    return sink.Results();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh) {
  std::vector<TResized> resized = DecodeResized(data, {TSize{dw, dh}});
  if (resized[0].error)
    std::rethrow_exception(resized[0].error);
  return std::move(resized[0].picture);
}

} // namespace qv
