#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/LanczosResize.h"
#include "imaging/Orientation.h"
#include "imaging/SmoothResize.h"
#include "support/FormatFiles.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using namespace qvtest;

namespace {

class QuarvelleCut : public ::testing::Test {
protected:
  TRun Cut(std::vector<std::string> args) {
    args.insert(args.begin(), QV_CUT_PROGRAM);
    return qvtest::Run(args);
  }
  std::string Source(const std::string& name, int w, int h) { return WriteJpeg(dir / name, {w, h}); }
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
    TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.line + "\n");
  }
}

// The fitted picture it shows is the resize of djpeg's picture, and the wallpaper cjpeg's
// file of the frame's region of it, at quality 100 - 30.
TEST_F(QuarvelleCut, WritesCjpegsFileOfTheFramesRegion) {
  const std::string tall = Source("tall.jpg", 500, 1000);
  TRun run = Cut({"--size", "240x320", "--offset", "100", "--compression", "30", "--display-ppm", dir / "shown.ppm",
                  tall, dir / "out.jpg"});
  ASSERT_EQ(run.status, 0) << run.err;
  const qv::TPixelImage shown = FromPnm(ReadBytes(dir / "shown.ppm"));
  qv::TPixelImage expected;
  qv::SmoothResize(240, 480, Djpeg(tall), expected);
  EXPECT_EQ(Difference(expected, shown), "");
  const qv::TPixelImage cut = MakeImage(240, 320, [&](int x, int y) { return shown.Pixel(x, y + 100); });
  EXPECT_EQ(Difference(Cjpeg(cut, 70), ReadBytes(dir / "out.jpg")), "");
}

// --filter bilinear is the resize without the option, byte for byte; --filter lanczos3 shows
// the Lanczos reduction of djpeg's picture and writes cjpeg's file of the frame's region of
// it, the same whether the fitted picture is asked for or only the part under the frame is
// made; turned photos too.
TEST_F(QuarvelleCut, FilterChoosesTheResize) {
  const std::string tall = Source("tall.jpg", 500, 1000);
  WriteBytes(dir / "tagged.jpg", WithOrientation(MakeJpeg({1000, 500}), 6));
  const std::vector<std::string> frame = {"--size", "240x320", "--offset", "100", "--compression", "10"};
  auto cut = [&](std::vector<std::string> more, const std::string& source, const std::string& out) {
    std::vector<std::string> args = frame;
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {source, dir / out});
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "fit=width display=240x480 frame=0,100\n");
    return ReadBytes(dir / out);
  };
  for (const std::string& source : {tall, dir / "tagged.jpg"}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(cut({"--filter", "bilinear"}, source, "bilinear.jpg"), cut({}, source, "default.jpg"));
    const Bytes framed = cut({"--filter", "lanczos3"}, source, "framed.jpg");
    const Bytes whole = cut({"--filter=lanczos3", "--display-ppm", dir / "shown.ppm"}, source, "whole.jpg");
    EXPECT_EQ(Difference(whole, framed), "");
    const qv::TPixelImage shown = FromPnm(ReadBytes(dir / "shown.ppm"));
    qv::TPixelImage expected;
    qv::LanczosResize(240, 480, qv::Orient(Djpeg(source), source == tall ? 1 : 6), expected);
    EXPECT_EQ(Difference(expected, shown), "");
    const qv::TPixelImage region = MakeImage(240, 320, [&](int x, int y) { return shown.Pixel(x, y + 100); });
    EXPECT_EQ(Difference(Cjpeg(region, 90), framed), "");
    EXPECT_NE(framed, cut({}, source, "default.jpg"));
  }
}

// The lettered squares tagged with each value in both byte orders: the line and the picture
// shown are those of the photo turned upright, or as stored with --no-orient; the wallpaper
// carries no EXIF block.
TEST_F(QuarvelleCut, TurnsTaggedPhotosUnlessToldNot) {
  const Bytes squares = MakeJpeg({.width = 48, .height = 32, .fullChroma = true, .quality = 100}, Squares);
  for (bool bigEndian : {false, true})
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(std::string(bigEndian ? "MM " : "II ") + std::to_string(orientation));
      WriteBytes(dir / "tagged.jpg", WithOrientation(squares, orientation, bigEndian));
      for (bool turn : {true, false}) {
        std::vector<std::string> args = {"--size", "16x16", "--display-ppm", dir / "shown.ppm"};
        if (!turn)
          args.push_back("--no-orient");
        args.insert(args.end(), {dir / "tagged.jpg", dir / "out.jpg"});
        const TRun run = Cut(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const bool standing = turn && orientation >= 5;
        EXPECT_EQ(run.out, standing ? "fit=width display=16x24 frame=0,0\n" : "fit=height display=24x16 frame=0,0\n");
        EXPECT_EQ(SquareLetters(FromPnm(ReadBytes(dir / "shown.ppm")), 8), kSquaresTurned[turn ? orientation - 1 : 0]);
        const Bytes written = ReadBytes(dir / "out.jpg");
        EXPECT_EQ(FindMarker(written, 0xE1), std::string::npos);
      }
    }
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
    TRun run = Cut({"--size", "176x220", c.source, c.output});
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
      {"--size", "176x220", "--filter", "lanczos", "a.jpg", "b.jpg"},
      {"--size", "176x220", "--filter", "a.jpg", "b.jpg"},
  };
  for (const auto& args : wrong) {
    TRun run = Cut(args);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage: quarvelle-cut --size WxH"), std::string::npos);
  }
  TRun help = Cut({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: quarvelle-cut --size WxH", 0), 0u);
  EXPECT_NE(help.out.find("  --no-orient "), std::string::npos);
  EXPECT_NE(help.out.find("  --filter F "), std::string::npos);
}

// A HEIC stored turned, and a PNG, WebP and AVIF of the same squares: the cutter shows each
// photo upright (the HEIC as stored with --no-orient), writes its profile into the
// wallpaper, and ends a bad file with its error and no file.
TEST_F(QuarvelleCut, OtherFormatsAreCutAsTheCropWindowCutsThem) {
  const qv::TPixelImage squares = MakeImage(48, 32, Squares);
  const Bytes profile = MakeProfile("RGB ", 3);
  THeifKind turned;
  turned.heifOrientation = 6;
  turned.profile = profile;
  WriteBytes(dir / "turned.heic", MakeHeif(qv::Orient(squares, 8), turned));
  for (bool turn : {true, false}) {
    std::vector<std::string> args = {"--size", "16x16", "--display-ppm", dir / "shown.ppm"};
    if (!turn)
      args.push_back("--no-orient");
    args.insert(args.end(), {dir / "turned.heic", dir / "out.jpg"});
    const TRun run = Cut(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, turn ? "fit=height display=24x16 frame=0,0\n" : "fit=width display=16x24 frame=0,0\n");
    EXPECT_EQ(SquareLetters(FromPnm(ReadBytes(dir / "shown.ppm")), 8), turn ? "ABC/DEF" : kSquaresTurned[7]);
    EXPECT_EQ(JpegProfile(ReadBytes(dir / "out.jpg")), profile);
  }
  TPngKind png;
  png.width = 48;
  png.height = 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      const qv::TBGR p = squares.Pixel(x, y);
      png.samples.insert(png.samples.end(), {p.r, p.g, p.b});
    }
  THeifKind avif;
  avif.avif = true;
  const Bytes files[] = {MakePng(png), MakeWebP(squares, true), MakeHeif(squares, avif)};
  for (const Bytes& file : files) {
    WriteBytes(dir / "photo", file);
    const TRun run = Cut({"--size", "16x16", "--display-ppm", dir / "shown.ppm", dir / "photo", dir / "out.jpg"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(SquareLetters(FromPnm(ReadBytes(dir / "shown.ppm")), 8), "ABC/DEF");
    std::filesystem::remove(dir / "out.jpg");
    WriteBytes(dir / "cut", CutAt(file, file.size() - 8));
    const TRun bad = Cut({"--size", "16x16", dir / "cut", dir / "out.jpg"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.substr(0, 12), "Cannot read ") << bad.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg"));
  }
}
