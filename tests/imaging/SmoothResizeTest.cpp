#include <gtest/gtest.h>

#include <vector>

#include "JpegFixtures.h"
#include "imaging/PixelImage.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"

using qv::SmoothResize;
using qv::TBGR;
using qv::TPixelImage;
using qvtest::MakeImage;

namespace {

uint8_t B(int v) {
  return static_cast<uint8_t>(v);
}

// The blue bytes row by row, for readable failures.
std::vector<std::vector<int>> Blue(const TPixelImage& image) {
  std::vector<std::vector<int>> rows(image.Height());
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      rows[y].push_back(image.Pixel(x, y).b);
  return rows;
}

} // namespace

TEST(SmoothResize, MulDivRoundsToNearest) {
  EXPECT_EQ(qv::MulDiv(5, 65536, 2), 163840);
  EXPECT_EQ(qv::MulDiv(4, 65536, 5), 52429);
  EXPECT_EQ(qv::MulDiv(1, 1, 2), 1);
  EXPECT_EQ(qv::MulDiv(1, 1, 3), 0);
  EXPECT_EQ(qv::MulDiv(32768, 65537, 65536), 32769);
}

TEST(SmoothResize, WorkedExamples) {
  TPixelImage dst;
  TPixelImage four = MakeImage(4, 4, [](int x, int y) { return TBGR{B(16 * y + 16 * x), B(50 + x), B(9 * y)}; });
  SmoothResize(2, 2, four, dst);
  EXPECT_EQ(Blue(dst), (std::vector<std::vector<int>>{{0, 40}, {40, 80}}));
  EXPECT_EQ(dst.Pixel(0, 0), four.Pixel(0, 0));

  TPixelImage three = MakeImage(3, 3, [](int x, int y) { return TBGR{B(100 * x), B(100 * y), 0}; });
  SmoothResize(5, 4, three, dst);
  ASSERT_EQ(dst.Width(), 5);
  ASSERT_EQ(dst.Height(), 4);
  const int green[] = {0, 100, 100, 100};
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(Blue(dst)[y], (std::vector<int>{0, 80, 160, 140, 120})) << "row " << y;
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(dst.Pixel(x, y).g, green[y]) << x << "," << y;
  }

  TPixelImage two = MakeImage(2, 2, [](int x, int y) { return TBGR{B(10 + x), B(20 + y), B(30 + x + y)}; });
  SmoothResize(3, 3, two, dst);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(dst.Pixel(x, y), two.Pixel(0, 0)) << x << "," << y;
}

TEST(SmoothResize, UniformSourceGivesUniformDestination) {
  struct Case { int sw, sh, dw, dh; };
  for (Case c : {Case{7, 5, 3, 11}, Case{13, 2, 5, 7}, Case{640, 480, 320, 241}, Case{3, 9, 200, 2}}) {
    for (int v : {0, 1, 127, 254, 255}) {
      TPixelImage src = MakeImage(c.sw, c.sh, [&](int, int) { return TBGR{B(v), B(255 - v), B(v / 2)}; });
      TPixelImage dst;
      SmoothResize(c.dw, c.dh, src, dst);
      int wrong = 0;
      for (int y = 0; y < c.dh; ++y)
        for (int x = 0; x < c.dw; ++x)
          wrong += !(dst.Pixel(x, y) == src.Pixel(0, 0));
      EXPECT_EQ(wrong, 0) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " value " << v;
    }
  }
}

TEST(SmoothResize, ZeroOrEqualSizeCopiesTheSource) {
  TPixelImage src = MakeImage(5, 3, qvtest::Pattern);
  for (auto [dw, dh] : {std::pair{0, 9}, {9, 0}, {5, 3}}) {
    TPixelImage dst(2, 2);
    SmoothResize(dw, dh, src, dst);
    EXPECT_TRUE(dst == src) << dw << "x" << dh;
  }
}

TEST(SmoothResize, SameHeightStillBlendsRows) {
  TPixelImage src = MakeImage(4, 2, [](int, int y) { return TBGR{B(100 * y), 0, 0}; });
  TPixelImage dst;
  SmoothResize(3, 2, src, dst);
  // yStep is 3/2 of a row: the last row sits half way between the two source rows.
  EXPECT_EQ(Blue(dst), (std::vector<std::vector<int>>{{0, 0, 0}, {50, 50, 50}}));
}

TEST(SmoothResize, OneRowFailsAndOneColumnServesAsBothMembers) {
  TPixelImage tall = MakeImage(6, 6, qvtest::Pattern);
  TPixelImage dst;
  EXPECT_THROW(SmoothResize(4, 1, tall, dst), qv::EInvalidGraphicOperation);
  EXPECT_EQ(dst.Width(), 4); // sized, not filled
  EXPECT_EQ(dst.Height(), 1);

  TPixelImage flat = MakeImage(5, 1, qvtest::Pattern);
  EXPECT_THROW(SmoothResize(3, 3, flat, dst), qv::EInvalidGraphicOperation);

  TPixelImage column = MakeImage(1, 3, [](int, int y) { return TBGR{B(100 * y), B(7), B(200 - 50 * y)}; });
  SmoothResize(4, 2, column, dst);
  EXPECT_EQ(Blue(dst), (std::vector<std::vector<int>>{{0, 0, 0, 0}, {100, 100, 100, 100}}));
  EXPECT_EQ(dst.Pixel(3, 1), (TBGR{100, 7, 150}));
}
