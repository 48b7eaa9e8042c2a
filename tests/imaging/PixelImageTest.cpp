#include <gtest/gtest.h>

#include "imaging/PixelImage.h"
#include "job/Errors.h"

using qv::TBGR;
using qv::TPixelImage;

TEST(PixelImage, RowsArePaddedToFourBytesAndRowsOutsideFail) {
  const ptrdiff_t strides[] = {4, 8, 12, 12, 16};
  for (int width = 1; width <= 5; ++width) {
    TPixelImage image(width, 3);
    EXPECT_EQ(image.RowStride(), strides[width - 1]) << "width " << width;
    EXPECT_EQ(image.ScanLine(2) - image.ScanLine(0), 2 * image.RowStride());
  }
  TPixelImage image(4, 3);
  for (int row : {-1, 3}) {
    try {
      image.ScanLine(row);
      ADD_FAILURE() << "row " << row << " was given";
    } catch (const qv::EInvalidGraphicOperation& error) {
      EXPECT_STREQ(error.what(), "Scan line index out of range");
    }
  }
}

TEST(PixelImage, OutsideReadsBlackAndWritesNothing) {
  TPixelImage image(2, 2);
  image.SetPixel(1, 1, TBGR{1, 2, 3});
  TPixelImage before = image;
  for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 2}}) {
    image.SetPixel(x, y, TBGR{9, 9, 9});
    EXPECT_EQ(image.Pixel(x, y), TBGR{}) << x << "," << y;
  }
  EXPECT_EQ(image.Pixel(1, 1), (TBGR{1, 2, 3}));
  EXPECT_TRUE(image == before);
}

TEST(PixelImage, CopiesShareStorageUntilOneIsWritten) {
  TPixelImage original(3, 2);
  original.SetPixel(0, 0, TBGR{10, 20, 30});
  TPixelImage copy = original;
  EXPECT_TRUE(copy.SharesStorageWith(original));
  const TPixelImage& reader = copy;
  reader.ScanLine(1); // reading keeps sharing
  EXPECT_TRUE(copy.SharesStorageWith(original));

  copy.SetPixel(0, 0, TBGR{1, 1, 1});
  EXPECT_FALSE(copy.SharesStorageWith(original));
  EXPECT_EQ(original.Pixel(0, 0), (TBGR{10, 20, 30}));

  TPixelImage second = original;
  second.ScanLine(1)[0] = 77; // a writable row is this image's own
  EXPECT_EQ(original.Pixel(0, 1), TBGR{});
  EXPECT_EQ(second.Pixel(0, 1).b, 77);
}
