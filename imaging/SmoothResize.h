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

// How the blend is handed its source: as rows (Row), or as columns, each a run of its
// pixels from the top down (Column); mirrored when every run holds its pixels the other way
// round. A decoder's rows are so the rows or the columns of the picture turned upright.
struct TRuns {
  bool columns = false;
  bool mirrored = false;
};

// SmoothResize's blend of an sw x sh source into dw x dh, one destination row (or column)
// at a time, so that a source whose rows come one after another (a decoder) need not be held
// whole. Meant for the sizes SmoothResize blends: they differ, dw > 0, dh > 1, sw > 0,
// sh > 1, and sw > 1 when handed columns.
class TSmoothResizer {
public:
  TSmoothResizer(int32_t sw, int32_t sh, int32_t dw, int32_t dh, TRuns runs = {});
  // The upper of the two source rows that destination row y blends; it never decreases
  // from one row to the next.
  int32_t UpperRow(int32_t y) const;
  // The left of the two source columns that destination column x blends; it never
  // decreases from one column to the next (unless a position wraps around in 32 bits).
  int32_t LeftColumn(int32_t x) const;
  // Fills destination row y from source rows UpperRow(y) and the one below it.
  void Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out) const;
  // The same for the columns first .. last - 1 only, which go to out onwards.
  void Row(const uint8_t* upper, const uint8_t* lower, int32_t y, uint8_t* out, size_t first, size_t last) const;
  // Fills destination column x's rows first .. last - 1, one pixel after another from out
  // on, from source columns LeftColumn(x) (left) and the one right of it (right).
  void Column(const uint8_t* left, const uint8_t* right, int32_t x, uint8_t* out, size_t first, size_t last) const;

private:
  int32_t sw_, sh_, dh_;
  bool mirrored_;
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
// With an orientation of 2 to 8 the sizes are those of the picture turned upright (see
// Orientation.h), and each is what SmoothResize of the decoded picture turned gives; the
// rows still go into the blends as they come, as rows or as columns of the turned picture,
// so that the turn costs neither the picture nor a copy of it.
std::vector<TResized> DecodeResized(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow = {},
                                    const std::vector<TFrame>* frames = nullptr, int orientation = 1);
// The same for one size, its error raised: what SmoothResize (dw, dh) of the decoded data,
// turned by orientation, gives, with the same errors in the same order.
TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh, int orientation = 1);

} // namespace qv
