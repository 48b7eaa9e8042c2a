#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/ScaledView.h"
#include "support/Photos.h"

namespace qv {
namespace {

TEST(ScaledView, FactorIsTheTighterSideAndOneWhenThePictureFits) {
  struct TRow {
    TSize fitted, room;
    TViewScale scale;
    int32_t percent;
  };
  const TRow rows[] = {
      {{3600, 2400}, {1600, 1200}, {1600, 3600}, 44}, // the width binds: 0.444 against 0.5
      {{3600, 2400}, {1598, 1150}, {1598, 3600}, 44},
      {{1080, 2400}, {1280, 796}, {796, 2400}, 33},   // only the height overhangs
      {{1000, 1000}, {999, 5000}, {999, 1000}, 99},   // never 100 % while scaled
      {{1000, 10}, {1, 10}, {1, 1000}, 1},            // at least 1 %
      {{10, 20}, {0, -5}, {1, 20}, 5},                // no room counts as one pixel
      {{1600, 1200}, {1600, 1200}, {1, 1}, 100},
      {{367, 220}, {1280, 800}, {1, 1}, 100},
  };
  for (const TRow& row : rows) {
    const TViewScale scale = ViewScale(row.fitted, row.room);
    EXPECT_EQ(scale, row.scale) << row.fitted.width << "x" << row.fitted.height << " in " << row.room.width << "x"
                                << row.room.height;
    EXPECT_EQ(ScalePercent(scale), row.percent) << row.fitted.width << "x" << row.fitted.height;
    EXPECT_EQ(scale.Scaled(), row.percent < 100);
  }
}

TEST(ScaledView, LengthsRoundHalfToEvenAndStayPressable) {
  struct TRow {
    int32_t length;
    TViewScale scale;
    int32_t view;
  };
  const TRow rows[] = {
      {1080, {1600, 3600}, 480}, {2400, {1600, 3600}, 1067}, {3600, {1600, 3600}, 1600}, {1080, {1598, 3600}, 479},
      {3, {1, 2}, 2},            {5, {1, 2}, 2},             {1, {1, 3}, 1},             {0, {1, 3}, 0},
      {176, {1, 1}, 176},
  };
  for (const TRow& row : rows)
    EXPECT_EQ(ViewLength(row.length, row.scale), row.view) << row.length << " * " << row.scale.num << "/" << row.scale.den;
  EXPECT_EQ(ViewSize({3600, 2400}, {1600, 3600}), (TSize{1600, 1067}));

  EXPECT_EQ(DeviceSize({1600, 1067}, 1.0), (TSize{1600, 1067}));
  EXPECT_EQ(DeviceSize({1600, 1067}, 2.0), (TSize{3200, 2134}));
  EXPECT_EQ(DeviceSize({1600, 1067}, 1.5), (TSize{2400, 1600})); // 1600.5 to even
  EXPECT_EQ(DeviceSize({1600, 1067}, 1.25), (TSize{2000, 1334}));
}

TEST(ScaledView, ViewPositionsMapToFullSizeOffsetsBothEndsExact) {
  EXPECT_EQ(DivideHalfEven(7, 2), 4);
  EXPECT_EQ(DivideHalfEven(5, 2), 2);
  EXPECT_EQ(DivideHalfEven(-5, 2), -2);
  EXPECT_EQ(DivideHalfEven(-7, 2), -4);
  EXPECT_EQ(DivideHalfEven(-1, 3), 0);
  EXPECT_EQ(DivideHalfEven(-2, 3), -1);

  struct TRow {
    int32_t v, fitted, target, view, viewTarget, offset;
  };
  const TRow rows[] = {
      // 3600 fitted, 1080 cut, shown at 4/9: 2520 full-size pixels over 1120 view pixels.
      {0, 3600, 1080, 1600, 480, 0},
      {1120, 3600, 1080, 1600, 480, 2520},
      {560, 3600, 1080, 1600, 480, 1260},
      {1, 3600, 1080, 1600, 480, 2},    // 2.25
      {2, 3600, 1080, 1600, 480, 4},    // 4.5 to even
      {6, 3600, 1080, 1600, 480, 14},   // 13.5 to even
      {-2, 3600, 1080, 1600, 480, -4},  // -4.5 to even
      {1200, 3600, 1080, 1600, 480, 2700},
      // At 1598 / 3600 the frame is 479 of 1598: 2520 over 1119.
      {1119, 3600, 1080, 1598, 479, 2520},
      {560, 3600, 1080, 1598, 479, 1261}, // 1261.13
      // No overhang in the view, and the unscaled window: the position itself.
      {37, 1441, 1440, 900, 900, 37},
      {-12, 367, 176, 367, 176, -12},
      {150, 367, 176, 367, 176, 150},
  };
  for (const TRow& row : rows)
    EXPECT_EQ(FullOffset(row.v, row.fitted, row.target, row.view, row.viewTarget), row.offset)
        << "v " << row.v << " of " << row.view << "/" << row.viewTarget;
}

// The mean of the source over each view pixel's area, computed the plain way in doubles.
TPixelImage ReferenceArea(const TPixelImage& source, int32_t width, int32_t height) {
  TPixelImage out(width, height);
  const double sx = static_cast<double>(source.Width()) / width;
  const double sy = static_cast<double>(source.Height()) / height;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      double b = 0, g = 0, r = 0;
      for (int32_t j = 0; j < source.Height(); ++j) {
        const double dy = std::min((y + 1) * sy, j + 1.0) - std::max(y * sy, double(j));
        if (dy <= 0)
          continue;
        for (int32_t i = 0; i < source.Width(); ++i) {
          const double dx = std::min((x + 1) * sx, i + 1.0) - std::max(x * sx, double(i));
          if (dx <= 0)
            continue;
          const TBGR p = source.Pixel(i, j);
          b += dx * dy * p.b;
          g += dx * dy * p.g;
          r += dx * dy * p.r;
        }
      }
      const double area = sx * sy;
      out.SetPixel(x, y, {static_cast<uint8_t>(std::lround(b / area)), static_cast<uint8_t>(std::lround(g / area)),
                          static_cast<uint8_t>(std::lround(r / area))});
    }
  return out;
}

TEST(ScaledView, AreaResizeAveragesWhatEachPixelCovers) {
  // Worked by hand: 3 to 2 gives (2*0 + 30) / 3 and (30 + 2*60) / 3; 2 to 1 the mean.
  const auto grey = [](std::initializer_list<uint8_t> values) {
    TPixelImage image(static_cast<int32_t>(values.size()), 1);
    int32_t x = 0;
    for (uint8_t v : values)
      image.SetPixel(x++, 0, {v, v, v});
    return image;
  };
  const TPixelImage thirds = AreaResize(grey({0, 30, 60}), 2, 1);
  EXPECT_EQ(thirds.Pixel(0, 0), (TBGR{10, 10, 10}));
  EXPECT_EQ(thirds.Pixel(1, 0), (TBGR{50, 50, 50}));
  EXPECT_EQ(AreaResize(grey({10, 20}), 1, 1).Pixel(0, 0), (TBGR{15, 15, 15}));
  TPixelImage square(2, 2);
  square.SetPixel(0, 0, {0, 0, 255});
  square.SetPixel(1, 0, {0, 255, 0});
  square.SetPixel(0, 1, {255, 0, 0});
  square.SetPixel(1, 1, {255, 255, 255});
  EXPECT_EQ(AreaResize(square, 1, 1).Pixel(0, 0), (TBGR{128, 128, 128})); // 127.5 rounds up

  // A plain colour stays exactly that colour at any factor.
  const TPixelImage plain = qvtest::MakeImage(97, 61, [](int, int) { return TBGR{7, 200, 255}; });
  for (const TSize size : {TSize{40, 25}, TSize{1, 1}, TSize{97, 61}, TSize{200, 130}, TSize{33, 61}})
    EXPECT_EQ(AreaResize(plain, size.width, size.height),
              qvtest::MakeImage(size.width, size.height, [](int, int) { return TBGR{7, 200, 255}; }))
        << size.width << "x" << size.height;

  // Anything else within one level of the plain computation, down, up and mixed.
  const TPixelImage pattern = qvtest::MakeImage(97, 61, qvtest::Pattern);
  for (const TSize size : {TSize{40, 25}, TSize{13, 9}, TSize{150, 70}, TSize{30, 97}, TSize{96, 60}}) {
    SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
    const TPixelImage ours = AreaResize(pattern, size.width, size.height);
    const TPixelImage reference = ReferenceArea(pattern, size.width, size.height);
    int worst = 0;
    for (int32_t y = 0; y < size.height; ++y)
      for (int32_t x = 0; x < size.width; ++x) {
        const TBGR a = ours.Pixel(x, y);
        const TBGR b = reference.Pixel(x, y);
        worst = std::max({worst, std::abs(a.b - b.b), std::abs(a.g - b.g), std::abs(a.r - b.r)});
      }
    EXPECT_LE(worst, 1);
  }
}

} // namespace
} // namespace qv
