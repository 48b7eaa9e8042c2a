#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "imaging/Fit.h"
#include "job/Errors.h"

using qv::Aspect;
using qv::DisplaySize;
using qv::FitWidth;
using qv::TSize;

TEST(Fit, RoundsHalfToEvenAndRefusesAnEmptySource) {
  struct Case { long double value; int32_t rounded; };
  for (Case c : {Case{32.5L, 32}, Case{33.5L, 34}, Case{162.5L, 162}, Case{-2.5L, -2}, Case{240.00000000000001L, 240},
                 Case{7.5000001L, 8}})
    EXPECT_EQ(qv::RoundHalfEven(c.value), c.rounded) << static_cast<double>(c.value);
  EXPECT_THROW(qv::RoundHalfEven(3e9L), qv::EInvalidOp);
  EXPECT_THROW(Aspect(0, 0), qv::EInvalidOp);
}

// A source of the target's own shape fits the width only where the double nearest to
// w / h lies below the true ratio.
TEST(Fit, SourcesOfTheTargetsOwnShape) {
  const TSize targets[] = {{32, 32},   {69, 65},   {96, 65},   {100, 100}, {101, 65},  {101, 67},  {101, 80},
                           {120, 160}, {120, 96},  {128, 115}, {128, 128}, {128, 130}, {128, 144}, {128, 160},
                           {128, 96},  {130, 130}, {132, 176}, {174, 132}, {176, 178}, {176, 192}, {176, 208},
                           {176, 220}, {208, 144}, {208, 208}, {208, 320}, {220, 176}, {240, 320}, {320, 240}};
  const TSize widthFits[] = {{101, 67},  {101, 80},  {128, 144}, {128, 96},  {174, 132},
                             {176, 178}, {176, 192}, {176, 208}, {208, 144}, {320, 240}};
  for (TSize t : targets) {
    bool expected = std::find(std::begin(widthFits), std::end(widthFits), t) != std::end(widthFits);
    double aspect = Aspect(t.width, t.height);
    EXPECT_EQ(FitWidth(t.width, t.height, aspect), expected) << t.width << "x" << t.height;
    EXPECT_EQ(DisplaySize(t.width, t.height, aspect, expected), t) << t.width << "x" << t.height;
  }
}

TEST(Fit, DecisionAndDisplaySize) {
  struct Case { int32_t w, h, tw, th; bool fitWidth; TSize display; };
  const Case cases[] = {{640, 480, 320, 240, true, {320, 240}}, {1000, 500, 176, 220, false, {440, 220}},
                        {500, 1000, 240, 320, true, {240, 480}}, {5, 2, 96, 65, false, {162, 65}},
                        {100, 100, 176, 220, false, {220, 220}}};
  for (const Case& c : cases) {
    double aspect = Aspect(c.w, c.h);
    EXPECT_EQ(FitWidth(c.tw, c.th, aspect), c.fitWidth) << c.w << "x" << c.h << " for " << c.tw << "x" << c.th;
    EXPECT_EQ(DisplaySize(c.tw, c.th, aspect, c.fitWidth), c.display) << c.w << "x" << c.h;
  }
  // 640 x 480 fits the width only with the wide mantissa: in doubles the product is 320.
  volatile double product = 240 * Aspect(640, 480);
  EXPECT_EQ(product, 320.0);
}
