// Built with -msse4.1; called only where the processor has it.

#include <immintrin.h>

#include "BlendKernel.h"

namespace qv::blend {

namespace {

struct TSse41 {
  static __m128i Set(int32_t v) { return _mm_set1_epi32(v); }
  template <typename... T>
  static __m128i Mask(T... bytes) {
    return _mm_setr_epi8(static_cast<char>(bytes)...);
  }
  static __m128i Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static __m128i Add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
  static __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi32(a, b); }
  static __m128i Multiply(__m128i a, __m128i b) { return _mm_mullo_epi32(a, b); }
  static __m128i MultiplyAdd(__m128i a, __m128i b) { return _mm_madd_epi16(a, b); }
  static __m128i ShiftLeft(__m128i a, int n) { return _mm_slli_epi32(a, n); }
  static __m128i ShiftRight(__m128i a, int n) { return _mm_srli_epi32(a, n); }
  static __m128i And(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
  static __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
  static __m128i Shuffle(__m128i a, __m128i mask) { return _mm_shuffle_epi8(a, mask); }
  static __m128i Low(__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); }
  static __m128i High(__m128i a, __m128i b) { return _mm_unpackhi_epi64(a, b); }
  // The eight bytes at the pairs of columns first and first + 1.
  static __m128i Gather(const uint8_t* row, const int32_t* lefts, int first) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + lefts[first])),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + lefts[first + 1])));
  }
  // Bytes: blue of the four pixels, green, red, red again.
  static __m128i Pack(__m128i b, __m128i g, __m128i r) {
    return _mm_packus_epi16(_mm_packus_epi32(b, g), _mm_packus_epi32(r, r));
  }
  // The twelve bytes of four pixels, nothing after them.
  static void Store(uint8_t* out, __m128i pixels) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), pixels);
    _mm_storeu_si32(out + 8, _mm_srli_si128(pixels, 8));
  }
};

} // namespace

size_t BlendSse41(const uint8_t* upper, const uint8_t* lower, uint32_t wUpper, uint32_t wLower, const int32_t* lefts,
                  const uint32_t* fractions, size_t count, uint8_t* out) {
  return Blend<__m128i, TSse41>(upper, lower, wUpper, wLower, lefts, fractions, count, out);
}

} // namespace qv::blend
