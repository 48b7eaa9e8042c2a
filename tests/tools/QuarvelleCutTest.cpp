#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "JpegFixtures.h"
#include "imaging/CropModel.h"

using namespace qvtest;

namespace {

struct TRun {
  int status = -1;
  std::string out, err;
};

class QuarvelleCut : public ::testing::Test {
protected:
  TRun Run(const std::vector<std::string>& args) {
    std::string command = "'" QV_CUT_PROGRAM "'";
    for (const std::string& arg : args)
      command += " '" + arg + "'"; // the tests' arguments hold no quote
    command += " >'" + dir / "stdout" + "' 2>'" + dir / "stderr" + "'";
    int raw = std::system(command.c_str());
    Bytes out = ReadBytes(dir / "stdout"), err = ReadBytes(dir / "stderr");
    return TRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(out.begin(), out.end()),
                std::string(err.begin(), err.end())};
  }
  std::string Source(const std::string& name, int w, int h) {
    WriteBytes(dir / name, MakeJpeg(w, h, Pattern));
    return dir / name;
  }
  TTempDir dir;
};

} // namespace

TEST_F(QuarvelleCut, PlacesTheFrameAlongTheFreeAxis) {
  const std::string tall = Source("tall.jpg", 500, 1000), wide = Source("wide.jpg", 1000, 500);
  struct Case { std::vector<std::string> args; std::string line; };
  const Case cases[] = {
      {{"--size", "240x320", "--offset", "100", tall}, "fit=width display=240x480 frame=0,100"},
      {{"--size", "176x220", "--center", wide}, "fit=height display=440x220 frame=132,0"},
      {{"--offset=-10", "--size=176x220", wide}, "fit=height display=440x220 frame=-10,0"},
      {{"--size", "320x240", Source("photo.jpg", 640, 480)}, "fit=width display=320x240 frame=0,0"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(dir / "out.jpg");
    TRun run = Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.line + "\n");
  }
}

// The tool runs the crop window's own code: the same bytes as the model in-process.
TEST_F(QuarvelleCut, WritesWhatTheCropModelWrites) {
  const std::string tall = Source("tall.jpg", 500, 1000);
  TRun run = Run({"--size", "240x320", "--offset", "100", "--compression", "30", "--display-ppm", dir / "shown.ppm",
                  tall, dir / "out.jpg"});
  ASSERT_EQ(run.status, 0) << run.err;
  qv::TCropModel model;
  qv::TPlainCropView view;
  model.openfile(tall, [] { return qv::TTarget{240, 320, 30}; }, view);
  model.Shape1.top = 100;
  model.Savefile(dir / "model.jpg", qv::TTarget{240, 320, 30});
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), ReadBytes(dir / "model.jpg"));

  std::string header = "P6\n240 480\n255\n";
  Bytes ppm(header.begin(), header.end());
  qv::TPixelImage shown = model.displayed.GetPixels();
  for (int y = 0; y < shown.Height(); ++y)
    for (int x = 0; x < shown.Width(); ++x) {
      qv::TBGR c = shown.Pixel(x, y);
      ppm.insert(ppm.end(), {c.r, c.g, c.b});
    }
  EXPECT_EQ(ReadBytes(dir / "shown.ppm"), ppm);
}

TEST_F(QuarvelleCut, FailuresPrintTheErrorTextAndExitOne) {
  WriteBytes(dir / "text.jpg", {'t', 'e', 'x', 't'});
  struct Case { std::string source, output, message; };
  const Case cases[] = {
      {dir / "missing.jpg", dir / "o.jpg", "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory"},
      {dir / "text.jpg", dir / "o.jpg", "JPEG error #53"},
      {Source("good.jpg", 300, 200), dir / "none/o.jpg",
       "Cannot create file \"" + dir / "none/o.jpg" + "\". No such file or directory"},
  };
  for (const Case& c : cases) {
    TRun run = Run({"--size", "176x220", c.source, c.output});
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.message);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o.jpg"));
}

TEST_F(QuarvelleCut, WrongArgumentsShowTheUsage) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--size", "176x220", "only-source.jpg"},
      {"--size", "0x220", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--offset", "1", "--center", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--compression", "101", "a.jpg", "b.jpg"},
  };
  for (const auto& args : wrong) {
    TRun run = Run(args);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage: quarvelle-cut --size WxH"), std::string::npos);
  }
  TRun help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: quarvelle-cut --size WxH", 0), 0u);
}
