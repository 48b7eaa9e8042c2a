// The fast pipeline against a plain one written from the rules: the library's decode read
// pixel by pixel, the resize with both MulDivs for every pixel, the cut pixel by pixel and
// the library's encode. Every byte must agree: the shown picture and the written file.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>
#include <vector>

#include "JpegFixtures.h"
#include "imaging/CropModel.h"
#include "imaging/Fit.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"

using qv::TBGR;
using qv::TPixelImage;
using namespace qvtest;

namespace {

int64_t PlainMulDiv(int64_t n, int64_t m, int64_t d) {
  return (n * m + d / 2) / d;
}

// The general case only: the sizes differ and both pictures have at least two rows and columns.
TPixelImage PlainResize(const TPixelImage& source, int32_t dw, int32_t dh) {
  const int32_t sw = source.Width(), sh = source.Height();
  const uint32_t xStep = static_cast<uint32_t>(PlainMulDiv(sw + 1, 65536, dw));
  const uint32_t yStep = static_cast<uint32_t>(PlainMulDiv(sh + 1, 65536, dh));
  TPixelImage out(dw, dh);
  for (int32_t y = 0; y < dh; ++y) {
    const uint32_t sy = static_cast<uint32_t>(y) * yStep;
    const int32_t iy = static_cast<int32_t>(sy >> 16);
    const uint32_t fy = sy & 0xFFFF;
    const int32_t top = iy >= sh - 1 || y == dh - 1 ? sh - 2 : iy;
    const uint32_t wUpper = 65536 - fy, wLower = fy + 1;
    for (int32_t x = 0; x < dw; ++x) {
      const uint32_t sx = static_cast<uint32_t>(x) * xStep;
      const int32_t ix = static_cast<int32_t>(sx >> 16);
      const uint32_t fx = sx & 0xFFFF;
      const uint32_t wUR = static_cast<uint32_t>(PlainMulDiv(fx, wUpper, 65536)), wUL = wUpper - wUR;
      const uint32_t wLR = static_cast<uint32_t>(PlainMulDiv(fx, wLower, 65536)), wLL = wLower - wLR;
      const int32_t left = ix >= sw - 1 || x == dw - 1 ? sw - 2 : ix;
      const TBGR ul = source.Pixel(left, top), ur = source.Pixel(left + 1, top);
      const TBGR ll = source.Pixel(left, top + 1), lr = source.Pixel(left + 1, top + 1);
      auto mix = [&](uint8_t TBGR::*c) {
        return static_cast<uint8_t>((ul.*c * wUL + ur.*c * wUR + ll.*c * wLL + lr.*c * wLR) >> 16);
      };
      out.SetPixel(x, y, TBGR{mix(&TBGR::b), mix(&TBGR::g), mix(&TBGR::r)});
    }
  }
  return out;
}

TPixelImage PlainCut(const TPixelImage& shown, int32_t left, int32_t top, int32_t width, int32_t height) {
  TPixelImage cut(width, height);
  for (int32_t j = 0; j < height; ++j)
    for (int32_t i = 0; i < width; ++i)
      cut.SetPixel(i, j, shown.Pixel(left + i, top + j));
  return cut;
}

// Gradients, hard edges and noise, so that every weight and every byte value matters.
TBGR Photo(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  const int noise = static_cast<int>((h >> 24) % 41) - 20;
  auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  const int edge = (x / 37 + y / 23) % 3 == 0 ? 90 : 0;
  return TBGR{clamp(x / 5 % 256 + noise), clamp(200 - y / 4 % 200 + noise / 2 + edge), clamp((x + y) / 9 % 256 - edge)};
}

struct TPhoto {
  int width, height;
  TJpegOptions options;
  int percentKept = 100; // of the file's bytes
};

std::string Name(const TPhoto& photo) {
  return std::to_string(photo.width) + "x" + std::to_string(photo.height) +
         (photo.options.progressive ? " progressive" : "") +
         (photo.percentKept < 100 ? " cut to " + std::to_string(photo.percentKept) + " %" : "");
}

} // namespace

TEST(ReferencePipeline, ShownPicturesAndWrittenCutsMatchThePlainPipeline) {
  TTempDir dir;
  const TPhoto photos[] = {
      {2400, 1300, {3, 90, false}}, // large enough for a mapping of its own
      {1203, 803, {3, 75, false}},  // odd sizes, partial blocks
      {517, 1000, {3, 90, false}},  // portrait
      {2000, 300, {3, 85, false}},  // panorama
      {150, 100, {3, 95, false}},   // enlarged for every target
      {801, 601, {3, 85, true}},    // progressive
      {801, 601, {3, 85, true}, 40}, // later scans missing: block smoothing takes part
  };
  const qv::TTarget targets[] = {{176, 220, 0}, {320, 240, 10}, {128, 96, 55}, {240, 320, 0}, {101, 67, 100}};
  for (const TPhoto& photo : photos) {
    const std::string path = dir / "photo.jpg";
    Bytes file = MakeJpeg(photo.width, photo.height, Photo, photo.options);
    file.resize(file.size() * static_cast<size_t>(photo.percentKept) / 100);
    WriteBytes(path, file);
    const TPixelImage decoded = ReferenceDecode(file);
    {
      qv::TJPEGImage image;
      image.ReadJpegFile(path);
      ASSERT_EQ(image.GetPixels(), decoded) << Name(photo);
    }
    for (const qv::TTarget& target : targets) {
      SCOPED_TRACE(Name(photo) + " at " + std::to_string(target.width) + "x" + std::to_string(target.height));
      const double aspect = qv::Aspect(photo.width, photo.height);
      const bool fitWidth = qv::FitWidth(target.width, target.height, aspect);
      const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect, fitWidth);
      const TPixelImage expected = PlainResize(decoded, size.width, size.height);

      qv::TCropModel model;
      qv::TPlainCropView view;
      model.openfile(path, [&] { return target; }, view);
      ASSERT_EQ(model.displayed.GetPixels(), expected);

      // Along the free axis: the start, the middle, before the picture and past its end.
      const int32_t overhang = fitWidth ? size.height - target.height : size.width - target.width;
      for (int32_t offset : {0, overhang / 2, -7, overhang + 13}) {
        model.Shape1.left = fitWidth ? 0 : offset;
        model.Shape1.top = fitWidth ? offset : 0;
        model.Savefile(dir / "cut.jpg", target);
        const TPixelImage cut = PlainCut(expected, model.Shape1.left, model.Shape1.top, target.width, target.height);
        EXPECT_EQ(ReadBytes(dir / "cut.jpg"), EncodeLikeTheCodec(cut, 100 - target.compression)) << "offset " << offset;
      }
    }
  }
}

TEST(ReferencePipeline, SmoothResizeMatchesThePlainResizeOverManyShapes) {
  struct Shape { int sw, sh, dw, dh; };
  std::vector<Shape> shapes = {
      {6000 / 8, 4000 / 8, 330, 220}, {100, 100, 220, 220}, {3000, 300, 2400, 240}, {2, 2, 3, 3},
      {2, 9, 40, 2},  {9, 2, 2, 40},  {640, 480, 320, 240}, {5, 3, 5, 4},      {7, 7, 6, 7},
  };
  // And a spread of small sizes from a fixed sequence: shrinking, enlarging, one side equal.
  uint32_t state = 12345;
  auto next = [&](int lo, int hi) {
    state = state * 1103515245u + 12345u;
    return lo + static_cast<int>((state >> 16) % static_cast<uint32_t>(hi - lo + 1));
  };
  for (int i = 0; i < 150; ++i) {
    Shape s{next(2, 60), next(2, 60), next(2, 90), next(2, 90)};
    if (i % 5 == 0)
      s.dw = s.sw;
    if (i % 7 == 0)
      s.dh = s.sh;
    if (s.sw != s.dw || s.sh != s.dh)
      shapes.push_back(s);
  }
  for (const Shape& s : shapes) {
    const TPixelImage source = MakeImage(s.sw, s.sh, Photo);
    TPixelImage destination;
    qv::SmoothResize(s.dw, s.dh, source, destination);
    ASSERT_EQ(destination, PlainResize(source, s.dw, s.dh)) << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
  }
}

// Large pictures live in storage of their own; copies still share it until one is written.
TEST(ReferencePipeline, LargePicturesShareUntilWritten) {
  TPixelImage original = MakeImage(2000, 1400, Photo);
  const TPixelImage copy = original;
  EXPECT_TRUE(copy.SharesStorageWith(original));
  EXPECT_EQ(copy.ScanLine(1399)[1999 * 3 + 2], Photo(1999, 1399).r); // reading keeps sharing
  EXPECT_TRUE(copy.SharesStorageWith(original));
  original.SetPixel(5, 7, TBGR{1, 2, 3});
  EXPECT_FALSE(copy.SharesStorageWith(original));
  EXPECT_EQ(copy.Pixel(5, 7), Photo(5, 7));
  EXPECT_EQ(original.Pixel(5, 7), (TBGR{1, 2, 3}));
  original.SetPixel(5, 7, Photo(5, 7));
  EXPECT_EQ(original, copy);
}

namespace {

// A picture, or the kind and text of the error that came instead.
struct TOutcome {
  TPixelImage image;
  std::string error;
};

template <typename F>
TOutcome Outcome(F make) {
  try {
    return TOutcome{make(), ""};
  } catch (const std::exception& e) {
    return TOutcome{TPixelImage(), std::string(typeid(e).name()) + ": " + e.what()};
  }
}

// The way ResizeImage goes for a read file when the rows are not blended as they come.
TPixelImage DecodeThenResize(const std::string& path, int32_t dw, int32_t dh) {
  qv::TJPEGImage image;
  image.ReadJpegFile(path);
  const TPixelImage whole = image.GetPixels();
  TPixelImage resized;
  resized.SetSize(dw, dh);
  qv::SmoothResize(dw, dh, whole, resized);
  return resized;
}

class TDisplayDepth {
public:
  explicit TDisplayDepth(int bits) : saved_(qv::DisplayColorDepth()) { qv::SetDisplayColorDepth(bits); }
  ~TDisplayDepth() { qv::SetDisplayColorDepth(saved_); }

private:
  int saved_;
};

} // namespace

// The resize that takes the decoder's rows as they come gives what resizing the whole
// decoded picture gives, for every kind of file and size, errors included.
TEST(ReferencePipeline, RowsBlendedAsTheyComeMatchTheWholeDecode) {
  TTempDir dir;
  struct TFile {
    std::string name;
    Bytes bytes;
  };
  Bytes cut = MakeJpeg(300, 200, Photo, {3, 85, true});
  cut.resize(cut.size() / 2);
  Bytes damaged = MakeJpeg(64, 48, Photo);
  damaged[damaged.size() / 2] = 0xFF; // a marker in the middle of the entropy-coded data
  damaged[damaged.size() / 2 + 1] = 0xC0;
  const TFile files[] = {
      {"colour", MakeJpeg(333, 250, Photo)},
      {"gray", MakeJpeg(203, 151, Photo, {1, 90, false})},
      {"progressive, cut off", cut},
      {"two rows", MakeJpeg(40, 2, Photo)},
      {"one row", MakeJpeg(40, 1, Photo)},
      {"one column", MakeJpeg(1, 30, Photo)},
      {"damaged", damaged},
      {"header only", Bytes(cut.begin(), cut.begin() + 400)},
  };
  struct TSize {
    int32_t width, height;
  };
  const TSize sizes[] = {{176, 220}, {97, 65}, {333, 250}, {40, 2}, {1, 30}, {0, 12}, {12, 0}, {50, 1}, {3, 2}};
  for (int depth : {24, 8})
    for (const TFile& file : files) {
      TDisplayDepth display(depth);
      const std::string path = dir / "photo.jpg";
      WriteBytes(path, file.bytes);
      qv::TJPEGImage read;
      read.ReadJpegFile(path);
      for (const TSize& size : sizes) {
        SCOPED_TRACE(file.name + " at depth " + std::to_string(depth) + " to " + std::to_string(size.width) + "x" +
                     std::to_string(size.height));
        const TOutcome expected = Outcome([&] { return DecodeThenResize(path, size.width, size.height); });
        const TOutcome got = Outcome([&] { return qv::DecodeResized(*read.Data(), size.width, size.height); });
        EXPECT_EQ(got.error, expected.error);
        EXPECT_EQ(got.image, expected.image);
      }
    }
}
