#include <gtest/gtest.h>

#include <vector>

#include "imaging/SmoothResize.h"
#include "job/Errors.h"
#include "support/Photos.h"

using qv::SmoothResize;
using qv::TBGR;
using qv::TPixelImage;
using qvtest::ColourFn;
using qvtest::MakeImage;
using Rows = std::vector<std::vector<int>>;

namespace {

uint8_t B(int v) {
  return static_cast<uint8_t>(v);
}

// One byte of every pixel, row by row, so that failures show the picture.
Rows Channel(const TPixelImage& image, uint8_t TBGR::*channel = &TBGR::b) {
  Rows rows(image.Height());
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      rows[y].push_back(image.Pixel(x, y).*channel);
  return rows;
}

} // namespace

TEST(SmoothResize, WorkedExamples) {
  TPixelImage dst;
  TPixelImage four = MakeImage(4, 4, [](int x, int y) { return TBGR{B(16 * y + 16 * x), B(50 + x), B(9 * y)}; });
  SmoothResize(2, 2, four, dst);
  EXPECT_EQ(Channel(dst), (Rows{{0, 40}, {40, 80}}));
  EXPECT_EQ(dst.Pixel(0, 0), four.Pixel(0, 0));

  SmoothResize(5, 4, MakeImage(3, 3, [](int x, int y) { return TBGR{B(100 * x), B(100 * y), 0}; }), dst);
  std::vector<int> blue = {0, 80, 160, 140, 120};
  EXPECT_EQ(Channel(dst), (Rows{blue, blue, blue, blue}));
  EXPECT_EQ(Channel(dst, &TBGR::g), (Rows{{0, 0, 0, 0, 0}, {100, 100, 100, 100, 100}, {100, 100, 100, 100, 100},
                                          {100, 100, 100, 100, 100}}));

  TPixelImage two = MakeImage(2, 2, [](int x, int y) { return TBGR{B(10 + x), B(20 + y), B(30 + x + y)}; });
  SmoothResize(3, 3, two, dst);
  EXPECT_EQ(dst, MakeImage(3, 3, [&](int, int) { return two.Pixel(0, 0); }));
}

// More values worked out by hand the same way. 4 x 3 to 3 x 2: xStep 109227, so column 1
// sits at fraction 43691 between source columns 1 and 2 (60 and 120 give 100) and the last
// column, clamped to columns 2 and 3, keeps its fraction 21846 (120 and 180 give 140);
// rows use fy = 0, the lower row's weight of 1 dropped by the shift. 3 x 4 to 2 x 3 is the
// same along the rows, with the lower weights fy + 1. Half way from 0 to 255 the shift
// truncates 127.5 to 127.
TEST(SmoothResize, HandWorkedValues) {
  struct Case { int sw, sh, dw, dh; ColourFn blue; Rows expected; };
  const Case cases[] = {
      {4, 3, 3, 2, [](int x, int y) { return TBGR{B(60 * x + y), 0, 0}; }, {{0, 100, 140}, {1, 101, 141}}},
      {3, 4, 2, 3, [](int x, int y) { return TBGR{B(60 * y + x), 0, 0}; }, {{0, 1}, {100, 101}, {140, 141}}},
      {2, 2, 3, 2, [](int, int y) { return TBGR{B(255 * y), 0, 0}; }, {{0, 0, 0}, {127, 127, 127}}},
  };
  for (const Case& c : cases) {
    TPixelImage dst;
    SmoothResize(c.dw, c.dh, MakeImage(c.sw, c.sh, c.blue), dst);
    EXPECT_EQ(Channel(dst), c.expected) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
  }
}

TEST(SmoothResize, UniformSourceStaysUniform) {
  struct Case { int sw, sh, dw, dh; };
  for (Case c : {Case{7, 5, 3, 11}, Case{13, 2, 5, 7}, Case{640, 480, 320, 241}, Case{3, 9, 200, 2}})
    for (int v : {0, 1, 127, 255}) {
      auto colour = [v](int, int) { return TBGR{B(v), B(255 - v), B(v / 2)}; };
      TPixelImage dst;
      SmoothResize(c.dw, c.dh, MakeImage(c.sw, c.sh, colour), dst);
      EXPECT_EQ(dst, MakeImage(c.dw, c.dh, colour)) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " of " << v;
    }
}

TEST(SmoothResize, CopiesAndTheRowPairOfTheSameHeight) {
  TPixelImage src = MakeImage(5, 3, qvtest::Pattern);
  for (auto [dw, dh] : {std::pair{0, 9}, {9, 0}, {5, 3}}) {
    TPixelImage dst(2, 2);
    SmoothResize(dw, dh, src, dst);
    EXPECT_EQ(dst, src) << dw << "x" << dh;
  }
  // The same height still blends rows: yStep is 3/2 of a row.
  TPixelImage dst;
  SmoothResize(3, 2, MakeImage(4, 2, [](int, int y) { return TBGR{B(100 * y), 0, 0}; }), dst);
  EXPECT_EQ(Channel(dst), (Rows{{0, 0, 0}, {50, 50, 50}}));
}

TEST(SmoothResize, OneRowFailsAndOneColumnServesAsBothMembers) {
  TPixelImage dst;
  EXPECT_THROW(SmoothResize(4, 1, MakeImage(6, 6, qvtest::Pattern), dst), qv::EInvalidGraphicOperation);
  EXPECT_EQ(dst.Width(), 4); // sized, not filled
  EXPECT_EQ(dst.Height(), 1);
  EXPECT_THROW(SmoothResize(3, 3, MakeImage(5, 1, qvtest::Pattern), dst), qv::EInvalidGraphicOperation);

  SmoothResize(4, 2, MakeImage(1, 3, [](int, int y) { return TBGR{B(100 * y), 7, B(200 - 50 * y)}; }), dst);
  EXPECT_EQ(Channel(dst), (Rows{{0, 0, 0, 0}, {100, 100, 100, 100}}));
  EXPECT_EQ(dst.Pixel(3, 1), (TBGR{100, 7, 150}));
}
