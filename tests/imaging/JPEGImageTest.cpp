#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "imaging/JPEGImage.h"
#include "imaging/SafeWriter.h"
#include "job/Errors.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using qv::TBGR;
using qv::TJPEGImage;
using qv::TPixelImage;
using namespace qvtest;

namespace {

int JpegCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const qv::EJPEG& error) {
    EXPECT_EQ(error.what(), "JPEG error #" + std::to_string(error.code()));
    return error.code();
  }
  return 0;
}

class JPEGImageTest : public ::testing::Test {
protected:
  TTempDir dir;
};

} // namespace

TEST_F(JPEGImageTest, ReadParsesOnlyTheHeaderAndReportsDamage) {
  TJPEGImage image;
  image.ReadJpegFile(WriteJpeg(dir / "gray.jpg", {.width = 37, .height = 21, .components = 1}));
  EXPECT_EQ(image.Width(), 37);
  EXPECT_EQ(image.Height(), 21);
  EXPECT_FALSE(image.HasPixels());
  EXPECT_TRUE(image.Data()->grayscale);

  struct Case { Bytes bytes; int code; };
  for (const Case& c : {Case{{'G', 'I', 'F', '8', '9', 'a'}, 53}, Case{{0xFF}, 53}, Case{{0xFF, 0xD8}, 51}}) {
    WriteBytes(dir / "bad.jpg", c.bytes);
    image.AssignPixels(TPixelImage(3, 3));
    EXPECT_EQ(JpegCode([&] { image.ReadJpegFile(dir / "bad.jpg"); }), c.code);
    // The bytes stay, without pixels and with a size of 0 x 0.
    EXPECT_EQ(image.Data()->bytes, c.bytes);
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.Width(), 0);
  }
  WriteBytes(dir / "empty.jpg", {});
  image.ReadJpegFile(dir / "empty.jpg");
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(JpegCode([&] { image.GetPixels(); }), 42);

  image.AssignPixels(TPixelImage(2, 2));
  try {
    image.ReadJpegFile(dir / "./sub/../missing.jpg");
    ADD_FAILURE() << "a missing file was read";
  } catch (const qv::EFOpenError& error) {
    EXPECT_EQ(error.what(), "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory");
  }
  EXPECT_TRUE(image.HasPixels()); // unchanged
}

// Colour files come out as djpeg's RGB, blue first; grayscale files, and every file on a
// display of 8 bits or fewer, quantised to 236 colours as djpeg does it with -colors 236.
// Its defaults are the library's, which the decoder keeps: Floyd-Steinberg dithering, and
// the two-pass quantiser for colour (grayscale always takes the one-pass one).
TEST_F(JPEGImageTest, DecodesAsDjpegDoesAndOnlyOnce) {
  const ColourFn ramp = [](int x, int y) { return TBGR{0, 0, uint8_t(x + y)}; };
  struct Case {
    const char* name;
    TJpegKind kind;
    ColourFn colour = Pattern;
    size_t percentKept = 100;
    int depth = 24;
  };
  const std::vector<std::string> quantised = {"-colors", "236"};
  const Case cases[] = {
      {"baseline", {.width = 45, .height = 33, .quality = 80}},
      {"one column", {.width = 1, .height = 9}},
      {"progressive", {.width = 61, .height = 47, .progressive = true, .quality = 80}},
      {"4:4:4", {.width = 30, .height = 20, .fullChroma = true}},
      {"cut off at 70 %", {.width = 64, .height = 256}, Pattern, 70},
      {"grayscale", {.width = 256, .height = 8, .components = 1}, ramp},
      {"colour on a shallow display", {.width = 64, .height = 64}, Pattern, 100, 8},
      {"grayscale on a shallow display", {.width = 40, .height = 30, .components = 1}, ramp, 100, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes whole = MakeJpeg(c.kind, c.colour);
    WriteBytes(dir / "c.jpg", CutAt(whole, whole.size() * c.percentKept / 100));
    TJPEGImage image;
    image.ReadJpegFile(dir / "c.jpg");
    qv::SetDisplayColorDepth(c.depth);
    const TPixelImage pixels = image.GetPixels();
    qv::SetDisplayColorDepth(24);
    const bool quantise = c.kind.components == 1 || c.depth <= 8;
    EXPECT_EQ(Difference(Djpeg(dir / "c.jpg", quantise ? quantised : std::vector<std::string>{}), pixels), "");
    EXPECT_TRUE(image.GetPixels().SharesStorageWith(pixels)) << "decoded twice";
  }
}

TEST_F(JPEGImageTest, PixelsAndBytesComeBackUnchanged) {
  TPixelImage given = MakeImage(2, 2, [](int x, int y) { return TBGR{uint8_t(1 + x), uint8_t(200 + y), uint8_t(7 * x)}; });
  TJPEGImage first, second, third;
  first.AssignPixels(given);
  second.CopyFrom(first);
  third.CopyFrom(second);
  EXPECT_FALSE(third.HasData());
  EXPECT_EQ(third.GetPixels(), given);

  std::string source = WriteJpeg(dir / "source.jpg", {.width = 33, .height = 17, .quality = 83});
  TJPEGImage read;
  read.ReadJpegFile(source);
  read.WriteJpegFile(dir / "copy.jpg");
  read.GetPixels();
  read.WriteJpegFile(dir / "decoded-copy.jpg");
  EXPECT_EQ(ReadBytes(dir / "copy.jpg"), ReadBytes(source));
  EXPECT_EQ(ReadBytes(dir / "decoded-copy.jpg"), ReadBytes(source));

  TJPEGImage nothing, narrow;
  nothing.WriteJpegFile(dir / "nothing.jpg");
  narrow.AssignPixels(TPixelImage(0, 5));
  narrow.WriteJpegFile(dir / "narrow.jpg");
  EXPECT_TRUE(ReadBytes(dir / "nothing.jpg").empty());
  EXPECT_TRUE(ReadBytes(dir / "narrow.jpg").empty());
}

// The library's defaults, the float DCT and the quality with baseline forcing: what cjpeg
// writes with those switches. Quality 0 is written as quality 1.
TEST_F(JPEGImageTest, EncodesAsCjpegDoes) {
  const TPixelImage pixels = MakeImage(45, 31, Pattern);
  for (auto [quality, written] : {std::pair{0, 1}, {1, 1}, {75, 75}, {100, 100}}) {
    TJPEGImage image;
    image.AssignPixels(pixels);
    image.quality = static_cast<uint8_t>(quality);
    image.WriteJpegFile(dir / "q.jpg");
    EXPECT_EQ(Difference(Cjpeg(pixels, written), ReadBytes(dir / "q.jpg")), "") << "quality " << quality;
    EXPECT_EQ(image.Data()->bytes, ReadBytes(dir / "q.jpg"));
  }
}

namespace {

// The real calls, with a disk that fills up after some writes, or a close that fails.
class TFailingFileSystem : public qv::ISafeFileSystem {
public:
  int CreateTemporary(const std::string& target, std::string& temp) override {
    return real.CreateTemporary(target, temp);
  }
  ssize_t Write(int fd, const uint8_t* data, size_t size) override {
    if (writesLeft-- > 0)
      return real.Write(fd, data, size > 1 ? size / 2 : size);
    errno = ENOSPC;
    return -1;
  }
  int Close(int fd) override { return real.Close(fd) != 0 || failClose ? -1 : 0; }
  int Rename(const std::string& from, const std::string& to) override { return real.Rename(from, to); }
  void Remove(const std::string& path) override { real.Remove(path); }

  qv::ISafeFileSystem& real = qv::PosixFileSystem();
  int writesLeft = 1000;
  bool failClose = false;
};

} // namespace

TEST_F(JPEGImageTest, FailedWritesKeepTheEarlierFileAndLeaveNothing) {
  const Bytes earlier = {'o', 'l', 'd'};
  TFailingFileSystem fullDisk, failedClose, halves;
  fullDisk.writesLeft = 1;
  failedClose.failClose = true;
  TJPEGImage image;
  image.AssignPixels(MakeImage(40, 40, Pattern));
  for (TFailingFileSystem* fs : {&fullDisk, &failedClose}) {
    WriteBytes(dir / "out.jpg", earlier);
    EXPECT_THROW(image.WriteJpegFile(dir / "out.jpg", *fs), qv::EWriteError);
    EXPECT_EQ(ReadBytes(dir / "out.jpg"), earlier);
    EXPECT_EQ(dir.Everything(), std::set<std::string>{"out.jpg"});
  }
  // Too wide for the encoder: fails while encoding.
  TJPEGImage tooWide;
  tooWide.AssignPixels(TPixelImage(65501, 1));
  EXPECT_EQ(JpegCode([&] { tooWide.WriteJpegFile(dir / "out.jpg"); }), 41);
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), earlier);
  EXPECT_EQ(dir.Everything(), std::set<std::string>{"out.jpg"});
  // Partial writes that go through are carried on to the end.
  image.WriteJpegFile(dir / "out.jpg", halves);
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), image.Data()->bytes);

  std::filesystem::create_directory(dir / "folder");
  struct Case { std::string path, reason; };
  for (const Case& c : {Case{dir / "none/x.jpg", "No such file or directory"}, Case{dir / "folder", "Is a directory"}}) {
    try {
      image.WriteJpegFile(c.path);
      ADD_FAILURE() << c.path << " was written";
    } catch (const qv::EFCreateError& error) {
      EXPECT_EQ(error.what(), "Cannot create file \"" + c.path + "\". " + c.reason);
    }
  }
  EXPECT_EQ(dir.Everything(), (std::set<std::string>{"folder", "out.jpg"}));
}
