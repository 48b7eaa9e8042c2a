// The fast pipeline against libjpeg-turbo's own programs, which share none of our code:
// every decoded photo is djpeg's picture, every shown picture the resize of it, and every
// written cut cjpeg's file of the same pixels, byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <exception>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "imaging/CropModel.h"
#include "imaging/Fit.h"
#include "imaging/Orientation.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using qv::TBGR;
using qv::TPixelImage;
using namespace qvtest;

namespace {

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
  TJpegKind kind;
  size_t percentKept = 100; // of the file's bytes
};

std::string Name(const TPhoto& photo) {
  return std::to_string(photo.kind.width) + "x" + std::to_string(photo.kind.height) +
         (photo.kind.progressive ? " progressive" : "") +
         (photo.percentKept < 100 ? " cut to " + std::to_string(photo.percentKept) + " %" : "");
}

} // namespace

TEST(ReferencePipeline, DecodesAsDjpegAndWritesCutsAsCjpeg) {
  TTempDir dir;
  const TPhoto photos[] = {
      {{.width = 2400, .height = 1300}},                // large enough for a mapping of its own
      {{.width = 1203, .height = 803, .quality = 75}},  // odd sizes, partial blocks
      {{.width = 517, .height = 1000}},                 // portrait
      {{.width = 2000, .height = 300, .quality = 85}},  // panorama
      {{.width = 150, .height = 100, .quality = 95}},   // enlarged for every target
      {{.width = 801, .height = 601, .progressive = true, .quality = 85}},
      // Later scans missing: block smoothing takes part.
      {{.width = 801, .height = 601, .progressive = true, .quality = 85}, 40},
  };
  const qv::TTarget targets[] = {{176, 220, 0}, {320, 240, 10}, {128, 96, 55}, {240, 320, 0}, {101, 67, 100}};
  for (const TPhoto& photo : photos) {
    const Bytes file = MakeJpeg(photo.kind, Photo);
    const std::string path = dir / "photo.jpg";
    WriteBytes(path, CutAt(file, file.size() * photo.percentKept / 100));
    const TPixelImage decoded = Djpeg(path);
    {
      qv::TJPEGImage image;
      image.ReadJpegFile(path);
      ASSERT_EQ(Difference(decoded, image.GetPixels()), "") << Name(photo);
    }
    for (const qv::TTarget& target : targets) {
      SCOPED_TRACE(Name(photo) + " at " + std::to_string(target.width) + "x" + std::to_string(target.height));
      const double aspect = qv::Aspect(photo.kind.width, photo.kind.height);
      const bool fitWidth = qv::FitWidth(target.width, target.height, aspect);
      const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect, fitWidth);
      TPixelImage shown;
      qv::SmoothResize(size.width, size.height, decoded, shown);

      qv::TCropModel model;
      qv::TPlainCropView view;
      model.openfile(path, [&] { return target; }, view);
      ASSERT_EQ(Difference(shown, model.displayed.GetPixels()), "");

      // Along the free axis: the start, the middle, before the picture and past its end.
      const int32_t overhang = fitWidth ? size.height - target.height : size.width - target.width;
      for (int32_t offset : {0, overhang / 2, -7, overhang + 13}) {
        const int32_t left = fitWidth ? 0 : offset, top = fitWidth ? offset : 0;
        model.Shape1.left = left;
        model.Shape1.top = top;
        model.Savefile(dir / "cut.jpg", target);
        const TPixelImage cut =
            MakeImage(target.width, target.height, [&](int x, int y) { return shown.Pixel(left + x, top + y); });
        EXPECT_EQ(Difference(Cjpeg(cut, 100 - target.compression), ReadBytes(dir / "cut.jpg")), "")
            << "offset " << offset;
      }
    }
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

// The way ResizeImage goes for a read file when the rows are not blended as they come: the
// whole picture decoded, turned, then resized.
TPixelImage DecodeThenResize(const std::string& path, int32_t dw, int32_t dh, int orientation) {
  qv::TJPEGImage image;
  image.ReadJpegFile(path);
  const TPixelImage whole = qv::Orient(image.GetPixels(), orientation);
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
// decoded picture gives, for every kind of file and size, errors included, and so it does
// for the picture turned each way: its rows then come as rows or columns, either way round.
TEST(ReferencePipeline, RowsBlendedAsTheyComeMatchTheWholeDecode) {
  TTempDir dir;
  struct TFile {
    std::string name;
    Bytes bytes;
  };
  Bytes cut = MakeJpeg({.width = 300, .height = 200, .progressive = true, .quality = 85}, Photo);
  cut.resize(cut.size() / 2);
  Bytes damaged = MakeJpeg({64, 48}, Photo);
  damaged[damaged.size() / 2] = 0xFF; // a marker in the middle of the entropy-coded data
  damaged[damaged.size() / 2 + 1] = 0xC0;
  const TFile files[] = {
      {"colour", MakeJpeg({333, 250}, Photo)},
      {"gray", MakeJpeg({.width = 203, .height = 151, .components = 1}, Photo)},
      {"progressive, cut off", cut},
      {"two rows", MakeJpeg({40, 2}, Photo)},
      {"one row", MakeJpeg({40, 1}, Photo)},
      {"one column", MakeJpeg({1, 30}, Photo)},
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
      for (const TSize& size : sizes)
        for (int orientation = 1; orientation <= 8; ++orientation) {
          SCOPED_TRACE(file.name + " at depth " + std::to_string(depth) + " to " + std::to_string(size.width) + "x" +
                       std::to_string(size.height) + " turned " + std::to_string(orientation));
          const TOutcome expected =
              Outcome([&] { return DecodeThenResize(path, size.width, size.height, orientation); });
          const TOutcome got =
              Outcome([&] { return qv::DecodeResized(*read.Data(), size.width, size.height, orientation); });
          EXPECT_EQ(got.error, expected.error);
          EXPECT_EQ(got.image, expected.image);
        }
    }
}

// Many sizes from one decode, each only the part its frame covers, turned each way: every
// part is that part of the turned decode resized, wherever the frame lies.
TEST(ReferencePipeline, EverySizesPartOfATurnedDecode) {
  const Bytes jpeg = MakeJpeg({.width = 301, .height = 203, .quality = 85}, Photo);
  qv::TJPEGData data;
  data.bytes = jpeg;
  const std::vector<qv::TSize> sizes = {{176, 260}, {311, 220}, {90, 61}, {204, 300}, {500, 741}, {2, 3}};
  const std::vector<qv::TFrame> frames = {
      {0, 20, 176, 220}, {45, 0, 176, 220}, {-10, -5, 40, 30}, {150, 250, 100, 100}, {0, 0, 500, 741}, {0, 0, 2, 3}};
  const TPixelImage decoded = Djpeg([&] {
    static TTempDir dir;
    WriteBytes(dir / "photo.jpg", jpeg);
    return dir / "photo.jpg";
  }());
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const TPixelImage turned = qv::Orient(decoded, orientation);
    const std::vector<qv::TResized> parts = qv::DecodeResized(data, sizes, {}, &frames, orientation);
    ASSERT_EQ(parts.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      SCOPED_TRACE("turned " + std::to_string(orientation) + " to " + std::to_string(sizes[i].width) + "x" +
                   std::to_string(sizes[i].height));
      ASSERT_FALSE(parts[i].error);
      TPixelImage whole;
      qv::SmoothResize(sizes[i].width, sizes[i].height, turned, whole);
      const qv::TResized& part = parts[i];
      const TPixelImage expected = MakeImage(part.picture.Width(), part.picture.Height(),
                                             [&](int x, int y) { return whole.Pixel(part.left + x, part.top + y); });
      EXPECT_EQ(Difference(expected, part.picture), "");
      // The part covers all of the frame that lies on the picture.
      const qv::TFrame& f = frames[i];
      const int32_t left = std::max(0, f.left), top = std::max(0, f.top);
      const int32_t right = std::min(f.left + f.width, sizes[i].width), bottom = std::min(f.top + f.height, sizes[i].height);
      if (right > left && bottom > top) {
        EXPECT_LE(part.left, left);
        EXPECT_LE(part.top, top);
        EXPECT_GE(part.left + part.picture.Width(), right);
        EXPECT_GE(part.top + part.picture.Height(), bottom);
      }
    }
  }
}

// Photos of odd sizes tagged with each value, opened as the crop window opens them for
// targets that fit them by either side: what is shown is djpeg's picture turned and resized.
TEST(ReferencePipeline, TaggedPhotosShowTheResizeOfTheTurnedDecode) {
  TTempDir dir;
  const std::string path = dir / "tagged.jpg";
  const qv::TTarget targets[] = {{176, 220, 0}, {320, 240, 0}, {101, 67, 0}, {90, 300, 0}, {400, 100, 0}};
  for (auto [w, h] : {std::pair{203, 151}, std::pair{151, 203}, std::pair{97, 290}})
    for (int orientation = 1; orientation <= 8; ++orientation) {
      WriteBytes(path, WithOrientation(MakeJpeg({w, h}, Photo), orientation, orientation % 2 == 0));
      const TPixelImage turned = qv::Orient(Djpeg(path), orientation);
      std::set<bool> fits;
      for (const qv::TTarget& target : targets) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " turned " + std::to_string(orientation) + " for " +
                     std::to_string(target.width) + "x" + std::to_string(target.height));
        qv::TCropModel model;
        qv::TPlainCropView view;
        model.openfile(path, [&] { return target; }, view);
        const double aspect = static_cast<double>(turned.Width()) / turned.Height();
        EXPECT_EQ(model.fitWidth, qv::FitWidth(target.width, target.height, aspect));
        fits.insert(model.fitWidth);
        TPixelImage expected;
        qv::SmoothResize(view.DisplayWidth(), view.DisplayHeight(), turned, expected);
        EXPECT_EQ(Difference(expected, model.displayed.GetPixels()), "");
      }
      EXPECT_EQ(fits.size(), 2u) << "both sides fitted";
    }
}
