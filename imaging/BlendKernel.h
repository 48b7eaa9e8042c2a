#pragma once
// SmoothResize's blend of one destination row in SIMD registers, four or eight pixels at a
// time, with the same integers as the plain loop. BlendSse41.cpp and BlendAvx2.cpp each
// build it for their instruction set; SmoothResize picks the widest the processor runs.
// Only builtins are used here, so that nothing compiled for a wider set is shared.

#include <cstddef>
#include <cstdint>

namespace qv::blend {

// Blends columns 0 .. count - 1 in groups, from upper and lower with the row weights
// wUpper and wLower, each column's left pixel at byte lefts[x] and its right one three
// bytes on, at the fraction fractions[x]; the eight bytes at every left must lie within the
// row. Returns how many columns were done; the plain loop does the rest.
size_t BlendSse41(const uint8_t* upper, const uint8_t* lower, uint32_t wUpper, uint32_t wLower, const int32_t* lefts,
                  const uint32_t* fractions, size_t count, uint8_t* out);
size_t BlendAvx2(const uint8_t* upper, const uint8_t* lower, uint32_t wUpper, uint32_t wLower, const int32_t* lefts,
                 const uint32_t* fractions, size_t count, uint8_t* out);

// Each weight w (at most 65536, too wide for 16-bit lanes) is split as 256 * (w >> 8) +
// (w & 255); both parts multiply the pixel bytes in 16-bit lanes, and the 32-bit sums give
// (UL * wUL + UR * wUR + LL * wLL + LR * wLR) >> 16 exactly. Each 128-bit half of a register
// works on four pixels, so that every shuffle stays within a half. Ops supplies the
// register type V's operations.
template <typename V, typename Ops>
size_t Blend(const uint8_t* upper, const uint8_t* lower, uint32_t wUpper, uint32_t wLower, const int32_t* lefts,
             const uint32_t* fractions, size_t count, uint8_t* out) {
  constexpr size_t kPixels = sizeof(V) / 4;
  const V upperWeight = Ops::Set(static_cast<int32_t>(wUpper));
  const V lowerWeight = Ops::Set(static_cast<int32_t>(wLower));
  const V half = Ops::Set(32768);
  const V lowByte = Ops::Set(255);
  // From two pixels' eight bytes each (left pixel blue, green, red, then the right pixel's),
  // the left and right byte of one channel side by side in 16-bit lanes: blue and green of
  // both pixels, then red.
  const V blueGreen = Ops::Mask(0, -1, 3, -1, 8, -1, 11, -1, 1, -1, 4, -1, 9, -1, 12, -1);
  const V red = Ops::Mask(2, -1, 5, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  // Blue of four pixels, green of four, red of four back to blue, green, red a pixel.
  const V interleave = Ops::Mask(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1);

  auto pairs = [](V left, V right) { return Ops::Or(left, Ops::ShiftLeft(right, 16)); };
  // One channel's sums for the pixels, a 32-bit lane each, shifted down.
  auto channel = [](V up, V down, V highUp, V lowUp, V highDown, V lowDown) {
    const V high = Ops::Add(Ops::MultiplyAdd(up, highUp), Ops::MultiplyAdd(down, highDown));
    const V low = Ops::Add(Ops::MultiplyAdd(up, lowUp), Ops::MultiplyAdd(down, lowDown));
    return Ops::ShiftRight(Ops::Add(Ops::ShiftLeft(high, 8), low), 16);
  };

  size_t x = 0;
  for (; x + kPixels <= count; x += kPixels, out += 3 * kPixels) {
    const V fx = Ops::Load(fractions + x);
    const V wUR = Ops::ShiftRight(Ops::Add(Ops::Multiply(fx, upperWeight), half), 16);
    const V wUL = Ops::Sub(upperWeight, wUR);
    const V wLR = Ops::ShiftRight(Ops::Add(Ops::Multiply(fx, lowerWeight), half), 16);
    const V wLL = Ops::Sub(lowerWeight, wLR);
    const V highUp = pairs(Ops::ShiftRight(wUL, 8), Ops::ShiftRight(wUR, 8));
    const V lowUp = pairs(Ops::And(wUL, lowByte), Ops::And(wUR, lowByte));
    const V highDown = pairs(Ops::ShiftRight(wLL, 8), Ops::ShiftRight(wLR, 8));
    const V lowDown = pairs(Ops::And(wLL, lowByte), Ops::And(wLR, lowByte));

    // Pixels 0 and 1 of each half in one register, 2 and 3 in the other.
    const V up01 = Ops::Gather(upper, lefts + x, 0), up23 = Ops::Gather(upper, lefts + x, 2);
    const V down01 = Ops::Gather(lower, lefts + x, 0), down23 = Ops::Gather(lower, lefts + x, 2);
    const V upBG01 = Ops::Shuffle(up01, blueGreen), upBG23 = Ops::Shuffle(up23, blueGreen);
    const V downBG01 = Ops::Shuffle(down01, blueGreen), downBG23 = Ops::Shuffle(down23, blueGreen);
    const V upR = Ops::Low(Ops::Shuffle(up01, red), Ops::Shuffle(up23, red));
    const V downR = Ops::Low(Ops::Shuffle(down01, red), Ops::Shuffle(down23, red));

    const V b = channel(Ops::Low(upBG01, upBG23), Ops::Low(downBG01, downBG23), highUp, lowUp, highDown, lowDown);
    const V g = channel(Ops::High(upBG01, upBG23), Ops::High(downBG01, downBG23), highUp, lowUp, highDown, lowDown);
    const V r = channel(upR, downR, highUp, lowUp, highDown, lowDown);
    Ops::Store(out, Ops::Shuffle(Ops::Pack(b, g, r), interleave));
  }
  return x;
}

} // namespace qv::blend
