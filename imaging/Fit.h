#pragma once
// The fit decision and the display size, computed with a 64-bit mantissa, and the frame.

#include <cstdint>

namespace qv {

struct TSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const TSize&) const = default;
};

// Shape1: left, top, width, height in display-area pixels; may lie past the picture.
struct TFrame {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Nearest integer, an exact half to the even neighbour.
int32_t RoundHalfEven(long double value);
// w / h rounded to the nearest double; 0 / 0 raises EInvalidOp.
double Aspect(int32_t width, int32_t height);
// targetWidth > targetHeight * aspect, strictly, with a 64-bit mantissa; false when unordered.
bool FitWidth(int32_t targetWidth, int32_t targetHeight, double aspect);
TSize DisplaySize(int32_t targetWidth, int32_t targetHeight, double aspect, bool fitWidth);

} // namespace qv
