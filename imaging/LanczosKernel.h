#pragma once
// The two sums of the Lanczos filter. LanczosResize.cpp holds them in SSE2 registers (every
// x86-64 processor has them) and one value at a time elsewhere; LanczosAvx2.cpp builds them
// for AVX2, chosen at run time, with the same integer results. Only builtins and plain
// types are shared here, so that nothing compiled for a wider set is shared.

#include <cstddef>
#include <cstdint>

namespace qv::lanczos {

// 8-bit pixels times 14-bit weights, rounded to the intermediate's 6 fraction bits; the
// intermediate times the weights again, rounded to whole values. The rounding is the
// arithmetic shift of the sum plus a half; the results are saturated to their type.
inline constexpr int kWeightBits = 14;
inline constexpr int kFractionBits = 6;
inline constexpr int kFirstShift = kWeightBits - kFractionBits;
inline constexpr int kSecondShift = kWeightBits + kFractionBits;

// One axis's taps (see TLanczosAxis): destination pixel i reads counts[i] source pixels
// from starts[i] on, with the weights at weights + i * stride, zeros after them up to a
// multiple of sixteen; pairs + i * pairStride holds them as the AVX2 sums of three-value
// pixels take them, four taps in eight 32-bit values: the first two taps' weights side by
// side four times, then the next two's.
struct TTaps {
  const int32_t* starts;
  const int32_t* counts;
  const int16_t* weights;
  size_t stride;
  const int32_t* pairs;
  size_t pairStride;
  int32_t size;
};

// Destination pixel i from the 16-bit three-value pixels of in, whose first is the source
// pixel base, rounded by shift; in has six pixels to spare at its end.
void AlongAvx2(const int16_t* in, int32_t base, const TTaps& taps, int shift, int16_t* out);
void AlongAvx2(const int16_t* in, int32_t base, const TTaps& taps, int shift, uint8_t* out);
// Sixteen lines at once. TransposeLinesAvx2 turns the first length values of the sixteen
// lines at lines + l * stride into t[s * 16 + l]; AlongLinesAvx2 filters such a block along
// its pixels (three values each, the first the source pixel base) into out[(i * 3 + c) * 16
// + l], each sum rounded by shift and saturated to 16 bits; t holds a pixel to spare at its
// end. LinesOutAvx2 writes such a block's first length values of the first count lines to
// rows[l], saturated to 0..255.
void TransposeLinesAvx2(const int16_t* lines, size_t stride, size_t length, int16_t* t);
void AlongLinesAvx2(const int16_t* t, int32_t base, const TTaps& taps, int shift, int16_t* out);
void LinesOutAvx2(const int16_t* block, size_t length, int32_t count, uint8_t* const* rows);
// The pixels' three colours, one plane each, as 16-bit values.
void PlanesAvx2(const uint8_t* in, size_t pixels, int16_t* const planes[3]);
// The same from three planes of 16-bit values, one a colour, each with sixteen to spare;
// the weights are taken sixteen at a time.
void AlongPlanarAvx2(const int16_t* const planes[3], int32_t base, const TTaps& taps, int shift, int16_t* out);
// out[e] for e < length: the sum of weights[k] times rows[k][e] over the n rows, rounded by shift.
void AcrossAvx2(const uint8_t* const* rows, const int16_t* weights, int32_t n, size_t length, int shift,
                int16_t* out);
void AcrossAvx2(const int16_t* const* rows, const int16_t* weights, int32_t n, size_t length, int shift,
                uint8_t* out);

} // namespace qv::lanczos
