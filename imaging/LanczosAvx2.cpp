// Built with -mavx2; called only where the processor has it.

#include <immintrin.h>

#include <cstring>

#include "LanczosKernel.h"

namespace qv::lanczos {

namespace {

inline int32_t Saturate16(int32_t v) {
  return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}
inline void Put(int32_t v, int16_t* out) {
  *out = static_cast<int16_t>(Saturate16(v));
}
inline void Put(int32_t v, uint8_t* out) {
  *out = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The three sums in the low values of v, saturated to the output's type in the registers.
// All but the last pixel of a line are stored four values wide, the fourth overwritten by
// the next pixel's first.
inline void PutThree(__m128i v, int16_t* out, bool last) {
  const __m128i values = _mm_packs_epi32(v, v);
  if (!last) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), values);
    return;
  }
  const uint64_t all = static_cast<uint64_t>(_mm_cvtsi128_si64(values));
  for (int c = 0; c < 3; ++c)
    out[c] = static_cast<int16_t>(all >> (16 * c));
}
inline void PutThree(__m128i v, uint8_t* out, bool last) {
  const __m128i values = _mm_packs_epi32(v, v);
  const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(values, values)));
  if (!last) {
    std::memcpy(out, &bytes, sizeof bytes);
    return;
  }
  for (int c = 0; c < 3; ++c)
    out[c] = static_cast<uint8_t>(bytes >> (8 * c));
}

// Four taps a step: the 16 values from the first tap's pixel on are spread so that each
// 128-bit half holds two pixels, interleaved value by value, and each pair of values is
// multiplied by its two weights; the halves are added at the end.
template <typename TOut>
void Along(const int16_t* in, int32_t base, const TTaps& taps, int shift, TOut* out) {
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const __m256i interleave = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1));
  const __m128i half = _mm_set1_epi32(1 << (shift - 1));
  for (int32_t i = 0; i < taps.size; ++i, out += 3) {
    const int16_t* p = in + static_cast<ptrdiff_t>(taps.starts[i] - base) * 3;
    const int32_t* w = taps.pairs + static_cast<size_t>(i) * taps.pairStride;
    const int32_t n = taps.counts[i];
    __m256i sum = _mm256_setzero_si256();
    for (int32_t k = 0; k < n; k += 4, p += 12, w += 8) {
      const __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i four = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(values, spread), interleave);
      const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
      sum = _mm256_add_epi32(sum, _mm256_madd_epi16(four, weights));
    }
    __m128i total = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    total = _mm_srai_epi32(_mm_add_epi32(total, half), shift);
    PutThree(total, out, i + 1 == taps.size);
  }
}

template <typename TIn, typename TOut>
void Rest(const TIn* const* rows, const int16_t* weights, int32_t n, size_t from, size_t length, int shift,
          TOut* out) {
  const int32_t half = 1 << (shift - 1);
  for (size_t e = from; e < length; ++e) {
    int32_t sum = 0;
    for (int32_t k = 0; k < n; ++k)
      sum += weights[k] * rows[k][e];
    Put((sum + half) >> shift, out + e);
  }
}

} // namespace

void AlongAvx2(const int16_t* in, int32_t base, const TTaps& taps, int shift, int16_t* out) {
  Along(in, base, taps, shift, out);
}

void AlongAvx2(const int16_t* in, int32_t base, const TTaps& taps, int shift, uint8_t* out) {
  Along(in, base, taps, shift, out);
}

void PlanesAvx2(const uint8_t* in, size_t pixels, int16_t* const planes[3]) {
  // Where each colour of sixteen pixels lies in each of their three 16-byte thirds.
  const __m128i masks[3][3] = {
      {_mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)},
      {_mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)},
      {_mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1),
       _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)},
  };
  size_t x = 0;
  for (; x + 16 <= pixels; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 3));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 3 + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 3 + 32));
    for (int k = 0; k < 3; ++k) {
      const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, masks[k][0]), _mm_shuffle_epi8(b, masks[k][1])),
                                         _mm_shuffle_epi8(c, masks[k][2]));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(planes[k] + x), _mm256_cvtepu8_epi16(bytes));
    }
  }
  for (; x < pixels; ++x)
    for (int k = 0; k < 3; ++k)
      planes[k][x] = in[x * 3 + static_cast<size_t>(k)];
}

void AlongPlanarAvx2(const int16_t* const planes[3], int32_t base, const TTaps& taps, int shift, int16_t* out) {
  const int32_t half = 1 << (shift - 1);
  for (int32_t i = 0; i < taps.size; ++i, out += 3) {
    const ptrdiff_t start = taps.starts[i] - base;
    const int16_t* w = taps.weights + static_cast<size_t>(i) * taps.stride;
    const int32_t n = taps.counts[i];
    __m256i sums[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int32_t k = 0; k < n; k += 16) {
      const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + k));
      for (int c = 0; c < 3; ++c)
        sums[c] = _mm256_add_epi32(
            sums[c], _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(planes[c] + start + k)),
                                       weights));
    }
    for (int c = 0; c < 3; ++c) {
      __m128i total = _mm_add_epi32(_mm256_castsi256_si128(sums[c]), _mm256_extracti128_si256(sums[c], 1));
      total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0x4E));
      total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0xB1));
      Put((_mm_cvtsi128_si32(total) + half) >> shift, out + c);
    }
  }
}

// Two rows a step, their 32 bytes interleaved within each half and widened; the halves'
// order is put right when the sums are stored.
void AcrossAvx2(const uint8_t* const* rows, const int16_t* weights, int32_t n, size_t length, int shift,
                int16_t* out) {
  const __m256i round = _mm256_set1_epi32(1 << (shift - 1));
  const __m256i zero = _mm256_setzero_si256();
  size_t e = 0;
  for (; e + 32 <= length; e += 32) {
    __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
    for (int32_t k = 0; k < n; k += 2) {
      const uint8_t* first = rows[k] + e;
      const uint8_t* second = k + 1 < n ? rows[k + 1] + e : first;
      int32_t pair;
      std::memcpy(&pair, weights + k, sizeof pair);
      const __m256i w = _mm256_set1_epi32(pair);
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second));
      const __m256i low = _mm256_unpacklo_epi8(a, b), high = _mm256_unpackhi_epi8(a, b);
      s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi8(low, zero), w));
      s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi8(low, zero), w));
      s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi8(high, zero), w));
      s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi8(high, zero), w));
    }
    s0 = _mm256_srai_epi32(_mm256_add_epi32(s0, round), shift);
    s1 = _mm256_srai_epi32(_mm256_add_epi32(s1, round), shift);
    s2 = _mm256_srai_epi32(_mm256_add_epi32(s2, round), shift);
    s3 = _mm256_srai_epi32(_mm256_add_epi32(s3, round), shift);
    // Values 0-7 and 16-23, then 8-15 and 24-31.
    const __m256i p01 = _mm256_packs_epi32(s0, s1), p23 = _mm256_packs_epi32(s2, s3);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e), _mm256_permute2x128_si256(p01, p23, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e + 16), _mm256_permute2x128_si256(p01, p23, 0x31));
  }
  Rest(rows, weights, n, e, length, shift, out);
}

void AcrossAvx2(const int16_t* const* rows, const int16_t* weights, int32_t n, size_t length, int shift,
                uint8_t* out) {
  const __m256i round = _mm256_set1_epi32(1 << (shift - 1));
  size_t e = 0;
  for (; e + 16 <= length; e += 16) {
    __m256i s0 = _mm256_setzero_si256(), s1 = s0;
    for (int32_t k = 0; k < n; k += 2) {
      const int16_t* first = rows[k] + e;
      const int16_t* second = k + 1 < n ? rows[k + 1] + e : first;
      int32_t pair;
      std::memcpy(&pair, weights + k, sizeof pair);
      const __m256i w = _mm256_set1_epi32(pair);
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second));
      s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w));
      s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w));
    }
    s0 = _mm256_srai_epi32(_mm256_add_epi32(s0, round), shift);
    s1 = _mm256_srai_epi32(_mm256_add_epi32(s1, round), shift);
    // Values 0-7 in the low half, 8-15 in the high one, each half's bytes twice.
    const __m256i values = _mm256_packs_epi32(s0, s1);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(values, values), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm256_castsi256_si128(bytes));
  }
  Rest(rows, weights, n, e, length, shift, out);
}

namespace {

// Sixteen rows of sixteen 16-bit values to the sixteen columns, in four rounds of unpacks:
// pairs of rows, then fours, eights, and the two halves of the registers.
void Transpose16(const __m256i in[16], __m256i out[16]) {
  __m256i a[16], b[16], c[16];
  // a[2i + h]: rows 2i and 2i + 1, columns 4h .. 4h + 3 (and 8 more in the high half).
  for (int i = 0; i < 8; ++i) {
    a[2 * i] = _mm256_unpacklo_epi16(in[2 * i], in[2 * i + 1]);
    a[2 * i + 1] = _mm256_unpackhi_epi16(in[2 * i], in[2 * i + 1]);
  }
  // b[4q + 2h + m]: rows 4q .. 4q + 3, columns 4h + 2m and 4h + 2m + 1.
  for (int q = 0; q < 4; ++q)
    for (int h = 0; h < 2; ++h) {
      b[4 * q + 2 * h] = _mm256_unpacklo_epi32(a[4 * q + h], a[4 * q + 2 + h]);
      b[4 * q + 2 * h + 1] = _mm256_unpackhi_epi32(a[4 * q + h], a[4 * q + 2 + h]);
    }
  // c[8o + column]: rows 8o .. 8o + 7 of a column below 8 (and of column + 8 in the high half).
  for (int o = 0; o < 2; ++o)
    for (int hm = 0; hm < 4; ++hm) {
      c[8 * o + 2 * hm] = _mm256_unpacklo_epi64(b[8 * o + hm], b[8 * o + 4 + hm]);
      c[8 * o + 2 * hm + 1] = _mm256_unpackhi_epi64(b[8 * o + hm], b[8 * o + 4 + hm]);
    }
  for (int column = 0; column < 8; ++column) {
    out[column] = _mm256_permute2x128_si256(c[column], c[8 + column], 0x20);
    out[column + 8] = _mm256_permute2x128_si256(c[column], c[8 + column], 0x31);
  }
}

} // namespace

void TransposeLinesAvx2(const int16_t* lines, size_t stride, size_t length, int16_t* t) {
  size_t s = 0;
  __m256i in[16], out[16];
  for (; s + 16 <= length; s += 16) {
    for (size_t l = 0; l < 16; ++l)
      in[l] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lines + l * stride + s));
    Transpose16(in, out);
    for (size_t k = 0; k < 16; ++k)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + (s + k) * 16), out[k]);
  }
  for (; s < length; ++s)
    for (size_t l = 0; l < 16; ++l)
      t[s * 16 + l] = lines[l * stride + s];
}

// Each colour of each pixel for all sixteen lines at once: two taps a step, their values
// interleaved line by line, times the two weights.
void AlongLinesAvx2(const int16_t* t, int32_t base, const TTaps& taps, int shift, int16_t* out) {
  const __m256i round = _mm256_set1_epi32(1 << (shift - 1));
  for (int32_t i = 0; i < taps.size; ++i) {
    const int16_t* w = taps.weights + static_cast<size_t>(i) * taps.stride;
    const int32_t n = taps.counts[i];
    const int16_t* first = t + static_cast<size_t>(taps.starts[i] - base) * 3 * 16;
    for (int c = 0; c < 3; ++c, out += 16) {
      __m256i low = _mm256_setzero_si256(), high = low;
      const int16_t* p = first + c * 16;
      for (int32_t k = 0; k < n; k += 2, p += 2 * 3 * 16) {
        int32_t pair;
        std::memcpy(&pair, w + k, sizeof pair);
        const __m256i weights = _mm256_set1_epi32(pair);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 3 * 16));
        low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights));
        high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights));
      }
      // Lines 0-3 and 8-11 in low, 4-7 and 12-15 in high: packed, they are in order.
      low = _mm256_srai_epi32(_mm256_add_epi32(low, round), shift);
      high = _mm256_srai_epi32(_mm256_add_epi32(high, round), shift);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_packs_epi32(low, high));
    }
  }
}

void LinesOutAvx2(const int16_t* block, size_t length, int32_t count, uint8_t* const* rows) {
  size_t s = 0;
  __m256i in[16], out[16];
  for (; s + 16 <= length; s += 16) {
    for (size_t k = 0; k < 16; ++k)
      in[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + (s + k) * 16));
    Transpose16(in, out);
    for (int32_t l = 0; l < count; ++l) {
      const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(out[l], out[l]), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l] + s), _mm256_castsi256_si128(bytes));
    }
  }
  for (; s < length; ++s)
    for (int32_t l = 0; l < count; ++l)
      Put(block[s * 16 + static_cast<size_t>(l)], rows[l] + s);
}

} // namespace qv::lanczos
