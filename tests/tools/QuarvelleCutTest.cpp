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
    for (const std::string& arg : args) {
      std::string quoted;
      for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += " '" + quoted + "'";
    }
    command += " >'" + dir / "stdout" + "' 2>'" + dir / "stderr" + "'";
    int raw = std::system(command.c_str());
    TRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    Bytes out = ReadBytes(dir / "stdout");
    Bytes err = ReadBytes(dir / "stderr");
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
  }
  std::string Source(const std::string& name, int w, int h) {
    WriteBytes(dir / name, MakeJpeg(w, h, Pattern));
    return dir / name;
  }
  TTempDir dir;
};

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

} // namespace

TEST_F(QuarvelleCut, PlacesTheFrameAlongTheFreeAxis) {
  const std::string tall = Source("tall.jpg", 500, 1000);
  const std::string wide = Source("wide.jpg", 1000, 500);
  const std::string photo = Source("photo.jpg", 640, 480);
  struct Case { std::vector<std::string> args; std::string line; int w, h; };
  const Case cases[] = {
      {{"--size", "240x320", "--offset", "100", tall}, "fit=width display=240x480 frame=0,100", 240, 320},
      {{"--size", "176x220", "--center", wide}, "fit=height display=440x220 frame=132,0", 176, 220},
      {{"--offset=-10", "--size=176x220", wide}, "fit=height display=440x220 frame=-10,0", 176, 220},
      {{"--size", "320x240", photo}, "fit=width display=320x240 frame=0,0", 320, 240},
      {{"--size", "96x65", "--center", photo}, "fit=width display=96x72 frame=0,3", 96, 65},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(dir / "out.jpg");
    TRun run = Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.line + "\n");
    qv::TJPEGImage output;
    output.ReadJpegFile(dir / "out.jpg");
    EXPECT_EQ(output.Width(), c.w) << c.line;
    EXPECT_EQ(output.Height(), c.h) << c.line;
  }
}

// The tool runs the crop window's own code: the same bytes as the model gives in-process.
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

  // Compression 100 is quality 0, which the encoder writes as quality 1.
  ASSERT_EQ(Run({"--size", "240x320", "--compression", "100", tall, dir / "c100.jpg"}).status, 0);
  ASSERT_EQ(Run({"--size", "240x320", "--compression", "99", tall, dir / "c99.jpg"}).status, 0);
  EXPECT_EQ(ReadBytes(dir / "c100.jpg"), ReadBytes(dir / "c99.jpg"));
}

TEST_F(QuarvelleCut, FailuresPrintTheErrorTextAndExitOne) {
  WriteBytes(dir / "empty.jpg", {});
  WriteBytes(dir / "text.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
  const std::string line = Source("line.jpg", 40, 1);
  const std::string good = Source("good.jpg", 300, 200);
  struct Case { std::string source, output, message; };
  const Case cases[] = {
      {dir / "missing.jpg", dir / "o.jpg", "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory"},
      {dir / "empty.jpg", dir / "o.jpg", "Invalid floating point operation"},
      {dir / "text.jpg", dir / "o.jpg", "JPEG error #53"},
      {line, dir / "o.jpg", "Scan line index out of range"},
      {good, dir / "none/o.jpg", "Cannot create file \"" + dir / "none/o.jpg" + "\". No such file or directory"},
  };
  for (const Case& c : cases) {
    TRun run = Run({"--size", "176x220", c.source, c.output});
    EXPECT_EQ(run.status, 1) << c.message;
    EXPECT_EQ(FirstLine(run.err), c.message);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o.jpg"));
}

TEST_F(QuarvelleCut, WrongArgumentsShowTheUsage) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"--size", "176x220", "only-source.jpg"},
      {"--size", "176by220", "a.jpg", "b.jpg"},
      {"--size", "0x220", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--offset", "1", "--center", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--offset", "ten", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--compression", "101", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--bogus", "a.jpg", "b.jpg"},
      {"a.jpg", "b.jpg"},
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
