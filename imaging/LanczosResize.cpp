#include "LanczosResize.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "JPEGImage.h"
#include "LanczosKernel.h"
#include "Orientation.h"
#include "job/Errors.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

double Lanczos3(double t) {
  if (t == 0)
    return 1;
  if (std::fabs(t) >= 3)
    return 0;
  // sin p = s (3 - 4 s^2) with s = sin(p / 3): one sine a tap, for the many a large
  // reduction's weights take.
  const double p = std::numbers::pi * t;
  const double s = std::sin(p / 3);
  return 3 * s * s * (3 - 4 * s * s) / (p * p);
}

TLanczosAxis::TLanczosAxis(int32_t source, int32_t destination, int32_t first, int32_t last, bool mirrored) {
  const double scale = static_cast<double>(source) / destination;
  // Reducing, the kernel is stretched to stop at the destination's Nyquist frequency.
  const double stretch = std::max(scale, 1.0);
  const double support = 3 * stretch;
  const size_t outputs = static_cast<size_t>(std::max(last - first, 0));
  starts_.resize(outputs);
  counts_.resize(outputs);
  std::vector<std::vector<int16_t>> all(outputs);
  std::vector<double> folded;
  for (size_t i = 0; i < outputs; ++i) {
    const int32_t x = first + static_cast<int32_t>(i);
    const double centre = (x + 0.5) * scale - 0.5;
    const int64_t lo = static_cast<int64_t>(std::ceil(centre - support));
    const int64_t hi = static_cast<int64_t>(std::floor(centre + support));
    // Taps beyond the picture fold onto its edge pixels, so the window stays inside it.
    const int64_t from = std::clamp<int64_t>(lo, 0, source - 1);
    const int64_t to = std::clamp<int64_t>(hi, 0, source - 1);
    folded.assign(static_cast<size_t>(to - from + 1), 0.0);
    double sum = 0;
    for (int64_t s = lo; s <= hi; ++s) {
      const double w = Lanczos3((static_cast<double>(s) - centre) / stretch);
      folded[static_cast<size_t>(std::clamp<int64_t>(s, from, to) - from)] += w;
      sum += w;
    }
    // Normalised first, then rounded; what rounding leaves over goes to the largest weight,
    // so that the weights add up to one exactly.
    std::vector<int16_t> fixed(folded.size());
    int32_t total = 0;
    size_t largest = 0;
    for (size_t k = 0; k < folded.size(); ++k) {
      const double w = sum != 0 ? folded[k] / sum : 0;
      fixed[k] = static_cast<int16_t>(std::clamp<long>(std::lround(w * (1 << kLanczosWeightBits)), -32767, 32767));
      total += fixed[k];
      if (std::abs(fixed[k]) > std::abs(fixed[largest]))
        largest = k;
    }
    fixed[largest] = static_cast<int16_t>(fixed[largest] + ((1 << kLanczosWeightBits) - total));
    // Weights that round to nothing at the window's ends are not read at all.
    size_t begin = 0, end = fixed.size();
    while (end - begin > 1 && fixed[begin] == 0)
      ++begin;
    while (end - begin > 1 && fixed[end - 1] == 0)
      --end;
    int32_t start = static_cast<int32_t>(from) + static_cast<int32_t>(begin);
    std::vector<int16_t> kept(fixed.begin() + static_cast<ptrdiff_t>(begin), fixed.begin() + static_cast<ptrdiff_t>(end));
    if (mirrored) {
      start = source - (start + static_cast<int32_t>(kept.size()));
      std::reverse(kept.begin(), kept.end());
    }
    starts_[i] = start;
    counts_[i] = static_cast<int32_t>(kept.size());
    maxCount_ = std::max(maxCount_, counts_[i]);
    lowest_ = i == 0 ? start : std::min(lowest_, start);
    highest_ = std::max(highest_, start + counts_[i] - 1);
    all[i] = std::move(kept);
  }
  // Zeros after every destination pixel's weights up to a multiple of sixteen, for the sums
  // taken that many taps at a time.
  stride_ = (static_cast<size_t>(maxCount_) + 16) / 16 * 16;
  weights_.assign(outputs * stride_, 0);
  for (size_t i = 0; i < outputs; ++i)
    std::copy(all[i].begin(), all[i].end(), weights_.begin() + static_cast<ptrdiff_t>(i * stride_));
  const size_t groups = (static_cast<size_t>(maxCount_) + 3) / 4;
  pairStride_ = groups * 8;
  pairs_.assign(outputs * pairStride_, 0);
  for (size_t i = 0; i < outputs; ++i)
    for (size_t g = 0; g < groups; ++g)
      for (size_t half = 0; half < 2; ++half) {
        const int16_t* w = weights_.data() + i * stride_ + g * 4 + half * 2;
        const int32_t pair = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(w[0])) |
                                                  static_cast<uint32_t>(static_cast<uint16_t>(w[1])) << 16);
        std::fill_n(pairs_.begin() + static_cast<ptrdiff_t>(i * pairStride_ + g * 8 + half * 4), 4, pair);
      }
}

namespace {

using lanczos::kFirstShift;
using lanczos::kSecondShift;
static_assert(lanczos::kWeightBits == kLanczosWeightBits);

inline void Store(int32_t v, int16_t* out) {
  *out = static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}
inline void Store(int32_t v, uint8_t* out) {
  *out = static_cast<uint8_t>(std::clamp<int32_t>(v, 0, 255));
}

// Destination pixel i of axis from the 16-bit three-value pixels of in, whose first is the
// source pixel base; rounded by shift. in has two pixels and a value to spare at its end.
template <typename TOut>
void AlongSse2(const int16_t* in, int32_t base, const TLanczosAxis& axis, int shift, TOut* out) {
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
void AcrossSse2(const TIn* const* rows, const int16_t* weights, int32_t n, size_t length, int shift, TOut* out) {
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


#if defined(__x86_64__)
// QV_NO_AVX2 in the environment keeps to SSE2, so that the tests can check that form too
// on a processor with AVX2.
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") && !std::getenv("QV_NO_AVX2");
  return has;
}
#endif

// Long windows are summed faster colour by colour, sixteen taps at a time, than with the
// three colours interleaved.
bool Planar(const TLanczosAxis& axis) {
#if defined(__x86_64__)
  return HasAvx2() && axis.MaxCount() >= 24;
#else
  (void)axis;
  return false;
#endif
}

// An axis is the same for every photo of one size and for every size of a batch that
// reads the same copy, and its sines are much of what a small size costs; so axes are
// made once and shared, up to kKeptAxisBytes of them.
constexpr size_t kKeptAxisBytes = size_t{64} << 20;

std::shared_ptr<const TLanczosAxis> SharedAxis(int32_t source, int32_t destination, int32_t first, int32_t last,
                                               bool mirrored = false) {
  using TKey = std::tuple<int32_t, int32_t, int32_t, int32_t, bool>;
  static std::mutex mutex;
  static std::map<TKey, std::shared_ptr<const TLanczosAxis>> kept;
  static size_t keptBytes = 0;
  const TKey key{source, destination, first, last, mirrored};
  {
    const std::lock_guard lock(mutex);
    if (const auto it = kept.find(key); it != kept.end())
      return it->second;
  }
  auto axis = std::make_shared<const TLanczosAxis>(source, destination, first, last, mirrored);
  const std::lock_guard lock(mutex);
  if (keptBytes + axis->Bytes() > kKeptAxisBytes) {
    kept.clear();
    keptBytes = 0;
  }
  if (kept.emplace(key, axis).second)
    keptBytes += axis->Bytes();
  return axis;
}

template <typename TOut>
void Along(const int16_t* in, int32_t base, const TLanczosAxis& axis, int shift, TOut* out) {
#if defined(__x86_64__)
  if (HasAvx2())
    return lanczos::AlongAvx2(in, base, axis.Taps(), shift, out);
#endif
  AlongSse2(in, base, axis, shift, out);
}

template <typename TIn, typename TOut>
void Across(const TIn* const* rows, const int16_t* weights, int32_t n, size_t length, int shift, TOut* out) {
#if defined(__x86_64__)
  if (HasAvx2())
    return lanczos::AcrossAvx2(rows, weights, n, length, shift, out);
#endif
  AcrossSse2(rows, weights, n, length, shift, out);
}

// The frame's part of a size clamped to it, as each size's part is made and read.
TFrame Clamped(const TSize& size, const TFrame& frame) {
  auto clamp = [](int64_t v, int32_t length) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::max(length, 0)));
  };
  const int32_t left = clamp(frame.left, size.width), top = clamp(frame.top, size.height);
  return {left, top, clamp(static_cast<int64_t>(frame.left) + frame.width, size.width) - left,
          clamp(static_cast<int64_t>(frame.top) + frame.height, size.height) - top};
}

// Filters a decoder's rows for every size as they come, holding a band of them rather than
// the picture: as many rows as the widest window reaches over. The sums of each output pixel
// are taken in the turned picture's order, down its columns first into the intermediate, then
// along its rows, whatever way the rows come: rows of the turned picture are summed across
// the band first and then along, its columns along first (each as it comes) and then across
// the band of those sums. Integer sums do not depend on the order of their terms, so a turned
// photo gives exactly the bytes of the same photo stored upright.
//
// With a helper, the filtering runs on a thread of its own a little behind the decode, the
// band holding kHelperSlack rows more for the decoder to run ahead into: a photo is then
// filtered in the time its decode takes anyway.
class TLanczosSink : public IRowSink {
public:
  static constexpr int32_t kHelperSlack = 48;
  static constexpr int32_t kLines = 16;

  TLanczosSink(const std::vector<TSize>& sizes, const std::function<void()>& everyRow,
               const std::vector<TFrame>* frames, int orientation, bool helper = false)
      : everyRow_(everyRow), orientation_(orientation >= 1 && orientation <= 8 ? orientation : 1),
        helper_(helper) {
    parts_.resize(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      TPart& part = parts_[i];
      part.dw = sizes[i].width;
      part.dh = sizes[i].height;
      const TFrame whole{0, 0, part.dw, part.dh};
      const TFrame& frame = frames ? (*frames)[i] : whole;
      const TFrame kept = Clamped(TSize{part.dw, part.dh}, frame);
      part.firstColumn = kept.left;
      part.lastColumn = kept.left + kept.width;
      part.firstRow = kept.top;
      part.lastRow = kept.top + kept.height;
    }
  }

  void Start(int32_t width, int32_t height) override {
    const int o = orientation_;
    columns_ = o >= 5;
    const bool mirrored = o == 2 || o == 3 || o == 7 || o == 8;
    const bool reversed = o == 3 || o == 4 || o == 6 || o == 7;
    const TSize turned = OrientedSize(width, height, o);
    int32_t band = 1;
    bool keepWhole = false;
    for (TPart& part : parts_) {
      try {
        if (part.dw < 1 || part.dh < 1 || width < 1 || height < 1) {
          // Nothing to filter: the source itself stands for the fitted picture, as in SmoothResize.
          part.whole = true;
          keepWhole = true;
          continue;
        }
        const int32_t columns = part.lastColumn - part.firstColumn, rows = part.lastRow - part.firstRow;
        if (!PictureFits(columns, rows))
          throw EOutOfMemory();
        part.result.SetSize(columns_ ? rows : columns, columns_ ? columns : rows);
        if (columns == 0 || rows == 0)
          continue;
        // along: the pixels of one decoded row; across: from one decoded row to the next.
        if (!columns_) {
          part.along = SharedAxis(turned.width, part.dw, part.firstColumn, part.lastColumn, mirrored);
          part.across = SharedAxis(turned.height, part.dh, part.firstRow, part.lastRow, reversed);
        } else {
          part.along = SharedAxis(turned.height, part.dh, part.firstRow, part.lastRow, mirrored);
          part.across = SharedAxis(turned.width, part.dw, part.firstColumn, part.lastColumn, reversed);
        }
        const TLanczosAxis& across = *part.across;
        // Lines are made as soon as the last decoded row they read has come; the band must
        // still hold the first one then.
        const int32_t lines = across.Size();
        part.order.resize(static_cast<size_t>(lines));
        for (int32_t j = 0; j < lines; ++j)
          part.order[static_cast<size_t>(j)] = reversed ? lines - 1 - j : j;
        int32_t ready = -1;
        part.readyAt.resize(static_cast<size_t>(lines));
        for (size_t k = 0; k < part.order.size(); ++k) {
          const int32_t j = part.order[k];
          ready = std::max(ready, across.Start(j) + across.Count(j) - 1);
          part.readyAt[k] = ready;
          part.band = std::max(part.band, ready - across.Start(j) + 1);
        }
        const int32_t span = part.along->Highest() - part.along->Lowest() + 1;
        // Six pixels to spare past the end, for taps read four at a time, sixteen values each.
        part.line.assign((static_cast<size_t>(span) + 6) * 3, 0);
#if defined(__x86_64__)
        // With AVX2 the lines are filtered along sixteen at a time, each value of a pixel
        // for all of them in one register, so that a pixel's sums are not gathered one by one.
        if (!columns_ && HasAvx2()) {
          const size_t length = static_cast<size_t>(span) * 3;
          part.lines.assign(length * kLines, 0);
          part.block.assign((length + 3) * kLines, 0);
          part.lineSums.assign(static_cast<size_t>(part.along->Size()) * 3 * kLines, 0);
          part.blockRows.assign(kLines, 0);
          part.outRows.assign(kLines, nullptr);
        }
#endif
        if (columns_ && Planar(*part.along)) {
          // Three planes, each with sixteen values to spare.
          part.planeStride = static_cast<size_t>(span) + 16;
          part.planes.assign(part.planeStride * 3, 0);
        }
        if (columns_) {
          part.sums.assign(static_cast<size_t>(part.band) * static_cast<size_t>(rows) * 3, 0);
        } else {
          band = std::max(band, part.band);
        }
        part.rows.resize(static_cast<size_t>(part.band));
      } catch (const std::bad_alloc&) {
        part.error = std::make_exception_ptr(EOutOfMemory());
      } catch (...) {
        part.error = std::current_exception();
      }
      if (part.error) {
        part.along.reset();
        part.across.reset();
      }
    }
    // The band holds whole decoded rows, shared by all sizes.
    const int32_t slack = helper_ ? kHelperSlack : 0;
    if (!PictureFits(width, static_cast<int64_t>(band) + slack))
      throw EOutOfMemory();
    rowBytes_ = static_cast<size_t>(width) * 3;
    bandRows_ = band + slack;
    band_.resize(rowBytes_ * static_cast<size_t>(bandRows_));
    if (keepWhole) {
      turning_.emplace(o);
      turning_->Start(width, height);
    }
    height_ = height;
    if (helper_) {
      try {
        worker_ = std::thread(&TLanczosSink::Work, this);
      } catch (const std::system_error&) {
        // Without a thread the rows are filtered as they come, as in a batch.
        bandRows_ = band;
      }
    }
    slack_ = worker_.joinable() ? slack : 0;
  }

  // The columns the filters read, and some to spare on either side: the decoder's colour
  // upsampling takes each pixel's neighbours, so the columns it has left out must lie
  // beyond those its kept edge pixels would lean on.
  bool Columns(int32_t& first, int32_t& count) const override {
    if (turning_)
      return false;
    int32_t lowest = INT32_MAX, highest = -1;
    for (const TPart& part : parts_)
      if (part.along) {
        lowest = std::min(lowest, part.along->Lowest());
        highest = std::max(highest, part.along->Highest());
      }
    if (highest < 0)
      return false;
    const int32_t width = static_cast<int32_t>(rowBytes_ / 3);
    first = std::max(0, lowest - kCropMargin);
    count = std::min(width - 1, highest + kCropMargin) - first + 1;
    return true;
  }
  static constexpr int32_t kCropMargin = 32;

  ~TLanczosSink() override { StopWorker(); }
  TLanczosSink(const TLanczosSink&) = delete;
  TLanczosSink& operator=(const TLanczosSink&) = delete;

  uint8_t* RowFor(int32_t y) override {
    if (worker_.joinable()) {
      // Row y takes the place of row y - bandRows_, which must be done with first.
      for (int32_t done; !failed_ && y - slack_ > (done = consumed_.load());)
        consumed_.wait(done);
      if (failed_)
        std::rethrow_exception(workerError_);
    }
    return Held(y);
  }

  void Filled(int32_t y) override {
    if (turning_) {
      std::memcpy(turning_->RowFor(y), Held(y), rowBytes_);
      turning_->Filled(y);
    }
    if (worker_.joinable()) {
      decoded_.store(y + 1);
      decoded_.notify_one();
    } else {
      Filter(y);
    }
    if (everyRow_)
      everyRow_();
  }

  std::vector<TResized> Results() {
    if (worker_.joinable()) {
      worker_.join();
      if (failed_)
        std::rethrow_exception(workerError_);
    }
    std::vector<TResized> results(parts_.size());
    TPixelImage whole;
    if (turning_)
      whole = turning_->Result();
    for (size_t i = 0; i < parts_.size(); ++i) {
      TPart& part = parts_[i];
      if (part.error) {
        results[i].error = part.error;
      } else if (part.whole) {
        results[i].picture = whole;
      } else {
        // A part made column by column lies on its side until now.
        results[i].picture = columns_ ? Orient(part.result, 5) : std::move(part.result);
        results[i].left = part.firstColumn;
        results[i].top = part.firstRow;
      }
    }
    return results;
  }

private:
  struct TPart {
    int32_t dw = 0, dh = 0;
    int32_t firstColumn = 0, lastColumn = 0, firstRow = 0, lastRow = 0;
    bool whole = false;
    std::exception_ptr error;
    std::shared_ptr<const TLanczosAxis> along, across;
    // The destination lines across in the order they become ready, and when each does.
    std::vector<int32_t> order;
    std::vector<int32_t> readyAt;
    size_t next = 0;
    int32_t band = 1;
    std::vector<int16_t> line;            // one line of 16-bit values, along's source
    std::vector<int16_t> sums;            // columns: the band of decoded rows filtered along
    std::vector<int16_t> planes;          // columns with long windows: one line, a plane a colour
    size_t planeStride = 0;
    std::vector<const uint8_t*> rows;     // the rows of one window, for the sums across
    std::vector<const int16_t*> sumRows;
    // Rows filtered along sixteen at a time: the lines filtered across so far, the same
    // turned value by value, its sums along, and the result's rows they go to.
    std::vector<int16_t> lines, block, lineSums;
    std::vector<int32_t> blockRows;
    std::vector<uint8_t*> outRows;
    int32_t blockLines = 0;
    TPixelImage result;
  };

  uint8_t* Held(int32_t y) { return band_.data() + static_cast<size_t>(y % bandRows_) * rowBytes_; }

  void Filter(int32_t y) {
    for (TPart& part : parts_)
      if (part.across)
        Advance(part, y);
  }

  // The helper: every row once the decoder has filled it, in order.
  void Work() {
    try {
      for (int32_t y = 0; y < height_; ++y) {
        for (int32_t filled; (filled = decoded_.load()) <= y && !stopping_;)
          decoded_.wait(filled);
        if (stopping_)
          return;
        Filter(y);
        consumed_.store(y + 1);
        consumed_.notify_one();
      }
    } catch (...) {
      workerError_ = std::current_exception();
      failed_ = true;
      consumed_.store(INT32_MAX);
      consumed_.notify_one();
    }
  }

  void StopWorker() {
    if (!worker_.joinable())
      return;
    stopping_ = true;
    decoded_.store(INT32_MAX);
    decoded_.notify_one();
    worker_.join();
  }

  int16_t* SumRow(TPart& part, int32_t y) {
    const size_t length = static_cast<size_t>(part.lastRow - part.firstRow) * 3;
    return part.sums.data() + static_cast<size_t>(y % part.band) * length;
  }

  void Advance(TPart& part, int32_t y) {
    const TLanczosAxis& along = *part.along;
    const TLanczosAxis& across = *part.across;
    if (columns_ && y >= across.Lowest() && y <= across.Highest()) {
      // This row is a column of the turned picture: filtered down it at once.
      const uint8_t* in = Held(y) + static_cast<size_t>(along.Lowest()) * 3;
      const size_t pixels = static_cast<size_t>(along.Highest() - along.Lowest() + 1);
      if (!part.planes.empty()) {
        int16_t* const planes[3] = {part.planes.data(), part.planes.data() + part.planeStride,
                                    part.planes.data() + 2 * part.planeStride};
        lanczos::PlanesAvx2(in, pixels, planes);
        lanczos::AlongPlanarAvx2(planes, along.Lowest(), along.Taps(), kFirstShift, SumRow(part, y));
      } else {
        for (size_t k = 0; k < pixels * 3; ++k)
          part.line[k] = in[k];
        Along(part.line.data(), along.Lowest(), along, kFirstShift, SumRow(part, y));
      }
    }
    for (; part.next < part.order.size() && part.readyAt[part.next] <= y; ++part.next) {
      const int32_t j = part.order[part.next];
      const int32_t start = across.Start(j), count = across.Count(j);
      uint8_t* out = part.result.ScanLine(j);
      if (columns_) {
        part.sumRows.resize(static_cast<size_t>(count));
        for (int32_t k = 0; k < count; ++k)
          part.sumRows[static_cast<size_t>(k)] = SumRow(part, start + k);
        Across(part.sumRows.data(), across.Weights(j), count,
                        static_cast<size_t>(part.lastRow - part.firstRow) * 3, kSecondShift, out);
      } else {
        const size_t offset = static_cast<size_t>(along.Lowest()) * 3;
        for (int32_t k = 0; k < count; ++k)
          part.rows[static_cast<size_t>(k)] = Held(start + k) + offset;
        const size_t length = static_cast<size_t>(along.Highest() - along.Lowest() + 1) * 3;
        if (!part.lines.empty()) {
          Across(part.rows.data(), across.Weights(j), count, length, kFirstShift,
                 part.lines.data() + static_cast<size_t>(part.blockLines) * length);
          part.blockRows[static_cast<size_t>(part.blockLines++)] = j;
          if (part.blockLines == kLines || part.next + 1 == part.order.size())
            AlongLines(part);
        } else {
          Across(part.rows.data(), across.Weights(j), count, length, kFirstShift, part.line.data());
          Along(part.line.data(), along.Lowest(), along, kSecondShift, out);
        }
      }
    }
  }

  // The lines gathered so far filtered along at once, into their rows of the result.
  void AlongLines(TPart& part) {
#if defined(__x86_64__)
    const TLanczosAxis& along = *part.along;
    const size_t length = static_cast<size_t>(along.Highest() - along.Lowest() + 1) * 3;
    lanczos::TransposeLinesAvx2(part.lines.data(), length, length, part.block.data());
    lanczos::AlongLinesAvx2(part.block.data(), along.Lowest(), along.Taps(), kSecondShift, part.lineSums.data());
    for (int32_t l = 0; l < part.blockLines; ++l)
      part.outRows[static_cast<size_t>(l)] = part.result.ScanLine(part.blockRows[static_cast<size_t>(l)]);
    lanczos::LinesOutAvx2(part.lineSums.data(), static_cast<size_t>(along.Size()) * 3, part.blockLines,
                          part.outRows.data());
#else
    (void)part;
#endif
    part.blockLines = 0;
  }

  // A copy: the sink may be made from a temporary.
  const std::function<void()> everyRow_;
  const int orientation_;
  bool columns_ = false;
  std::vector<TPart> parts_;
  std::vector<uint8_t> band_;
  size_t rowBytes_ = 0;
  int32_t bandRows_ = 1;
  // The turned picture, kept only for a size that stands for the source itself.
  std::optional<TOrientingSink> turning_;
  // The helper, and how far the decoder and it have come.
  const bool helper_;
  int32_t height_ = 0;
  int32_t slack_ = 0;
  std::thread worker_;
  std::atomic<int32_t> decoded_{0};
  std::atomic<int32_t> consumed_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::exception_ptr workerError_;
};

// Large reductions go by way of smaller copies of the photo: a quarter of it, made from the
// photo with this same filter, and halves of that, each made from the one before. A size is
// made from the smallest copy that is still at least kLeastRest times as large on both
// axes, so the last step always reduces by 2 to 4 and the copies' own filters keep all the
// detail that step passes. The copies depend on the photo alone, never on the other sizes
// asked for, so a size has the same bytes made alone or with others; and every size then
// reads from a picture at most a quarter of the photo, which is what lets a batch of many
// small sizes cost little more than one.
constexpr int kFirstLevel = 2;
constexpr int64_t kLeastRest = 2;

TSize LevelSize(const TSize& photo, int level) {
  const int64_t d = int64_t{1} << level;
  return {static_cast<int32_t>((photo.width + d - 1) / d), static_cast<int32_t>((photo.height + d - 1) / d)};
}

// 0 for a size made from the photo itself.
int LevelFor(const TSize& photo, const TSize& size) {
  if (size.width < 1 || size.height < 1)
    return 0;
  int level = 0;
  for (int k = kFirstLevel; k < 31; ++k) {
    const TSize copy = LevelSize(photo, k);
    if (copy.width < kLeastRest * size.width || copy.height < kLeastRest * size.height)
      break;
    level = k;
  }
  return level;
}

// The pixels of source that the frame of size reads.
TFrame Reach(const TSize& source, const TSize& size, const TFrame& frame) {
  const TFrame part = Clamped(size, frame);
  if (part.width == 0 || part.height == 0)
    return {};
  const auto x = SharedAxis(source.width, size.width, part.left, part.left + part.width);
  const auto y = SharedAxis(source.height, size.height, part.top, part.top + part.height);
  return {x->Lowest(), y->Lowest(), x->Highest() - x->Lowest() + 1, y->Highest() - y->Lowest() + 1};
}

TFrame Union(const TFrame& a, const TFrame& b) {
  if (a.width == 0 || a.height == 0)
    return b;
  if (b.width == 0 || b.height == 0)
    return a;
  const int32_t left = std::min(a.left, b.left), top = std::min(a.top, b.top);
  return {left, top, std::max(a.left + a.width, b.left + b.width) - left,
          std::max(a.top + a.height, b.top + b.height) - top};
}

// The photo's rows go to the sizes made from it and to the first copy, if any size needs
// one; once they are done, each copy is filtered in turn for its sizes and the next copy.
class TCascadeSink : public IRowSink {
public:
  TCascadeSink(const std::vector<TSize>& sizes, const std::function<void()>& everyRow,
               const std::vector<TFrame>* frames, int orientation, bool helper)
      : sizes_(sizes), everyRow_(everyRow), orientation_(orientation), helper_(helper) {
    for (size_t i = 0; i < sizes.size(); ++i)
      frames_.push_back(frames ? (*frames)[i] : TFrame{0, 0, sizes[i].width, sizes[i].height});
  }

  void Start(int32_t width, int32_t height) override {
    photo_ = OrientedSize(width, height, orientation_);
    levels_.assign(sizes_.size(), 0);
    deepest_ = 0;
    if (width >= 1 && height >= 1)
      for (size_t i = 0; i < sizes_.size(); ++i)
        deepest_ = std::max(deepest_, levels_[i] = LevelFor(photo_, sizes_[i]));
    // What of each copy is read, from the smallest up.
    needs_.assign(static_cast<size_t>(deepest_) + 1, TFrame{});
    for (int k = deepest_; k >= kFirstLevel; --k) {
      TFrame& need = needs_[static_cast<size_t>(k)];
      for (size_t i = 0; i < sizes_.size(); ++i)
        if (levels_[i] == k)
          need = Union(need, Reach(LevelSize(photo_, k), sizes_[i], frames_[i]));
      if (k < deepest_)
        need = Union(need, Reach(LevelSize(photo_, k), LevelSize(photo_, k + 1), needs_[static_cast<size_t>(k) + 1]));
    }
    std::vector<TSize> sizes;
    std::vector<TFrame> frames;
    Gather(0, sizes, frames);
    first_.emplace(sizes, everyRow_, &frames, orientation_, helper_);
    first_->Start(width, height);
  }

  bool Columns(int32_t& first, int32_t& count) const override { return first_->Columns(first, count); }
  uint8_t* RowFor(int32_t y) override { return first_->RowFor(y); }
  void Filled(int32_t y) override { first_->Filled(y); }

  std::vector<TResized> Results() {
    std::vector<TResized> results(sizes_.size());
    std::vector<TResized> made = first_->Results();
    first_.reset();
    for (int k = 0; k <= deepest_; k = k == 0 ? kFirstLevel : k + 1) {
      if (k > 0) {
        // made holds the copy at level k last.
        TResized copy = std::move(made.back());
        if (copy.error) {
          for (size_t i = 0; i < sizes_.size(); ++i)
            if (levels_[i] >= k)
              results[i].error = copy.error;
          break;
        }
        std::vector<TSize> sizes;
        std::vector<TFrame> frames;
        Gather(k, sizes, frames);
        TLanczosSink sink(sizes, {}, &frames, 1);
        const TSize whole = LevelSize(photo_, k);
        sink.Start(whole.width, whole.height);
        const size_t bytes = static_cast<size_t>(copy.picture.Width()) * 3;
        for (int32_t y = 0; y < whole.height; ++y) {
          uint8_t* row = sink.RowFor(y);
          // Only the part any filter reads was made; the rest of the row is never read.
          if (const int32_t in = y - copy.top; in >= 0 && in < copy.picture.Height() && bytes > 0)
            std::memcpy(row + static_cast<size_t>(copy.left) * 3, copy.picture.ScanLine(in), bytes);
          sink.Filled(y);
        }
        made = sink.Results();
      }
      size_t at = 0;
      for (size_t i = 0; i < sizes_.size(); ++i)
        if (levels_[i] == k)
          results[i] = std::move(made[at++]);
    }
    return results;
  }

private:
  // The sizes made from level k, then the next copy if it is wanted.
  void Gather(int k, std::vector<TSize>& sizes, std::vector<TFrame>& frames) const {
    for (size_t i = 0; i < sizes_.size(); ++i)
      if (levels_[i] == k) {
        sizes.push_back(sizes_[i]);
        frames.push_back(frames_[i]);
      }
    const int next = k == 0 ? kFirstLevel : k + 1;
    if (next <= deepest_) {
      sizes.push_back(LevelSize(photo_, next));
      frames.push_back(needs_[static_cast<size_t>(next)]);
    }
  }

  const std::vector<TSize> sizes_;
  std::vector<TFrame> frames_;
  const std::function<void()> everyRow_;
  const int orientation_;
  const bool helper_;
  TSize photo_;
  std::vector<int> levels_;
  int deepest_ = 0;
  std::vector<TFrame> needs_;
  std::optional<TLanczosSink> first_;
};

} // namespace

std::vector<TResized> DecodeLanczos(const TJPEGData& data, const std::vector<TSize>& sizes,
                                    const std::function<void()>& everyRow, const std::vector<TFrame>* frames,
                                    int orientation, bool helper) {
  try {
    TCascadeSink sink(sizes, everyRow, frames, orientation, helper);
    DecodeRows(data, sink);
    return sink.Results();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

void LanczosResize(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination) {
  if (dw == 0 || dh == 0 || (dw == source.Width() && dh == source.Height())) {
    destination = source;
    return;
  }
  if (source.Width() < 1 || source.Height() < 1 || dw < 0 || dh < 0)
    throw EInvalidGraphicOperation();
  try {
    TCascadeSink sink({TSize{dw, dh}}, {}, nullptr, 1, false);
    sink.Start(source.Width(), source.Height());
    const size_t rowBytes = static_cast<size_t>(source.Width()) * 3;
    for (int32_t y = 0; y < source.Height(); ++y) {
      std::memcpy(sink.RowFor(y), source.ScanLine(y), rowBytes);
      sink.Filled(y);
    }
    std::vector<TResized> results = sink.Results();
    if (results[0].error)
      std::rethrow_exception(results[0].error);
    destination = std::move(results[0].picture);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

std::vector<TResized> DecodeFiltered(const TJPEGData& data, const std::vector<TSize>& sizes,
                                     const std::function<void()>& everyRow, const std::vector<TFrame>* frames,
                                     int orientation, TResizeFilter filter, bool helper) {
  if (filter == TResizeFilter::lanczos3)
    return DecodeLanczos(data, sizes, everyRow, frames, orientation, helper);
  return DecodeResized(data, sizes, everyRow, frames, orientation);
}

TPixelImage DecodeFiltered(const TJPEGData& data, int32_t dw, int32_t dh, int orientation, TResizeFilter filter) {
  if (filter != TResizeFilter::lanczos3)
    return DecodeResized(data, dw, dh, orientation);
  std::vector<TResized> resized = DecodeLanczos(data, {TSize{dw, dh}}, {}, nullptr, orientation, true);
  if (resized[0].error)
    std::rethrow_exception(resized[0].error);
  return std::move(resized[0].picture);
}

void ResizeFiltered(int32_t dw, int32_t dh, const TPixelImage& source, TPixelImage& destination,
                    TResizeFilter filter) {
  if (filter == TResizeFilter::lanczos3)
    LanczosResize(dw, dh, source, destination);
  else
    SmoothResize(dw, dh, source, destination);
}

} // namespace qv
