#include <gtest/gtest.h>

#include <filesystem>

#include "JpegFixtures.h"
#include "imaging/CropModel.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"

using qv::TBGR;
using qv::TCropModel;
using qv::TFrame;
using qv::TPixelImage;
using qv::TTarget;
using namespace qvtest;

namespace {

// Records what the crop window's display area was told.
class TRecordingView : public qv::ICropView {
public:
  void SetDisplaySize(int32_t width, int32_t height, bool first) override {
    plain.SetDisplaySize(width, height, first);
    widthFirst = first;
    ++calls;
  }
  int32_t DisplayWidth() const override { return plain.DisplayWidth(); }
  int32_t DisplayHeight() const override { return plain.DisplayHeight(); }

  qv::TPlainCropView plain;
  bool widthFirst = false;
  int calls = 0;
};

bool SameFrame(const TFrame& a, const TFrame& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

class CropModelTest : public ::testing::Test {
protected:
  std::string Source(const std::string& name, int w, int h) {
    WriteBytes(dir / name, MakeJpeg(w, h, Pattern));
    return dir / name;
  }
  void Open(const std::string& path, TTarget target) {
    model.openfile(path, [&] { ++snapshots; return target; }, view);
  }
  TTempDir dir;
  TCropModel model;
  TRecordingView view;
  int snapshots = 0;
};

} // namespace

TEST_F(CropModelTest, OpenfileFitsResizesAndResetsTheFrame) {
  std::string path = Source("tall.jpg", 500, 1000);
  Open(path, TTarget{240, 320, 0});
  EXPECT_EQ(snapshots, 1);
  EXPECT_TRUE(model.fitWidth);
  EXPECT_DOUBLE_EQ(model.aspect, 0.5);
  EXPECT_TRUE(view.widthFirst);
  EXPECT_EQ(view.DisplayWidth(), 240);
  EXPECT_EQ(view.DisplayHeight(), 480);
  EXPECT_TRUE(SameFrame(model.Shape1, TFrame{0, 0, 240, 320}));
  // The displayed image holds exactly the resized pixels and nothing compressed.
  EXPECT_FALSE(model.displayed.HasData());
  qv::TJPEGImage source;
  source.ReadJpegFile(path);
  TPixelImage expected;
  qv::SmoothResize(240, 480, source.GetPixels(), expected);
  EXPECT_TRUE(model.displayed.GetPixels() == expected);

  Open(Source("wide.jpg", 1000, 500), TTarget{176, 220, 0});
  EXPECT_FALSE(model.fitWidth);
  EXPECT_FALSE(view.widthFirst);
  EXPECT_EQ(model.displayed.Width(), 440);
  EXPECT_EQ(model.displayed.Height(), 220);
}

TEST_F(CropModelTest, CutTakesTheFrameAndBlackOutsideThePicture) {
  TPixelImage shown = MakeImage(240, 480, Pattern);
  TPixelImage cut = qv::CutOut(shown, TFrame{0, 100, 240, 320}, 240, 320);
  for (int y = 0; y < 320; y += 7)
    for (int x = 0; x < 240; x += 3)
      ASSERT_EQ(cut.Pixel(x, y), shown.Pixel(x, y + 100)) << x << "," << y;

  struct Case { TFrame frame; int blackLeft, blackRight, blackTop; };
  for (Case c : {Case{{10, 0, 240, 20}, 0, 10, 0}, Case{{-5, 0, 240, 20}, 5, 0, 0}, Case{{0, -3, 240, 20}, 0, 0, 3},
                 Case{{300, 0, 240, 20}, 240, 0, 0}}) {
    TPixelImage part = qv::CutOut(shown, c.frame, 240, 20);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 240; ++x) {
        bool black = x < c.blackLeft || x >= 240 - c.blackRight || y < c.blackTop;
        TBGR expected = black ? TBGR{} : shown.Pixel(c.frame.left + x, c.frame.top + y);
        ASSERT_EQ(part.Pixel(x, y), expected) << "frame left " << c.frame.left << " top " << c.frame.top << " at " << x << "," << y;
      }
  }
}

TEST_F(CropModelTest, SavefileWritesTheCutAtQualityHundredMinusCompression) {
  Open(Source("tall.jpg", 500, 1000), TTarget{240, 320, 0});
  model.Shape1.top = 100;
  TPixelImage cut = qv::CutOut(model.displayed.GetPixels(), model.Shape1, 240, 320);
  for (auto [compression, quality] : {std::pair{0, 100}, {100, 1}, {35, 65}}) {
    model.Savefile(dir / "out.jpg", TTarget{240, 320, static_cast<uint8_t>(compression)});
    EXPECT_EQ(ReadBytes(dir / "out.jpg"), EncodeLikeTheCodec(cut, quality)) << "compression " << compression;
  }
  // The size is the job state's at this moment, whatever the frame's.
  model.Savefile(dir / "small.jpg", TTarget{100, 50, 0});
  qv::TJPEGImage small;
  small.ReadJpegFile(dir / "small.jpg");
  EXPECT_EQ(small.Width(), 100);
  EXPECT_EQ(small.Height(), 50);

  EXPECT_THROW(model.Savefile(dir / "none/out.jpg", TTarget{240, 320, 0}), qv::EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

TEST_F(CropModelTest, FailedOpenLeavesWhatTheStepReached) {
  WriteBytes(dir / "empty.jpg", {});
  WriteBytes(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
  const std::string good = Source("good.jpg", 300, 200);
  struct Case { std::string path; std::string message; };
  const Case early[] = {{dir / "missing.jpg", "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory"},
                        {dir / "empty.jpg", "Invalid floating point operation"},
                        {dir / "text.jpg", "JPEG error #53"}};
  for (const Case& c : early) {
    Open(good, TTarget{176, 220, 0});
    model.Shape1 = TFrame{-30, 0, 176, 220};
    TPixelImage before = model.displayed.GetPixels();
    int calls = view.calls;
    snapshots = 0;
    try {
      Open(c.path, TTarget{120, 96, 0});
      ADD_FAILURE() << c.path << " opened";
    } catch (const qv::Exception& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
    EXPECT_EQ(snapshots, 1);
    EXPECT_FALSE(model.fitWidth);
    EXPECT_TRUE(model.displayed.GetPixels().SharesStorageWith(before)) << c.path;
    EXPECT_EQ(view.calls, calls);
    EXPECT_TRUE(SameFrame(model.Shape1, TFrame{-30, 0, 176, 220}));
  }

  // A source one row high fails in the resize: sized, not resized.
  Open(good, TTarget{176, 220, 0});
  model.Shape1 = TFrame{-30, 0, 176, 220};
  EXPECT_THROW(Open(Source("line.jpg", 40, 1), TTarget{120, 96, 0}), qv::EInvalidGraphicOperation);
  EXPECT_TRUE(model.fitWidth == false);
  EXPECT_TRUE(model.displayed.HasData());
  EXPECT_FALSE(model.displayed.HasPixels());
  EXPECT_EQ(view.DisplayWidth(), 3840);
  EXPECT_EQ(view.DisplayHeight(), 96);
  EXPECT_TRUE(SameFrame(model.Shape1, TFrame{-30, 0, 176, 220}));
}
