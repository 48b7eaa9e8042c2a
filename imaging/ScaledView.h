#pragma once
// The crop window's view of a fitted picture too large for the screen: the factor it is
// shown at, the lengths of the picture and of the frame in the view, the full-size offset a
// view position stands for, and the view's pixels. At a factor of 1 every length and every
// offset is the full-size one.

#include <cstdint>

#include "Fit.h"
#include "PixelImage.h"

namespace qv {

// The factor num / den, at most 1.
struct TViewScale {
  int64_t num = 1;
  int64_t den = 1;
  bool Scaled() const { return num < den; }
  bool operator==(const TViewScale&) const = default;
};

// The largest factor s <= 1 at which fitted fits room: the smaller of 1, room width / fitted
// width and room height / fitted height, exactly. Sides of room below 1 count as 1.
TViewScale ViewScale(TSize fitted, TSize room);
// length * s rounded half to even; at least 1 for a positive length, so that a frame stays
// something to press.
int32_t ViewLength(int32_t length, TViewScale scale);
TSize ViewSize(TSize size, TViewScale scale);
// The factor as a whole percent, rounded down so that a scaled view never claims 100 %;
// at least 1.
int32_t ScalePercent(TViewScale scale);

// n / d rounded to the nearest integer, an exact half to the even one (d > 0).
int64_t DivideHalfEven(int64_t n, int64_t d);

// The full-size offset along the free axis of a frame at view position v:
// round(v * (fitted - target) / (view - viewTarget)), half to even, where view and viewTarget
// are the view lengths of the picture and of the frame; v itself when view <= viewTarget.
// So v = 0 gives 0 and v = view - viewTarget gives fitted - target. Saturates at the int32 range.
int32_t FullOffset(int32_t v, int32_t fitted, int32_t target, int32_t view, int32_t viewTarget);

// The view's size in device pixels on a screen with that device pixel ratio.
TSize DeviceSize(TSize view, double devicePixelRatio);

// source resized to width x height by area averaging: each pixel is the mean of the part of
// the source it covers, each source pixel weighed by its share of that part. Smooth at any
// factor, downwards (every source pixel counts) as upwards.
TPixelImage AreaResize(const TPixelImage& source, int32_t width, int32_t height);

} // namespace qv
