#include <gtest/gtest.h>

#include "imaging/PixelImage.h"
#include "job/Errors.h"

using qv::TBGR;
using qv::TPixelImage;

TEST(PixelImage, PaddedRowsAndAccessOutside) {
  const ptrdiff_t strides[] = {4, 8, 12, 12, 16};
  for (int width = 1; width <= 5; ++width)
    EXPECT_EQ(TPixelImage(width, 2).RowStride(), strides[width - 1]) << "width " << width;
  TPixelImage image(2, 2);
  EXPECT_THROW(image.ScanLine(-1), qv::EInvalidGraphicOperation);
  EXPECT_THROW(image.ScanLine(2), qv::EInvalidGraphicOperation);
  image.SetPixel(1, 1, TBGR{1, 2, 3});
  image.SetPixel(2, 0, TBGR{9, 9, 9});
  image.SetPixel(0, -1, TBGR{9, 9, 9});
  EXPECT_EQ(image.Pixel(1, 1), (TBGR{1, 2, 3}));
  EXPECT_EQ(image.Pixel(2, 0), TBGR{});
  EXPECT_EQ(image.Pixel(0, 0), TBGR{});
}

TEST(PixelImage, CopiesShareStorageUntilOneIsWritten) {
  TPixelImage original(3, 2);
  original.SetPixel(0, 0, TBGR{10, 20, 30});
  TPixelImage copy = original;
  std::as_const(copy).ScanLine(1); // reading keeps sharing
  EXPECT_TRUE(copy.SharesStorageWith(original));
  copy.SetPixel(0, 0, TBGR{1, 1, 1});
  EXPECT_FALSE(copy.SharesStorageWith(original));
  EXPECT_EQ(original.Pixel(0, 0), (TBGR{10, 20, 30}));
  TPixelImage second = original;
  second.ScanLine(1)[0] = 77; // a writable row is this image's own
  EXPECT_EQ(original.Pixel(0, 1), TBGR{});
}
