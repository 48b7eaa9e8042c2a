// Built with -mavx2; called only where the processor has it.

#include <immintrin.h>

#include "BlendKernel.h"

namespace qv::blend {

namespace {

struct TAvx2 {
  static __m256i Set(int32_t v) { return _mm256_set1_epi32(v); }
  template <typename... T>
  static __m256i Mask(T... bytes) {
    return _mm256_broadcastsi128_si256(_mm_setr_epi8(static_cast<char>(bytes)...));
  }
  static __m256i Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static __m256i Add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
  static __m256i Sub(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }
  static __m256i Multiply(__m256i a, __m256i b) { return _mm256_mullo_epi32(a, b); }
  static __m256i MultiplyAdd(__m256i a, __m256i b) { return _mm256_madd_epi16(a, b); }
  static __m256i ShiftLeft(__m256i a, int n) { return _mm256_slli_epi32(a, n); }
  static __m256i ShiftRight(__m256i a, int n) { return _mm256_srli_epi32(a, n); }
  static __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
  static __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
  static __m256i Shuffle(__m256i a, __m256i mask) { return _mm256_shuffle_epi8(a, mask); }
  static __m256i Low(__m256i a, __m256i b) { return _mm256_unpacklo_epi64(a, b); }
  static __m256i High(__m256i a, __m256i b) { return _mm256_unpackhi_epi64(a, b); }
  static __m128i Eight(const uint8_t* row, int32_t offset) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offset));
  }
  // Columns first and first + 1 in the lower half, first + 4 and first + 5 in the upper one.
  static __m256i Gather(const uint8_t* row, const int32_t* lefts, int first) {
    const __m128i low = _mm_unpacklo_epi64(Eight(row, lefts[first]), Eight(row, lefts[first + 1]));
    const __m128i high = _mm_unpacklo_epi64(Eight(row, lefts[first + 4]), Eight(row, lefts[first + 5]));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  }
  static __m256i Pack(__m256i b, __m256i g, __m256i r) {
    return _mm256_packus_epi16(_mm256_packus_epi32(b, g), _mm256_packus_epi32(r, r));
  }
  // Pixels 0 to 3 from the lower half, 4 to 7 from the upper one: 24 bytes.
  static void Store(uint8_t* out, __m256i pixels) {
    const __m128i low = _mm256_castsi256_si128(pixels), high = _mm256_extracti128_si256(pixels, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si32(out + 8, _mm_srli_si128(low, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
    _mm_storeu_si32(out + 20, _mm_srli_si128(high, 8));
  }
};

} // namespace

size_t BlendAvx2(const uint8_t* upper, const uint8_t* lower, uint32_t wUpper, uint32_t wLower, const int32_t* lefts,
                 const uint32_t* fractions, size_t count, uint8_t* out) {
  return Blend<__m256i, TAvx2>(upper, lower, wUpper, wLower, lefts, fractions, count, out);
}

} // namespace qv::blend
