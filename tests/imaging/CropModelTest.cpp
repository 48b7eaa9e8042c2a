#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/CropModel.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using qv::TBGR;
using qv::TFrame;
using qv::TPixelImage;
using qv::TTarget;
using namespace qvtest;

namespace {

class TRecordingView : public qv::TPlainCropView {
public:
  void SetDisplaySize(int32_t width, int32_t height, bool first) override {
    TPlainCropView::SetDisplaySize(width, height, first);
    widthFirst = first;
    ++calls;
  }
  bool widthFirst = false;
  int calls = 0;
};

std::tuple<int, int, int, int> Frame(const TFrame& f) {
  return {f.left, f.top, f.width, f.height};
}

class CropModelTest : public ::testing::Test {
protected:
  std::string Source(const std::string& name, int w, int h) { return WriteJpeg(dir / name, {w, h}); }
  void Open(const std::string& path, TTarget target) {
    model.openfile(path, [&] { ++snapshots; return target; }, view);
  }
  TTempDir dir;
  qv::TCropModel model;
  TRecordingView view;
  int snapshots = 0;
};

} // namespace

TEST_F(CropModelTest, OpenfileFitsResizesAndResetsTheFrame) {
  std::string tall = Source("tall.jpg", 500, 1000);
  Open(tall, TTarget{240, 320, 0});
  EXPECT_TRUE(model.fitWidth);
  EXPECT_TRUE(view.widthFirst);
  EXPECT_EQ(std::pair(view.DisplayWidth(), view.DisplayHeight()), std::pair(240, 480));
  EXPECT_EQ(Frame(model.Shape1), std::tuple(0, 0, 240, 320));
  // Exactly the resized pixels, nothing compressed.
  EXPECT_FALSE(model.displayed.HasData());
  TPixelImage expected;
  qv::SmoothResize(240, 480, Djpeg(tall), expected);
  EXPECT_EQ(Difference(expected, model.displayed.GetPixels()), "");

  Open(Source("wide.jpg", 1000, 500), TTarget{176, 220, 0});
  EXPECT_FALSE(model.fitWidth);
  EXPECT_FALSE(view.widthFirst);
  EXPECT_EQ(std::pair(model.displayed.Width(), model.displayed.Height()), std::pair(440, 220));
}

TEST_F(CropModelTest, CutIsBlackOutsideThePicture) {
  TPixelImage shown = MakeImage(240, 480, Pattern);
  EXPECT_EQ(qv::CutOut(shown, TFrame{0, 100, 240, 320}, 240, 320),
            MakeImage(240, 320, [&](int x, int y) { return shown.Pixel(x, y + 100); }));
  struct Case { int left, top, blackLeft, blackRight, blackTop; };
  for (Case c : {Case{10, 0, 0, 10, 0}, Case{-5, -3, 5, 0, 3}, Case{300, 0, 240, 0, 0}}) {
    auto expected = [&](int x, int y) {
      bool black = x < c.blackLeft || x >= 240 - c.blackRight || y < c.blackTop;
      return black ? TBGR{} : shown.Pixel(c.left + x, c.top + y);
    };
    EXPECT_EQ(qv::CutOut(shown, TFrame{c.left, c.top, 240, 20}, 240, 20), MakeImage(240, 20, expected))
        << "frame at " << c.left << "," << c.top;
  }
}

TEST_F(CropModelTest, SavefileWritesTheCutAtQualityHundredMinusCompression) {
  Open(Source("tall.jpg", 500, 1000), TTarget{240, 320, 0});
  model.Shape1.top = 100;
  const TPixelImage shown = model.displayed.GetPixels();
  const TPixelImage cut = MakeImage(240, 320, [&](int x, int y) { return shown.Pixel(x, y + 100); });
  for (auto [compression, quality] : {std::pair{0, 100}, {100, 1}, {35, 65}}) {
    model.Savefile(dir / "out.jpg", TTarget{240, 320, static_cast<uint8_t>(compression)});
    EXPECT_EQ(Difference(Cjpeg(cut, quality), ReadBytes(dir / "out.jpg")), "") << "compression " << compression;
  }
  // The size is the job state's at this moment, whatever the frame's.
  model.Savefile(dir / "small.jpg", TTarget{100, 50, 0});
  qv::TJPEGImage small;
  small.ReadJpegFile(dir / "small.jpg");
  EXPECT_EQ(std::pair(small.Width(), small.Height()), std::pair(100, 50));
  EXPECT_THROW(model.Savefile(dir / "none/out.jpg", TTarget{240, 320, 0}), qv::EFCreateError);
}

TEST_F(CropModelTest, FailedOpenLeavesWhatItsStepReached) {
  WriteBytes(dir / "empty.jpg", {});
  WriteBytes(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
  const std::string good = Source("good.jpg", 300, 200);
  const std::pair<std::string, std::string> early[] = {
      {dir / "missing.jpg", "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory"},
      {dir / "empty.jpg", "Invalid floating point operation"},
      {dir / "text.jpg", "JPEG error #53"}};
  for (const auto& [path, message] : early) {
    Open(good, TTarget{176, 220, 0});
    model.Shape1 = TFrame{-30, 0, 176, 220};
    TPixelImage before = model.displayed.GetPixels();
    int calls = view.calls;
    snapshots = 0;
    try {
      Open(path, TTarget{120, 96, 0});
      ADD_FAILURE() << path << " opened";
    } catch (const qv::Exception& error) {
      EXPECT_EQ(error.what(), message);
    }
    EXPECT_EQ(snapshots, 1);
    EXPECT_FALSE(model.fitWidth);
    EXPECT_TRUE(model.displayed.GetPixels().SharesStorageWith(before)) << path;
    EXPECT_EQ(view.calls, calls);
    EXPECT_EQ(Frame(model.Shape1), std::tuple(-30, 0, 176, 220));
  }
  // One row high fails in the resize: the window is sized, the picture not resized.
  EXPECT_THROW(Open(Source("line.jpg", 40, 1), TTarget{120, 96, 0}), qv::EInvalidGraphicOperation);
  EXPECT_TRUE(model.displayed.HasData());
  EXPECT_FALSE(model.displayed.HasPixels());
  EXPECT_EQ(std::pair(view.DisplayWidth(), view.DisplayHeight()), std::pair(3840, 96));
  EXPECT_EQ(Frame(model.Shape1), std::tuple(-30, 0, 176, 220));
}
