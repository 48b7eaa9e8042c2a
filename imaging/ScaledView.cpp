#include "ScaledView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace qv {

TViewScale ViewScale(TSize fitted, TSize room) {
  const int64_t roomWidth = std::max(1, room.width);
  const int64_t roomHeight = std::max(1, room.height);
  TViewScale scale;
  // The smaller of the two ratios, compared without dividing.
  if (fitted.width > roomWidth)
    scale = {roomWidth, fitted.width};
  if (fitted.height > roomHeight && roomHeight * scale.den < scale.num * fitted.height)
    scale = {roomHeight, fitted.height};
  return scale;
}

int64_t DivideHalfEven(int64_t n, int64_t d) {
  int64_t quotient = n / d;
  int64_t remainder = n % d;
  // Towards minus infinity, so that the remainder is 0 .. d - 1.
  if (remainder < 0) {
    remainder += d;
    --quotient;
  }
  if (2 * remainder > d || (2 * remainder == d && quotient % 2 != 0))
    ++quotient;
  return quotient;
}

int32_t ViewLength(int32_t length, TViewScale scale) {
  if (!scale.Scaled())
    return length;
  const int64_t view = DivideHalfEven(static_cast<int64_t>(length) * scale.num, scale.den);
  return static_cast<int32_t>(length > 0 ? std::max<int64_t>(view, 1) : view);
}

TSize ViewSize(TSize size, TViewScale scale) {
  return {ViewLength(size.width, scale), ViewLength(size.height, scale)};
}

int32_t ScalePercent(TViewScale scale) {
  return static_cast<int32_t>(std::clamp<int64_t>(scale.num * 100 / scale.den, 1, 100));
}

int32_t FullOffset(int32_t v, int32_t fitted, int32_t target, int32_t view, int32_t viewTarget) {
  if (view <= viewTarget)
    return v;
  const int64_t offset =
      DivideHalfEven(static_cast<int64_t>(v) * (static_cast<int64_t>(fitted) - target), static_cast<int64_t>(view) - viewTarget);
  return static_cast<int32_t>(std::clamp<int64_t>(offset, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

TSize DeviceSize(TSize view, double devicePixelRatio) {
  if (!(devicePixelRatio > 1))
    return view;
  const auto scaled = [&](int32_t length) {
    return std::max(1, RoundHalfEven(static_cast<long double>(length) * devicePixelRatio));
  };
  return {scaled(view.width), scaled(view.height)};
}

namespace {

constexpr uint32_t kOne = 1u << 16;

// For each of dn pixels along one axis, the run of the sn source pixels it covers and each
// one's share of it in 1/65536, the shares adding up to exactly 65536.
struct TTaps {
  std::vector<int32_t> first;
  std::vector<int32_t> count;
  std::vector<size_t> at; // where the pixel's shares start in shares
  std::vector<uint32_t> shares;
  int32_t most = 0;       // the longest run
};

TTaps Taps(int32_t sn, int32_t dn) {
  TTaps taps;
  taps.first.resize(static_cast<size_t>(dn));
  taps.count.resize(static_cast<size_t>(dn));
  taps.at.resize(static_cast<size_t>(dn));
  // Pixel i covers [i * sn, (i + 1) * sn) and source pixel j covers [j * dn, (j + 1) * dn).
  for (int32_t i = 0; i < dn; ++i) {
    const int64_t low = static_cast<int64_t>(i) * sn;
    const int64_t high = low + sn;
    const int64_t j0 = low / dn;
    const int64_t j1 = (high - 1) / dn;
    const size_t at = taps.shares.size();
    uint32_t sum = 0;
    size_t largest = at;
    for (int64_t j = j0; j <= j1; ++j) {
      const int64_t overlap = std::min(high, (j + 1) * dn) - std::max(low, j * dn);
      const auto share = static_cast<uint32_t>((overlap * kOne + sn / 2) / sn);
      taps.shares.push_back(share);
      sum += share;
      if (share > taps.shares[largest])
        largest = taps.shares.size() - 1;
    }
    // Rounding may leave the sum a little off; the largest share takes the difference, so a
    // plain colour stays exactly that colour.
    taps.shares[largest] += kOne - sum;
    taps.first[static_cast<size_t>(i)] = static_cast<int32_t>(j0);
    taps.count[static_cast<size_t>(i)] = static_cast<int32_t>(j1 - j0 + 1);
    taps.at[static_cast<size_t>(i)] = at;
    taps.most = std::max(taps.most, static_cast<int32_t>(j1 - j0 + 1));
  }
  return taps;
}

} // namespace

TPixelImage AreaResize(const TPixelImage& source, int32_t width, int32_t height) {
  TPixelImage view(width, height);
  if (width <= 0 || height <= 0 || source.Width() <= 0 || source.Height() <= 0)
    return view;
  const TTaps across = Taps(source.Width(), width);
  const TTaps down = Taps(source.Height(), height);
  const size_t rowValues = static_cast<size_t>(width) * 3;

  // Source rows reduced to the view's width, in 8.8 fixed point; the rows one view row
  // needs are at most down.most in a row, and consecutive view rows share at most one.
  const size_t slots = static_cast<size_t>(down.most) + 1;
  std::vector<std::vector<uint32_t>> reduced(slots, std::vector<uint32_t>(rowValues));
  std::vector<int32_t> held(slots, -1);
  const auto reducedRow = [&](int32_t j) -> const std::vector<uint32_t>& {
    const size_t slot = static_cast<size_t>(j) % slots;
    if (held[slot] != j) {
      const uint8_t* in = source.ScanLine(j);
      uint32_t* out = reduced[slot].data();
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = in + static_cast<ptrdiff_t>(across.first[static_cast<size_t>(x)]) * 3;
        const uint32_t* share = &across.shares[across.at[static_cast<size_t>(x)]];
        uint32_t b = 0, g = 0, r = 0;
        for (int32_t k = 0; k < across.count[static_cast<size_t>(x)]; ++k, pixel += 3) {
          b += share[k] * pixel[0];
          g += share[k] * pixel[1];
          r += share[k] * pixel[2];
        }
        out[0] = (b + 128) >> 8;
        out[1] = (g + 128) >> 8;
        out[2] = (r + 128) >> 8;
        out += 3;
      }
      held[slot] = j;
    }
    return reduced[slot];
  };

  std::vector<uint32_t> sum(rowValues);
  for (int32_t y = 0; y < height; ++y) {
    std::fill(sum.begin(), sum.end(), 0u);
    const int32_t first = down.first[static_cast<size_t>(y)];
    const uint32_t* share = &down.shares[down.at[static_cast<size_t>(y)]];
    for (int32_t k = 0; k < down.count[static_cast<size_t>(y)]; ++k) {
      const std::vector<uint32_t>& row = reducedRow(first + k);
      for (size_t i = 0; i < rowValues; ++i)
        sum[i] += share[k] * row[i];
    }
    uint8_t* out = view.ScanLine(y);
    // At most 255 * 256 * 65536 plus the half: within 32 bits.
    for (size_t i = 0; i < rowValues; ++i)
      out[i] = static_cast<uint8_t>((sum[i] + (1u << 23)) >> 24);
  }
  return view;
}

} // namespace qv
