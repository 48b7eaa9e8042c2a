#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv {

class TPixelImage;
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

private:
  // The byte offsets of a column's pair and the fraction of its unclamped position.
  struct TColumn {
    ptrdiff_t left, right;
    uint32_t fx;
  };

  int32_t sh_, dh_;
  uint32_t yStep_;
  std::vector<TColumn> columns_;
};

// What SmoothResize (dw, dh) of the decoded data gives, byte for byte and with the same
// errors in the same order. When the sizes are blended, every decoded row goes into the
// blend as it comes and the full-size picture is never held: a 6000 x 4000 photo then
// needs two of its rows in memory instead of 72 MB.
TPixelImage DecodeResized(const TJPEGData& data, int32_t dw, int32_t dh);

} // namespace qv
