#pragma once
// The two sums of the Lanczos filter, in SSE2 registers where the processor has them (every
// x86-64 one) and one value at a time elsewhere, with the same integer results either way.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "LanczosResize.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv::lanczos {

// 8-bit pixels times 14-bit weights, rounded to the intermediate's 6 fraction bits; the
// intermediate times the weights again, rounded to whole values.
inline constexpr int kFractionBits = 6;
inline constexpr int kFirstShift = kLanczosWeightBits - kFractionBits;
inline constexpr int kSecondShift = kLanczosWeightBits + kFractionBits;

inline void Store(int32_t v, int16_t* out) {
  *out = static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}
inline void Store(int32_t v, uint8_t* out) {
  *out = static_cast<uint8_t>(std::clamp<int32_t>(v, 0, 255));
}

// Destination pixel i of axis from the 16-bit three-value pixels of in, whose first is the
// source pixel base; rounded by shift. in has two pixels and a value to spare at its end.
template <typename TOut>
void Along(const int16_t* in, int32_t base, const TLanczosAxis& axis, int shift, TOut* out) {
  const int32_t half = 1 << (shift - 1);
  for (int32_t i = 0; i < axis.Size(); ++i, out += 3) {
    const int16_t* p = in + static_cast<ptrdiff_t>(axis.Start(i) - base) * 3;
    const int16_t* w = axis.Weights(i);
    const int32_t n = axis.Count(i);
#if defined(__SSE2__)
    // Two taps a step: their pixels interleaved value by value, each pair times its weights.
    __m128i sum = _mm_setzero_si128();
    for (int32_t k = 0; k < n; k += 2, p += 6) {
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 3));
      int32_t pair;
      std::memcpy(&pair, w + k, sizeof pair);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set1_epi32(pair)));
    }
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(half)), shift);
    alignas(16) int32_t values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), sum);
    for (int c = 0; c < 3; ++c)
      Store(values[c], out + c);
#else
    int32_t sums[3] = {0, 0, 0};
    for (int32_t k = 0; k < n; ++k)
      for (int c = 0; c < 3; ++c)
        sums[c] += w[k] * p[k * 3 + c];
    for (int c = 0; c < 3; ++c)
      Store((sums[c] + half) >> shift, out + c);
#endif
  }
}

// out[e] for e < length: the sum of weights[k] times rows[k][e] over the n rows, rounded by
// shift.
template <typename TIn, typename TOut>
void Across(const TIn* const* rows, const int16_t* weights, int32_t n, size_t length, int shift, TOut* out) {
  const int32_t half = 1 << (shift - 1);
  size_t e = 0;
#if defined(__SSE2__)
  const __m128i round = _mm_set1_epi32(half);
  const __m128i zero = _mm_setzero_si128();
  constexpr size_t step = sizeof(TIn) == 1 ? 16 : 8;
  for (; e + step <= length; e += step) {
    __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0;
    // Two rows a step, their values interleaved, each pair times its two weights.
    for (int32_t k = 0; k < n; k += 2) {
      const TIn* first = rows[k] + e;
      const TIn* second = k + 1 < n ? rows[k + 1] + e : first;
      int32_t pair;
      std::memcpy(&pair, weights + k, sizeof pair);
      const __m128i w = _mm_set1_epi32(pair);
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second));
      if constexpr (sizeof(TIn) == 1) {
        const __m128i low = _mm_unpacklo_epi8(a, b), high = _mm_unpackhi_epi8(a, b);
        s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w));
        s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w));
        s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w));
        s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w));
      } else {
        s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), w));
        s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w));
      }
    }
    s0 = _mm_srai_epi32(_mm_add_epi32(s0, round), shift);
    s1 = _mm_srai_epi32(_mm_add_epi32(s1, round), shift);
    const __m128i first16 = _mm_packs_epi32(s0, s1);
    if constexpr (sizeof(TIn) == 1) {
      s2 = _mm_srai_epi32(_mm_add_epi32(s2, round), shift);
      s3 = _mm_srai_epi32(_mm_add_epi32(s3, round), shift);
      const __m128i second16 = _mm_packs_epi32(s2, s3);
      if constexpr (sizeof(TOut) == 1) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi16(first16, second16));
      } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), first16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e + 8), second16);
      }
    } else if constexpr (sizeof(TOut) == 1) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi16(first16, first16));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), first16);
    }
  }
#endif
  for (; e < length; ++e) {
    int32_t sum = 0;
    for (int32_t k = 0; k < n; ++k)
      sum += weights[k] * rows[k][e];
    Store((sum + half) >> shift, out + e);
  }
}

} // namespace qv::lanczos
