#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include "Fit.h"
#include "PixelImage.h"

namespace qv {

struct TJPEGData;

// Multiply then divide with a 64-bit product, rounded to nearest (non-negative operands).
int32_t MulDiv(int32_t n, int32_t m, int32_t d);

// Bilinear resize in 16.16 fixed point, byte for byte as the crop window shows pictures.
void SmoothResize(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination);

// SmoothResize's blend of an sw x sh source into dw x dh, one destination row at a time, so
// that a source whose rows come one after another (a decoder) need not be held whole.
// Meant for the sizes SmoothResize blends: they differ, dw > 0, dh > 1, sw > 0, sh > 1.
class TSmoothResizer {
public:
  TSmoothResizer(int32_t sw, int32_t sh, int32_t dw, int32_t dh);
  // The upper of the two source rows that destination row y blends; it never decreases
  // from one row to the next.
  int32_t UpperRow(int32_t y) const;
  // Fills destination row y from source rows UpperRow(y) and the one below it.
  void Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out) const;
  // The same for the columns first .. last - 1 only, which go to out onwards.
  void Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out, size_t first, size_t last) const;

private:
  int32_t sh_, dh_;
  uint32_t yStep_;
  // For each destination column: the byte offset of its left source pixel and the fraction
  // of its unclamped position; the right one lies rightStep_ bytes further on.
  std::vector<int32_t> lefts_;
  std::vector<uint32_t> fractions_;
  int32_t rightStep_ = 3;
  // The leading columns blended four at a time where the processor can: those whose two
  // source pixels can be read as eight bytes without passing the row's end.
  size_t vectorColumns_ = 0;
};

// One size's picture from the decode below, or the error its resize raised instead. The
// picture is the fitted one, or the part of it whose top-left pixel is (left, top).
struct TResized {
  TPixelImage picture;
  int32_t left = 0;
  int32_t top = 0;
  std::exception_ptr error;
};

// What SmoothResize to each of sizes of the decoded data gives, byte for byte, from one
// decode: every decoded row goes into the blend of every size as it comes, and while all
// sizes are blended the full-size picture is never held (a 6000 x 4000 photo then needs two
// of its rows instead of 72 MB). An error of the decode is raised; an error of one size's
// resize is kept in its entry, so the other sizes are still made. everyRow runs after each
// decoded row has gone into the blends; what it throws stops the decode and is raised.
// With frames, one for each size, only the part of the fitted picture that the frame covers
// need be made, all that a cut at that frame reads: a wallpaper of 1080 x 2400 takes less
// than a third of the picture fitted for it.
std::vector<TResized> DecodeResized(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow = {},
                                    const std::vector<TFrame>* frames = nullptr);
// The same for one size, its error raised: what SmoothResize (dw, dh) of the decoded data
// gives, with the same errors in the same order.
TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh);

} // namespace qv
