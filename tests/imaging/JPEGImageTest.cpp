#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>

#include "JpegFixtures.h"
#include "imaging/JPEGImage.h"
#include "imaging/SafeWriter.h"
#include "job/Errors.h"

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

size_t ColourCount(const TPixelImage& image) {
  std::set<uint32_t> colours;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      TBGR c = image.Pixel(x, y);
      colours.insert(c.b << 16 | c.g << 8 | c.r);
    }
  return colours.size();
}

class JPEGImageTest : public ::testing::Test {
protected:
  std::string Jpeg(const std::string& name, int w, int h, const TJpegOptions& options = {}) {
    WriteBytes(dir / name, MakeJpeg(w, h, Pattern, options));
    return dir / name;
  }
  TTempDir dir;
};

} // namespace

TEST_F(JPEGImageTest, ReadParsesOnlyTheHeaderAndReportsDamage) {
  TJPEGImage image;
  image.ReadJpegFile(Jpeg("gray.jpg", 37, 21, {.components = 1}));
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

TEST_F(JPEGImageTest, DecodesAsTheLibraryDoesBlueFirstAndOnlyOnce) {
  struct Case { int w, h; bool progressive; };
  for (auto [w, h, progressive] : {Case{45, 33, false}, Case{1, 9, false}, Case{61, 47, true}}) {
    Bytes jpeg = MakeJpeg(w, h, Pattern, {.quality = 80, .progressive = progressive});
    WriteBytes(dir / "c.jpg", jpeg);
    TJPEGImage image;
    image.ReadJpegFile(dir / "c.jpg");
    TPixelImage pixels = image.GetPixels();
    EXPECT_EQ(pixels, ReferenceDecode(jpeg)) << w << "x" << h;
    EXPECT_TRUE(image.GetPixels().SharesStorageWith(pixels)) << "decoded twice";
  }
  TJPEGImage cmyk;
  cmyk.ReadJpegFile(Jpeg("cmyk.jpg", 8, 8, {.components = 4}));
  EXPECT_NE(JpegCode([&] { cmyk.GetPixels(); }), 0);
}

TEST_F(JPEGImageTest, CutOffFileDecodesAsFarAsItGoes) {
  Bytes whole = MakeJpeg(64, 256, Pattern);
  WriteBytes(dir / "cut.jpg", Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(whole.size() * 7 / 10)));
  TJPEGImage cut;
  cut.ReadJpegFile(dir / "cut.jpg");
  TPixelImage pixels = cut.GetPixels();
  TPixelImage full = ReferenceDecode(whole);
  ASSERT_EQ(pixels.Height(), 256);
  int top = 0, bottom = 0;
  for (int x = 0; x < 64; ++x) {
    for (int y = 0; y < 64; ++y)
      top += !(pixels.Pixel(x, y) == full.Pixel(x, y));
    bottom += !(pixels.Pixel(x, 255) == full.Pixel(x, 255));
  }
  EXPECT_EQ(top, 0) << "rows well above the cut";
  EXPECT_GT(bottom, 0) << "the file was not cut";
}

TEST_F(JPEGImageTest, GrayAndShallowDisplayDecodesAreQuantised) {
  TJPEGImage gray;
  WriteBytes(dir / "g.jpg", MakeJpeg(256, 8, [](int x, int) { return TBGR{0, 0, uint8_t(x)}; }, {.components = 1}));
  gray.ReadJpegFile(dir / "g.jpg");
  TPixelImage pixels = gray.GetPixels();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 256; ++x) {
      TBGR c = pixels.Pixel(x, y);
      ASSERT_TRUE(c.b == c.g && c.g == c.r) << x << "," << y;
    }
  EXPECT_LE(ColourCount(pixels), 236u);
  EXPECT_GE(ColourCount(pixels), 150u);

  TJPEGImage deep, shallow;
  deep.ReadJpegFile(Jpeg("c.jpg", 64, 64));
  shallow.CopyFrom(deep);
  EXPECT_GT(ColourCount(deep.GetPixels()), 236u);
  qv::SetDisplayColorDepth(8);
  size_t shallowColours = ColourCount(shallow.GetPixels());
  qv::SetDisplayColorDepth(24);
  EXPECT_LE(shallowColours, 236u);
}

TEST_F(JPEGImageTest, PixelsAndBytesComeBackUnchanged) {
  TPixelImage given = MakeImage(2, 2, [](int x, int y) { return TBGR{uint8_t(1 + x), uint8_t(200 + y), uint8_t(7 * x)}; });
  TJPEGImage first, second, third;
  first.AssignPixels(given);
  second.CopyFrom(first);
  third.CopyFrom(second);
  EXPECT_FALSE(third.HasData());
  EXPECT_EQ(third.GetPixels(), given);

  std::string source = Jpeg("source.jpg", 33, 17, {.quality = 83});
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

TEST_F(JPEGImageTest, EncodesWithDefaultsFloatDctAndBaselineQuality) {
  TPixelImage pixels = MakeImage(45, 31, Pattern);
  std::map<int, Bytes> files;
  for (int quality : {0, 1, 75, 100}) {
    TJPEGImage image;
    image.AssignPixels(pixels);
    image.quality = static_cast<uint8_t>(quality);
    image.WriteJpegFile(dir / "q.jpg");
    files[quality] = ReadBytes(dir / "q.jpg");
    EXPECT_EQ(files[quality], EncodeLikeTheCodec(pixels, quality)) << "quality " << quality;
    EXPECT_EQ(image.Data()->bytes, files[quality]);
  }
  EXPECT_EQ(files[0], files[1]);
  // Quality 100: each of the two tables (FF DB, length 67, 1 + 64 bytes) holds only ones.
  const Bytes& best = files[100];
  const uint8_t marker[] = {0xFF, 0xDB, 0x00, 0x43};
  int tables = 0;
  for (auto at = best.begin(); (at = std::search(at, best.end(), marker, marker + 4)) != best.end(); at += 4, ++tables)
    EXPECT_EQ(std::count(at + 5, at + 69, 1), 64);
  EXPECT_EQ(tables, 2);
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
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
  }
  // Too wide for the encoder: fails while encoding.
  TJPEGImage tooWide;
  tooWide.AssignPixels(TPixelImage(65501, 1));
  EXPECT_EQ(JpegCode([&] { tooWide.WriteJpegFile(dir / "out.jpg"); }), 41);
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), earlier);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
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
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "out.jpg"}));
}
