#pragma once
// The high-quality reduction: a separable Lanczos-3 filter whose support widens with the
// reduction, so that detail finer than the fitted picture can show is filtered out instead
// of folding back as moiré. The bilinear resize stays the default; this one is asked for.

#include <cstdint>
#include <functional>
#include <vector>

#include "Fit.h"
#include "PixelImage.h"
#include "LanczosKernel.h"
#include "SmoothResize.h"

namespace qv {

struct TJPEGData;

// How a photo is brought to its fitted size.
enum class TResizeFilter {
  bilinear, // SmoothResize, byte for byte as designed
  lanczos3, // LanczosResize
};

// Weights are fixed point with this many fraction bits; those of one destination pixel add
// up to exactly 1 << kLanczosWeightBits, so a flat colour stays flat.
inline constexpr int kLanczosWeightBits = 14;

// The Lanczos-3 kernel, sinc(t) sinc(t / 3) for |t| < 3, else 0.
double Lanczos3(double t);

// The taps of one axis of a source of length `source` resized to `destination`, for the
// destination pixels first .. last - 1. Destination pixel x is centred on the source at
// (x + 0.5) * source / destination - 0.5; when reducing by r = source / destination the
// kernel is stretched to L(t / r) over 6 r source pixels, when enlarging it is L itself.
// Taps outside the source take its nearest edge pixel. With mirrored, source positions are
// counted from the far end (a decoder's rows that run the other way); the weights are the
// same, in reverse order.
class TLanczosAxis {
public:
  TLanczosAxis(int32_t source, int32_t destination, int32_t first, int32_t last, bool mirrored = false);

  int32_t Size() const { return static_cast<int32_t>(starts_.size()); }
  // Destination pixel first + i reads the source pixels Start(i) .. Start(i) + Count(i) - 1.
  int32_t Start(int32_t i) const { return starts_[static_cast<size_t>(i)]; }
  int32_t Count(int32_t i) const { return counts_[static_cast<size_t>(i)]; }
  // Count(i) weights, then zeros up to a multiple of four, so that taps can be taken two
  // or four at a time.
  const int16_t* Weights(int32_t i) const { return weights_.data() + static_cast<size_t>(i) * stride_; }
  // The same weights four taps at a time as the AVX2 sums take them: two pairs, each
  // repeated four times.
  const int32_t* Pairs(int32_t i) const { return pairs_.data() + static_cast<size_t>(i) * pairStride_; }
  // The source pixels any of the destination pixels reads.
  int32_t Lowest() const { return lowest_; }
  int32_t Highest() const { return highest_; }
  int32_t MaxCount() const { return maxCount_; }
  // What it holds, about.
  size_t Bytes() const {
    return (starts_.size() + counts_.size() + pairs_.size()) * 4 + weights_.size() * 2;
  }
  lanczos::TTaps Taps() const {
    return {starts_.data(), counts_.data(), weights_.data(), stride_, pairs_.data(), pairStride_, Size()};
  }

private:
  std::vector<int32_t> starts_, counts_;
  std::vector<int16_t> weights_;
  size_t stride_ = 0;
  std::vector<int32_t> pairs_;
  size_t pairStride_ = 0;
  int32_t lowest_ = 0, highest_ = -1, maxCount_ = 0;
};

// The whole source resized to dw x dh. Rows are filtered first, in 32-bit sums rounded to
// a 16-bit intermediate with 6 fraction bits, then columns, rounded and clamped to 0..255.
// dw or dh of 0 copies the source, as SmoothResize does.
void LanczosResize(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination);

// DecodeResized with this filter: one decode for all sizes, the rows filtered as they come
// without the full-size picture, only the frames' parts made, and an orientation of 2 to 8
// turning the photo as it is decoded. A tagged photo gives the very bytes the same photo
// stored upright gives: each output pixel is the same integer sums. With helper, the rows are
// filtered on a second thread as the decoder goes on (for one photo at a time; a batch that
// keeps every core busy already filters on its own thread).
std::vector<TResized> DecodeLanczos(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow = {},
                                    const std::vector<TFrame>* frames = nullptr, int orientation = 1,
                                    bool helper = false);

// DecodeResized or DecodeLanczos, as the filter says.
std::vector<TResized> DecodeFiltered(const TJPEGData& data, const std::vector<TSize>& sizes,
                                     const std::function<void()>& everyRow, const std::vector<TFrame>* frames,
                                     int orientation, TResizeFilter filter, bool helper = false);
// The same for one size, its error raised; the Lanczos filter with a helper.
TPixelImage DecodeFiltered(const TJPEGData& data, int32_t dw, int32_t dh, int orientation, TResizeFilter filter);
// SmoothResize or LanczosResize, as the filter says.
void ResizeFiltered(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination,
                    TResizeFilter filter);

} // namespace qv
