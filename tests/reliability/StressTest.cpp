// 200 generated photos at three sizes through the run driver and the real pipeline: all
// 600 files written, each decoding at its pass's size. Under the sanitizer build this also
// runs with LeakSanitizer.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RealSurroundings.h"
#include "support/Photos.h"
#include "support/TempDir.h"

using namespace qvrel;
using namespace qvtest;

TEST(Stress, TwoHundredPhotosAtThreeSizes) {
  TTempDir dir;
  std::filesystem::create_directory(dir / "out");
  TRealSurroundings run(dir / "out/");
  run.CheckResolutions({"96x65", "176x220", "240x320"});
  run.settings.folderPerResolutionBox = true;
  run.settings.sliderPosition = 20;
  std::filesystem::create_directory(dir / "in");
  for (int i = 0; i < 200; ++i) {
    // Sizes from 20 to 219 wide and 16 to 176 high; every fourth gray, every fifth progressive.
    const TJpegKind kind{.width = 20 + (i * 37) % 200,
                         .height = 16 + (i * 53) % 161,
                         .components = i % 4 == 3 ? 1 : 3,
                         .fullChroma = i % 3 == 0,
                         .progressive = i % 5 == 0,
                         .quality = 60 + i % 40};
    const std::string path = dir / ("in/photo-" + std::to_string(i) + ".jpg");
    WriteBytes(path, MakeJpeg(kind));
    run.list.addfile(path);
  }
  ASSERT_EQ(run.list.Count(), 200);
  run.RunToTheEnd(1000);
  EXPECT_TRUE(run.errorBox.empty()) << run.errorBox.front();
  EXPECT_FALSE(run.visible);
  EXPECT_EQ(run.list.Count(), 0);
  ASSERT_EQ(run.saved.size(), 600u);

  int checked = 0;
  for (auto [w, h] : {std::pair{96, 65}, {176, 220}, {240, 320}}) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    for (int i = 0; i < 200; ++i) {
      const std::string path = dir / ("out/" + size + "/photo-" + std::to_string(i) + "-" + size + ".JPG");
      qv::TJPEGImage image;
      ASSERT_NO_THROW(image.ReadJpegFile(path)) << path;
      const qv::TPixelImage pixels = image.GetPixels();
      ASSERT_EQ(std::pair(pixels.Width(), pixels.Height()), std::pair(w, h)) << path;
      ++checked;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / ("out/" + size)),
                            std::filesystem::directory_iterator()),
              200);
  }
  EXPECT_EQ(checked, 600);
}
