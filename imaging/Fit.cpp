#include "Fit.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "job/Errors.h"

// The fit decision and the display size are defined on a 64-bit mantissa; on x86-64
// long double is exactly that (the x87 extended format).
static_assert(LDBL_MANT_DIG == 64, "the fit computations need a 64-bit mantissa");

namespace qv {

int32_t RoundHalfEven(long double value) {
  // Out of the integer range there is no display size to give.
  if (!(value > -2147483648.5L && value < 2147483647.5L))
    throw EInvalidOp();
  long double whole = std::floor(value);
  long double fraction = value - whole;
  if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0))
    whole += 1;
  return static_cast<int32_t>(whole);
}

double Aspect(int32_t width, int32_t height) {
  // An empty source has no shape; 0 / 0 never becomes a silent NaN.
  if (height == 0)
    throw EInvalidOp();
  return static_cast<double>(static_cast<long double>(width) / static_cast<long double>(height));
}

bool FitWidth(int32_t targetWidth, int32_t targetHeight, double aspect) {
  // Unordered (NaN) compares false.
  return static_cast<long double>(targetWidth) > static_cast<long double>(targetHeight) * aspect;
}

TSize DisplaySize(int32_t targetWidth, int32_t targetHeight, double aspect, bool fitWidth) {
  if (fitWidth)
    return TSize{targetWidth, RoundHalfEven(static_cast<long double>(targetWidth) / aspect)};
  return TSize{RoundHalfEven(static_cast<long double>(targetHeight) * aspect), targetHeight};
}

} // namespace qv
