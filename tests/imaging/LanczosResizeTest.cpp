#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "imaging/LanczosResize.h"
#include "imaging/Orientation.h"
#include "job/Errors.h"
#include "support/JpegTools.h"
#include "support/Photos.h"
#include "support/TempDir.h"

using qv::TBGR;
using qv::TPixelImage;
using qvtest::MakeImage;

namespace {

TPixelImage Resized(const TPixelImage& source, int32_t dw, int32_t dh);

void EverySizesPartOf(const qvtest::Bytes& jpeg) {
  qv::TJPEGData data;
  data.bytes = jpeg;
  const std::vector<qv::TSize> sizes = {{176, 260}, {311, 220}, {90, 61}, {20, 13}, {500, 741}, {2, 3}, {0, 5}};
  const std::vector<qv::TFrame> frames = {{0, 20, 176, 220}, {45, 0, 176, 220}, {-10, -5, 40, 30},
                                          {0, 0, 20, 13},    {150, 250, 100, 100}, {0, 0, 2, 3}, {0, 0, 1, 1}};
  qvtest::TTempDir dir;
  qvtest::WriteBytes(dir / "photo.jpg", jpeg);
  const TPixelImage decoded = qvtest::Djpeg(dir / "photo.jpg");
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const TPixelImage turned = qv::Orient(decoded, orientation);
    // All sizes from one decode, then each alone (the decoder then leaves out the columns
    // beside its frame).
    const std::vector<qv::TResized> together = qv::DecodeLanczos(data, sizes, {}, &frames, orientation);
    ASSERT_EQ(together.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      SCOPED_TRACE("turned " + std::to_string(orientation) + " to " + std::to_string(sizes[i].width) + "x" +
                   std::to_string(sizes[i].height));
      const std::vector<qv::TFrame> frame = {frames[i]};
      const std::vector<qv::TResized> alone = qv::DecodeLanczos(data, {sizes[i]}, {}, &frame, orientation, i % 2 == 0);
      const TPixelImage whole = Resized(turned, sizes[i].width, sizes[i].height);
      for (const qv::TResized& part : {together[i], alone[0]}) {
        ASSERT_FALSE(part.error);
        const TPixelImage expected = MakeImage(part.picture.Width(), part.picture.Height(),
                                               [&](int x, int y) { return whole.Pixel(part.left + x, part.top + y); });
        EXPECT_EQ(qvtest::Difference(expected, part.picture), "");
        const qv::TFrame& f = frames[i];
        const int32_t left = std::max(0, f.left), top = std::max(0, f.top);
        const int32_t right = std::min(f.left + f.width, sizes[i].width);
        const int32_t bottom = std::min(f.top + f.height, sizes[i].height);
        if (right > left && bottom > top) {
          EXPECT_LE(part.left, left);
          EXPECT_LE(part.top, top);
          EXPECT_GE(part.left + part.picture.Width(), right);
          EXPECT_GE(part.top + part.picture.Height(), bottom);
        }
      }
    }
    // One size, the whole of it, as the crop window asks.
    EXPECT_EQ(qvtest::Difference(Resized(turned, 97, 131),
                                 qv::DecodeFiltered(data, 97, 131, orientation, qv::TResizeFilter::lanczos3)),
              "");
  }
}

std::string Text(int32_t s, int32_t d, int32_t x) {
  return std::to_string(s) + " to " + std::to_string(d) + ", pixel " + std::to_string(x);
}

TPixelImage Resized(const TPixelImage& source, int32_t dw, int32_t dh) {
  TPixelImage out;
  qv::LanczosResize(dw, dh, source, out);
  return out;
}

// A smooth picture with some fine detail, no value near either end of the range.
TBGR Smooth(int x, int y) {
  return TBGR{static_cast<uint8_t>(128 + 60 * std::sin(x * 0.7 + y * 0.3)),
              static_cast<uint8_t>(100 + 50 * std::cos(x * 0.2 - y * 0.9)), static_cast<uint8_t>(40 + (x * 3 + y) % 150)};
}

} // namespace

// Weights worked out by hand from sinc(t) sinc(t / 3) at the centred positions, each set
// divided by its sum, times 16384 and rounded; what rounding leaves over is the largest's.
TEST(LanczosWeights, HandWorkedTaps) {
  struct TCase {
    int32_t source, destination, x;
    int32_t start;
    std::vector<int16_t> weights;
  };
  const TCase cases[] = {
      // Reduced by 3: centre 3.5 * 3 - 0.5 = 10, taps at t = k / 3 for |k| < 9; the zeros
      // at t = 1 and 2 stay inside the window, those at its ends are dropped.
      {24, 8, 3, 2, {69, 170, 0, -511, -799, 0, 2085, 4438, 5480, 4438, 2085, 0, -799, -511, 0, 170, 69}},
      // Reduced by 1.5: centre 6.25, 4.5 source pixels either way.
      {12, 8, 4, 2, {36, 272, -1480, 1837, 10407, 6660, -1149, -465, 266}},
      // Enlarged by 2: plain Lanczos-3 at centre 7.5 * 0.5 - 0.5 = 3.25.
      {8, 16, 7, 1, {493, -2184, 14628, 4440, -1114, 121}},
      // The same length: the source pixel itself.
      {5, 5, 2, 2, {16384}},
      // Reduced by 3 at the left edge: the taps left of pixel 0 fold onto it.
      {6, 2, 0, 0, {5453, 5478, 4438, 2085, 0, -1070}},
      // Reduced by 7/3 with the window clamped at both ends.
      {7, 3, 1, 0, {-1247, 988, 4930, 7042, 4930, 988, -1247}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Text(c.source, c.destination, c.x));
    const qv::TLanczosAxis axis(c.source, c.destination, c.x, c.x + 1);
    ASSERT_EQ(axis.Size(), 1);
    EXPECT_EQ(axis.Start(0), c.start);
    EXPECT_EQ(std::vector<int16_t>(axis.Weights(0), axis.Weights(0) + axis.Count(0)), c.weights);
    // Counted from the far end, the window lies mirrored and the weights run backwards.
    const qv::TLanczosAxis mirrored(c.source, c.destination, c.x, c.x + 1, true);
    EXPECT_EQ(mirrored.Start(0), c.source - c.start - static_cast<int32_t>(c.weights.size()));
    EXPECT_EQ(std::vector<int16_t>(mirrored.Weights(0), mirrored.Weights(0) + mirrored.Count(0)),
              std::vector<int16_t>(c.weights.rbegin(), c.weights.rend()));
  }
}

// Every destination pixel of many lengths: weights adding up to exactly one, a window no
// wider than 6 r (6 when enlarging) inside the source, and, where a centre falls on a
// source pixel (odd whole factors), weights symmetric about it.
TEST(LanczosWeights, SumSupportAndSymmetry) {
  const std::pair<int32_t, int32_t> lengths[] = {{6000, 176}, {4000, 220}, {3600, 2400}, {100, 3},  {99, 33},
                                                 {35, 7},     {17, 16},    {16, 17},     {10, 37},  {1, 9},
                                                 {2, 1},      {1, 1},      {513, 512},   {700, 41}, {41, 700}};
  for (auto [s, d] : lengths) {
    const qv::TLanczosAxis axis(s, d, 0, d);
    const double r = std::max(1.0, static_cast<double>(s) / d);
    const bool oddFactor = s % d == 0 && (s / d) % 2 == 1;
    for (int32_t x = 0; x < d; ++x) {
      SCOPED_TRACE(Text(s, d, x));
      const int16_t* w = axis.Weights(x);
      int32_t sum = 0;
      for (int32_t k = 0; k < axis.Count(x); ++k)
        sum += w[k];
      ASSERT_EQ(sum, 1 << qv::kLanczosWeightBits);
      ASSERT_GE(axis.Start(x), 0);
      ASSERT_LE(axis.Start(x) + axis.Count(x), s);
      ASSERT_LE(axis.Count(x), static_cast<int32_t>(std::ceil(6 * r)));
      if (oddFactor && axis.Start(x) > 0 && axis.Start(x) + axis.Count(x) < s) {
        const int32_t centre = x * (s / d) + (s / d) / 2;
        ASSERT_EQ(centre - axis.Start(x), axis.Start(x) + axis.Count(x) - 1 - centre);
        for (int32_t k = 0; k < axis.Count(x); ++k)
          ASSERT_EQ(w[k], w[axis.Count(x) - 1 - k]);
      }
    }
  }
}

// A flat colour stays that colour at every factor, reducing, enlarging and mixed.
TEST(LanczosResize, FlatColourStaysFlat) {
  const TBGR colours[] = {{0, 0, 0}, {255, 255, 255}, {17, 200, 93}};
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1},  {3, 2},   {18, 11},  {36, 22}, {37, 22},
                                               {74, 46}, {111, 9}, {400, 230}, {2, 230}};
  for (const TBGR& colour : colours) {
    const TPixelImage flat = MakeImage(37, 23, [&](int, int) { return colour; });
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
      EXPECT_EQ(Resized(flat, w, h), MakeImage(w, h, [&](int, int) { return colour; }));
    }
  }
}

// A one-pixel line keeps its mass when narrowed: the weights that a source pixel is given
// in all destination pixels add up to destination / source (the kernel's area; Lanczos-3
// comes within a percent of it wherever the pixel falls between centres), and on a picture
// the output's excess over the grey, counted in source pixels, is the line's.
TEST(LanczosResize, OnePixelLineKeepsItsMass) {
  for (int32_t d : {150, 100, 50, 37, 20, 9}) {
    const int32_t s = 200;
    const qv::TLanczosAxis axis(s, d, 0, d);
    std::vector<double> mass(s, 0.0);
    for (int32_t x = 0; x < d; ++x)
      for (int32_t k = 0; k < axis.Count(x); ++k)
        mass[static_cast<size_t>(axis.Start(x) + k)] += axis.Weights(x)[k];
    // Away from the edges, whose pixels also take the taps beyond them.
    for (int32_t at = 60; at < 140; ++at) {
      SCOPED_TRACE(std::to_string(d) + " wide, line at " + std::to_string(at));
      EXPECT_NEAR(mass[static_cast<size_t>(at)] * s / d / (1 << qv::kLanczosWeightBits), 1, 0.01);
    }
  }
  for (int32_t at = 90; at < 94; ++at) {
    SCOPED_TRACE(at);
    const TPixelImage line = MakeImage(200, 4, [&](int x, int) {
      const uint8_t v = x == at ? 255 : 128;
      return TBGR{v, v, v};
    });
    const TPixelImage out = Resized(line, 100, 4);
    double excess = 0;
    for (int32_t x = 0; x < 100; ++x)
      excess += out.Pixel(x, 2).g - 128;
    // Each of the six or so pixels it touches is rounded by at most a half.
    EXPECT_NEAR(excess * 2, 127, 6 + 1.3);
  }
}

// A step between source pixels 29 and 30 lies, with centres aligned, exactly between
// destination pixels 9 and 10 when reduced by 3, and on pixel 12 when enlarged 2.5 times
// from ten pixels: the results mirror each other about it.
TEST(LanczosResize, StepEdgeSitsWhereTheCentresSayAndOvershootIsClamped) {
  auto step = [](int32_t width, int32_t edge, uint8_t low, uint8_t high) {
    return MakeImage(width, 3, [=](int x, int) {
      const uint8_t v = x < edge ? low : high;
      return TBGR{v, v, v};
    });
  };
  const TPixelImage reduced = Resized(step(60, 30, 50, 200), 20, 3);
  for (int32_t k = 0; k < 10; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(reduced.Pixel(9 - k, 1).g + reduced.Pixel(10 + k, 1).g, 250, 1);
  }
  EXPECT_LT(reduced.Pixel(9, 1).g, 125);
  EXPECT_GT(reduced.Pixel(10, 1).g, 125);
  const TPixelImage enlarged = Resized(step(10, 5, 50, 200), 25, 3);
  EXPECT_NEAR(enlarged.Pixel(12, 1).g, 125, 1);
  for (int32_t k = 1; k < 12; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(enlarged.Pixel(12 - k, 1).g + enlarged.Pixel(12 + k, 1).g, 250, 1);
  }
  // Black to white rings past both ends of the range, and is held there.
  const TPixelImage full = Resized(step(10, 5, 0, 255), 25, 3);
  int32_t darkest = 255, brightest = 0;
  for (int32_t x = 0; x < 25; ++x) {
    SCOPED_TRACE(x);
    if (x < 12) {
      EXPECT_LE(full.Pixel(x, 1).g, 30);
      darkest = std::min<int32_t>(darkest, full.Pixel(x, 1).g);
    } else if (x > 12) {
      EXPECT_GE(full.Pixel(x, 1).g, 225);
      brightest = std::max<int32_t>(brightest, full.Pixel(x, 1).g);
    }
  }
  EXPECT_EQ(darkest, 0);
  EXPECT_EQ(brightest, 255);
  EXPECT_NEAR(full.Pixel(12, 1).g, 128, 1);
}

// Enlarged three times, every third pixel falls on a source pixel and is that pixel:
// Lanczos-3 interpolates, and its weights there are 0 but for the one.
TEST(LanczosResize, EnlargingPassesThroughTheSourcePixels) {
  const TPixelImage source = MakeImage(14, 9, Smooth);
  const TPixelImage out = Resized(source, 42, 27);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 14; ++x)
      ASSERT_EQ(out.Pixel(3 * x + 1, 3 * y + 1), source.Pixel(x, y)) << x << "," << y;
}

// As SmoothResize: the same size and zero lengths copy the source, a source without pixels
// is refused.
TEST(LanczosResize, CopiesAndRefusals) {
  const TPixelImage source = MakeImage(5, 4, Smooth);
  for (auto [w, h] : {std::pair{5, 4}, std::pair{0, 3}, std::pair{3, 0}})
    EXPECT_EQ(Resized(source, w, h), source);
  EXPECT_THROW(Resized(TPixelImage(), 3, 3), qv::EInvalidGraphicOperation);
}

// A photo decoded into the filter row by row, many sizes at once and each only under its
// frame, turned each way as it comes, is that part of the whole turned decode resized:
// a tagged photo gives the bytes of the same photo stored upright, and the columns the
// decoder leaves out beside the frames change nothing, whatever the chroma sampling.
TEST(LanczosResize, EverySizesPartOfATurnedDecode) {
  for (const qvtest::TJpegKind& kind :
       {qvtest::TJpegKind{.width = 301, .height = 203, .quality = 85},
        qvtest::TJpegKind{.width = 301, .height = 203, .progressive = true, .quality = 85},
        qvtest::TJpegKind{.width = 301, .height = 203, .fullChroma = true, .quality = 85}})
    EverySizesPartOf(qvtest::MakeJpeg(kind));
}

// Large reductions are made by way of smaller copies of the picture, yet the result stays
// Lanczos-3 applied to the picture itself, worked here in double precision straight from
// the kernel's formula: on a picture whose detail the fitted sizes can show, within three
// levels (near the edges, where each copy takes its own edge pixels) and a third of one on
// average, so also with the centres where the formula puts them (a copy off by half its
// pixel would move these stripes by about four levels everywhere).
TEST(LanczosResize, LargeReductionsKeepToTheKernelAppliedDirectly) {
  const int32_t sw = 960, sh = 720;
  auto value = [](double x, double y, int c) {
    const double tau = 2 * std::acos(-1.0);
    return 128 + 60 * std::sin(tau * x / 173 + c) + 40 * std::cos(tau * (x + 2 * y) / 251 - c);
  };
  const TPixelImage source = MakeImage(sw, sh, [&](int x, int y) {
    return TBGR{static_cast<uint8_t>(std::lround(value(x, y, 0))), static_cast<uint8_t>(std::lround(value(x, y, 1))),
                static_cast<uint8_t>(std::lround(value(x, y, 2)))};
  });
  auto kernel = [](double t) {
    const double pi = std::acos(-1.0);
    if (t == 0)
      return 1.0;
    if (std::fabs(t) >= 3)
      return 0.0;
    return std::sin(pi * t) / (pi * t) * std::sin(pi * t / 3) / (pi * t / 3);
  };
  // The normalised weights of destination pixel x, by source pixel, edges clamped.
  auto weights = [&](int32_t s, int32_t d, int32_t x) {
    std::vector<double> w(static_cast<size_t>(s), 0.0);
    const double r = static_cast<double>(s) / d, stretch = std::max(r, 1.0);
    const double centre = (x + 0.5) * r - 0.5;
    double sum = 0;
    for (int32_t k = static_cast<int32_t>(std::ceil(centre - 3 * stretch));
         k <= static_cast<int32_t>(std::floor(centre + 3 * stretch)); ++k) {
      const double v = kernel((k - centre) / stretch);
      w[static_cast<size_t>(std::clamp(k, 0, s - 1))] += v;
      sum += v;
    }
    for (double& v : w)
      v /= sum;
    return w;
  };
  for (auto [dw, dh] : {std::pair{48, 36}, std::pair{120, 90}, std::pair{100, 40}, std::pair{30, 20}, std::pair{24, 18}}) {
    SCOPED_TRACE(std::to_string(dw) + "x" + std::to_string(dh));
    const TPixelImage out = Resized(source, dw, dh);
    ASSERT_EQ(out.Width(), dw);
    ASSERT_EQ(out.Height(), dh);
    int worst = 0;
    double total = 0;
    for (int32_t y = 0; y < dh; ++y) {
      const std::vector<double> wy = weights(sh, dh, y);
      for (int32_t x = 0; x < dw; ++x) {
        const std::vector<double> wx = weights(sw, dw, x);
        double sums[3] = {0, 0, 0};
        for (int32_t sy = 0; sy < sh; ++sy) {
          if (wy[static_cast<size_t>(sy)] == 0)
            continue;
          for (int32_t sx = 0; sx < sw; ++sx) {
            const double w = wy[static_cast<size_t>(sy)] * wx[static_cast<size_t>(sx)];
            if (w == 0)
              continue;
            const TBGR p = source.Pixel(sx, sy);
            sums[0] += w * p.b;
            sums[1] += w * p.g;
            sums[2] += w * p.r;
          }
        }
        const TBGR got = out.Pixel(x, y);
        const int values[3] = {got.b, got.g, got.r};
        for (int c = 0; c < 3; ++c) {
          const int difference = std::abs(values[c] - static_cast<int>(std::lround(std::clamp(sums[c], 0.0, 255.0))));
          worst = std::max(worst, difference);
          total += difference;
        }
      }
    }
    EXPECT_LE(worst, 3);
    EXPECT_LE(total / (dw * dh * 3), 0.35);
  }
}
