#include "SmoothResize.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <utility>

#include "BlendKernel.h"
#include "JPEGImage.h"
#include "Orientation.h"
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

TSmoothResizer::TSmoothResizer(int32_t sw, int32_t sh, int32_t dw, int32_t dh, TRuns runs)
    : sw_(sw), sh_(sh), dh_(dh), mirrored_(runs.mirrored),
      yStep_(static_cast<uint32_t>(MulDiv(sh + 1, 65536, dh))) {
  const uint32_t xStep = static_cast<uint32_t>(MulDiv(sw + 1, 65536, dw));
  // What depends on the column alone is worked out once, not once a row.
  const size_t columns = static_cast<size_t>(dw > 0 ? dw : 0);
  lefts_.resize(columns);
  fractions_.resize(columns);
  // One column serves as both members of the pair. In rows that run right to left the pair
  // is read from its left member's place leftwards, with the same weights.
  const bool mirroredRows = mirrored_ && !runs.columns;
  rightStep_ = sw == 1 ? 0 : mirroredRows ? -3 : 3;
  const int64_t rowBytes = static_cast<int64_t>(sw) * 3;
  bool vector = rightStep_ == 3 && !runs.columns;
  for (int32_t x = 0; x < dw; ++x) {
    const uint32_t sx = static_cast<uint32_t>(x) * xStep;
    const int64_t ix = sx >> 16;
    // Clamped pairs keep the weights of the unclamped position.
    int32_t left = static_cast<int32_t>(ix);
    if (ix >= static_cast<int64_t>(sw) - 1 || x == dw - 1)
      left = sw - 2;
    if (sw == 1)
      left = 0;
    lefts_[static_cast<size_t>(x)] = (mirroredRows ? sw - 1 - left : left) * 3;
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

int32_t TSmoothResizer::LeftColumn(int32_t x) const {
  const int32_t place = lefts_[static_cast<size_t>(x)] / 3;
  return rightStep_ < 0 ? sw_ - 1 - place : place;
}

void TSmoothResizer::Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out) const {
  Row(upper, lower, y, out, 0, lefts_.size());
}

void TSmoothResizer::Column(const uint8_t* left, const uint8_t* right, int32_t x, uint8_t* out, size_t first,
                            size_t last) const {
  const uint32_t fx = fractions_[static_cast<size_t>(x)];
  // Runs that hold a column bottom up have the upper pixel of a pair at the far end.
  const ptrdiff_t far = static_cast<ptrdiff_t>(sh_ - 1) * 3;
  const ptrdiff_t lowerStep = mirrored_ ? -3 : 3;
  for (size_t y = first; y < last; ++y, out += 3) {
    const int32_t row = static_cast<int32_t>(y);
    // The same weights as Row gives destination row y's pixel in this column.
    const uint32_t fy = (static_cast<uint32_t>(row) * yStep_) & 0xFFFF;
    const uint32_t wUpper = 65536 - fy;
    const uint32_t wLower = fy + 1;
    const uint32_t wUR = (fx * wUpper + 32768) >> 16;
    const uint32_t wUL = wUpper - wUR;
    const uint32_t wLR = (fx * wLower + 32768) >> 16;
    const uint32_t wLL = wLower - wLR;
    const ptrdiff_t upper = static_cast<ptrdiff_t>(UpperRow(row)) * 3;
    const ptrdiff_t at = mirrored_ ? far - upper : upper;
    const uint8_t* ul = left + at;
    const uint8_t* ur = right + at;
    const uint8_t* ll = ul + lowerStep;
    const uint8_t* lr = ur + lowerStep;
    for (int c = 0; c < 3; ++c)
      out[c] = static_cast<uint8_t>((ul[c] * wUL + ur[c] * wUR + ll[c] * wLL + lr[c] * wLR) >> 16);
  }
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
//
// A photo to be turned is blended from the same rows, each a line of the turned picture:
// one of its rows (1 to 4) or one of its columns (5 to 8), running one way or the other.
// The lines come in decode order, and that is either the turned picture's order or its
// reverse (3, 4, 6, 7); a size then makes its destination lines from the last one back, each
// as soon as the later of its two lines has come, which is always the row just decoded, the
// other one the row before it. Lines that are columns fill destination columns, kept as the
// rows of a picture on its side and turned back once at the end. Should anything keep the
// rows from being enough, the picture is turned whole first, and blended as it stands.
class TFanOutSink : public IRowSink {
public:
  TFanOutSink(const std::vector<TSize>& sizes, const std::function<void()>& everyRow,
              const std::vector<TFrame>* frames, int orientation)
      : everyRow_(everyRow), orientation_(orientation >= 1 && orientation <= 8 ? orientation : 1) {
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
    decodedRows_ = height;
    const TSize turned = OrientedSize(width, height, orientation_);
    turnedHeight_ = turned.height;
    // The way each orientation's rows lie in the turned picture.
    const int o = orientation_;
    lines_ = TLines{{o >= 5, o == 2 || o == 3 || o == 7 || o == 8}, o == 3 || o == 4 || o == 6 || o == 7};
    bool inOrder = true;
    for (TBlend& blend : blends_)
      inOrder = Prepare(blend, turned) && inOrder;
    if (!inOrder) {
      keepWhole_ = true;
      // Turned whole first, the turned picture's own rows are blended.
      if (orientation_ != 1) {
        lines_ = TLines{};
        for (TBlend& blend : blends_) {
          blend.resizer.reset();
          Prepare(blend, turned);
        }
      }
    }
    if (keepWhole_ && orientation_ == 1) {
      whole_.SetSize(width, height);
    } else if (keepWhole_) {
      turning_.emplace(orientation_);
      turning_->Start(width, height);
    } else {
      rowBytes_ = static_cast<size_t>(width) * 3;
      rows_.resize(2 * rowBytes_);
    }
    for (TBlend& blend : blends_) {
      if (!blend.resizer)
        continue;
      const int32_t columns = blend.lastColumn - blend.firstColumn, rows = blend.lastRow - blend.firstRow;
      // Destination columns are made as the rows of the part lying on its side.
      if (lines_.runs.columns)
        blend.result.SetSize(rows, columns);
      else
        blend.result.SetSize(columns, rows);
      blend.next = lines_.reversed ? Lines(blend) - 1 : 0;
    }
  }

  uint8_t* RowFor(int32_t y) override {
    if (turning_)
      return turning_->RowFor(y);
    return keepWhole_ ? whole_.ScanLine(y) : Held(y);
  }

  // Every destination line whose later source line this is can be made now.
  void Filled(int32_t y) override {
    if (turning_)
      turning_->Filled(y);
    else
      for (TBlend& blend : blends_)
        if (blend.resizer)
          Advance(blend, y);
    if (everyRow_)
      everyRow_();
  }

  std::vector<TResized> Results() {
    if (turning_) {
      whole_ = turning_->Result();
      turning_.reset();
      for (int32_t y = 0; y < turnedHeight_; ++y)
        for (TBlend& blend : blends_)
          if (blend.resizer)
            Advance(blend, y);
    }
    std::vector<TResized> results(blends_.size());
    for (size_t i = 0; i < blends_.size(); ++i) {
      TBlend& blend = blends_[i];
      if (blend.resizer) {
        // A part lying on its side is stood up again: its rows are the part's columns.
        results[i].picture = lines_.runs.columns ? Orient(blend.result, 5) : std::move(blend.result);
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
    int32_t next; // the destination line to make next
    // The part that is made, and the picture of it.
    TPixelImage result;
    int32_t firstColumn, lastColumn, firstRow, lastRow;
  };

  // What the decoded rows are to the turned picture, and whether they come last first.
  struct TLines {
    TRuns runs;
    bool reversed = false;
  };

  static bool Blendable(const TBlend& blend, int32_t width, int32_t height) {
    return blend.dw >= 1 && blend.dh >= 2 && width >= 1 && height >= 2 && (width != blend.dw || height != blend.dh) &&
           PictureFits(blend.dw, blend.dh);
  }

  // Sets up the blend of a size when it can take the lines as they come; false otherwise.
  bool Prepare(TBlend& blend, const TSize& turned) {
    if (!Blendable(blend, turned.width, turned.height) || (lines_.runs.columns && turned.width < 2))
      return false;
    blend.resizer.emplace(turned.width, turned.height, blend.dw, blend.dh, lines_.runs);
    // Two rows are enough only while the pairs move through the source one way; should a
    // position wrap around in 32 bits, the whole picture is kept after all.
    const int32_t extent = lines_.runs.columns ? turned.width : turned.height;
    for (int32_t i = 0, last = 0; i < Lines(blend); last = Pair(blend, i), ++i)
      if (Pair(blend, i) < last || Pair(blend, i) > extent - 2) {
        blend.resizer.reset();
        return false;
      }
    return true;
  }

  int32_t Lines(const TBlend& blend) const { return lines_.runs.columns ? blend.dw : blend.dh; }
  // The first of the two source lines that destination line i blends.
  int32_t Pair(const TBlend& blend, int32_t i) const {
    return lines_.runs.columns ? blend.resizer->LeftColumn(i) : blend.resizer->UpperRow(i);
  }

  void Advance(TBlend& blend, int32_t y) {
    if (!lines_.reversed) {
      for (; blend.next < Lines(blend) && Pair(blend, blend.next) + 1 <= y; ++blend.next) {
        const int32_t first = Pair(blend, blend.next);
        Make(blend, blend.next, Source(first), Source(first + 1));
      }
    } else {
      // Decoded row y is the turned picture's line decodedRows_ - 1 - y.
      for (; blend.next >= 0 && Pair(blend, blend.next) >= decodedRows_ - 1 - y; --blend.next) {
        const int32_t first = Pair(blend, blend.next);
        Make(blend, blend.next, Source(decodedRows_ - 1 - first), Source(decodedRows_ - 2 - first));
      }
    }
  }

  // Destination line i (a row, or a column) of the part, from the source lines first and second.
  void Make(TBlend& blend, int32_t i, const uint8_t* first, const uint8_t* second) {
    if (lines_.runs.columns) {
      if (i >= blend.firstColumn && i < blend.lastColumn && blend.firstRow < blend.lastRow)
        blend.resizer->Column(first, second, i, blend.result.ScanLine(i - blend.firstColumn),
                              static_cast<size_t>(blend.firstRow), static_cast<size_t>(blend.lastRow));
    } else if (i >= blend.firstRow && i < blend.lastRow && blend.firstColumn < blend.lastColumn) {
      blend.resizer->Row(first, second, i, blend.result.ScanLine(i - blend.firstRow),
                         static_cast<size_t>(blend.firstColumn), static_cast<size_t>(blend.lastColumn));
    }
  }

  uint8_t* Held(int32_t y) { return rows_.data() + static_cast<size_t>(y & 1) * rowBytes_; }
  const uint8_t* Source(int32_t y) { return keepWhole_ ? std::as_const(whole_).ScanLine(y) : Held(y); }

  const std::function<void()>& everyRow_;
  const int orientation_;
  TLines lines_;
  std::vector<TBlend> blends_;
  int32_t decodedRows_ = 0;
  int32_t turnedHeight_ = 0;
  std::vector<uint8_t> rows_;
  size_t rowBytes_ = 0;
  bool keepWhole_ = false;
  TPixelImage whole_;
  // Builds the turned picture when it is to be held whole.
  std::optional<TOrientingSink> turning_;
};

} // namespace

std::vector<TResized> DecodeResized(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow, const std::vector<TFrame>* frames,
                                    int orientation) {
  try {
    TFanOutSink sink(sizes, everyRow, frames, orientation);
    DecodeRows(data, sink);
    return sink.Results();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh, int orientation) {
  std::vector<TResized> resized = DecodeResized(data, {TSize{dw, dh}}, {}, nullptr, orientation);
  if (resized[0].error)
    std::rethrow_exception(resized[0].error);
  return std::move(resized[0].picture);
}

} // namespace qv
