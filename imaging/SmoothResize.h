#pragma once

#include <cstdint>

namespace qv {

class TPixelImage;

// Multiply then divide with a 64-bit product, rounded to nearest (non-negative operands).
int32_t MulDiv(int32_t n, int32_t m, int32_t d);

// Bilinear resize in 16.16 fixed point, byte for byte as the crop window shows pictures.
void SmoothResize(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination);

} // namespace qv
