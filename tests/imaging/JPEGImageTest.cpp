#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
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

std::set<uint32_t> Colours(const TPixelImage& image) {
  std::set<uint32_t> colours;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      TBGR c = image.Pixel(x, y);
      colours.insert(c.b << 16 | c.g << 8 | c.r);
    }
  return colours;
}

// Every quantisation table value of a baseline stream.
std::vector<int> QuantisationValues(const Bytes& jpeg) {
  std::vector<int> values;
  for (size_t i = 2; i + 4 < jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA;) {
    size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDB)
      for (size_t t = i + 4; t + 65 <= i + 2 + length; t += 65)
        values.insert(values.end(), jpeg.begin() + static_cast<ptrdiff_t>(t) + 1, jpeg.begin() + static_cast<ptrdiff_t>(t) + 65);
    i += 2 + length;
  }
  return values;
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

TEST_F(JPEGImageTest, ReadParsesOnlyTheHeader) {
  TJPEGImage image;
  image.ReadJpegFile(Jpeg("colour.jpg", 37, 21));
  EXPECT_EQ(image.Width(), 37);
  EXPECT_EQ(image.Height(), 21);
  EXPECT_TRUE(image.HasData());
  EXPECT_FALSE(image.HasPixels());
  EXPECT_FALSE(image.Data()->grayscale);
  image.ReadJpegFile(Jpeg("gray.jpg", 5, 8, {.components = 1}));
  EXPECT_TRUE(image.Data()->grayscale);
  EXPECT_EQ(image.Width(), 5);
}

TEST_F(JPEGImageTest, DamagedAndEmptyFilesGiveTheLibrarysCode) {
  struct Case { const char* name; Bytes bytes; int code; };
  const Case cases[] = {{"gif", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, 53}, {"one byte", {0xFF}, 53},
                        {"only SOI", {0xFF, 0xD8}, 51}};
  for (const Case& c : cases) {
    WriteBytes(dir / "bad.jpg", c.bytes);
    TJPEGImage image;
    image.AssignPixels(TPixelImage(3, 3));
    EXPECT_EQ(JpegCode([&] { image.ReadJpegFile(dir / "bad.jpg"); }), c.code) << c.name;
    // The bytes stay, the size is 0 x 0.
    EXPECT_EQ(image.Data()->bytes, c.bytes) << c.name;
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.Width(), 0);
  }
  WriteBytes(dir / "empty.jpg", {});
  TJPEGImage empty;
  empty.ReadJpegFile(dir / "empty.jpg");
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_EQ(empty.Height(), 0);
  EXPECT_EQ(JpegCode([&] { empty.GetPixels(); }), 42);
}

TEST_F(JPEGImageTest, MissingFileNamesTheFullPathAndChangesNothing) {
  TJPEGImage image;
  image.AssignPixels(TPixelImage(2, 2));
  try {
    image.ReadJpegFile(dir.path() + "/./sub/../missing.jpg");
    FAIL() << "a missing file was read";
  } catch (const qv::EFOpenError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory");
  }
  EXPECT_TRUE(image.HasPixels());
}

TEST_F(JPEGImageTest, ColourDecodeIsTheLibrarysFloatDecodeBlueFirst) {
  struct Case { int w, h; bool progressive; };
  for (auto [w, h, progressive] : {Case{45, 33, false}, Case{16, 16, false}, Case{1, 9, false}, Case{61, 47, true}}) {
    Bytes jpeg = MakeJpeg(w, h, Pattern, {.quality = 80, .progressive = progressive});
    WriteBytes(dir / "c.jpg", jpeg);
    TJPEGImage image;
    image.ReadJpegFile(dir / "c.jpg");
    TPixelImage pixels = image.GetPixels();
    EXPECT_TRUE(pixels == ReferenceDecode(jpeg)) << w << "x" << h;
    EXPECT_TRUE(image.GetPixels().SharesStorageWith(pixels)) << "decoded twice";
  }
}

TEST_F(JPEGImageTest, CutOffFileDecodesAsFarAsItGoes) {
  Bytes whole = MakeJpeg(64, 256, Pattern);
  WriteBytes(dir / "cut.jpg", Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(whole.size() * 7 / 10)));
  TJPEGImage cut;
  cut.ReadJpegFile(dir / "cut.jpg");
  ASSERT_EQ(cut.Width(), 64);
  TPixelImage pixels = cut.GetPixels();
  TPixelImage full = ReferenceDecode(whole);
  ASSERT_EQ(pixels.Height(), 256);
  // Rows well above the cut decode as in the whole file.
  int differing = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      differing += !(pixels.Pixel(x, y) == full.Pixel(x, y));
  EXPECT_EQ(differing, 0);
  differing = 0;
  for (int x = 0; x < 64; ++x)
    differing += !(pixels.Pixel(x, 255) == full.Pixel(x, 255));
  EXPECT_GT(differing, 0) << "the file was not cut";
}

TEST_F(JPEGImageTest, GrayAndShallowDisplayDecodesAreQuantised) {
  TJPEGImage gray;
  WriteBytes(dir / "g.jpg", MakeJpeg(256, 8, [](int x, int) { return TBGR{0, 0, static_cast<uint8_t>(x)}; },
                                     {.components = 1}));
  gray.ReadJpegFile(dir / "g.jpg");
  TPixelImage pixels = gray.GetPixels();
  std::set<int> levels;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 256; ++x) {
      TBGR c = pixels.Pixel(x, y);
      ASSERT_TRUE(c.b == c.g && c.g == c.r) << x << "," << y;
      levels.insert(c.b);
    }
  EXPECT_LE(levels.size(), 236u);
  EXPECT_GE(levels.size(), 150u);

  std::string colour = Jpeg("c.jpg", 64, 64);
  TJPEGImage deep;
  deep.ReadJpegFile(colour);
  EXPECT_GT(Colours(deep.GetPixels()).size(), 236u);
  qv::SetDisplayColorDepth(8);
  TJPEGImage shallow;
  shallow.ReadJpegFile(colour);
  size_t shallowColours = Colours(shallow.GetPixels()).size();
  qv::SetDisplayColorDepth(24);
  EXPECT_LE(shallowColours, 236u);
}

TEST_F(JPEGImageTest, FourComponentFilesAreRefused) {
  TJPEGImage image;
  image.ReadJpegFile(Jpeg("cmyk.jpg", 8, 8, {.components = 4}));
  EXPECT_NE(JpegCode([&] { image.GetPixels(); }), 0);
  EXPECT_FALSE(image.HasPixels());
}

TEST_F(JPEGImageTest, AssignedPixelsComeBackByteForByte) {
  TPixelImage given = MakeImage(2, 2, [](int x, int y) { return TBGR{uint8_t(1 + x), uint8_t(200 + y), uint8_t(x * y + 7)}; });
  TJPEGImage first;
  first.AssignPixels(given);
  TJPEGImage second;
  second.CopyFrom(first);
  TJPEGImage third;
  third.CopyFrom(second);
  EXPECT_FALSE(third.HasData());
  EXPECT_TRUE(third.GetPixels() == given);
}

TEST_F(JPEGImageTest, EncodingUsesDefaultsFloatDctAndBaselineQuality) {
  TPixelImage pixels = MakeImage(45, 31, Pattern);
  for (int quality : {0, 1, 75, 100}) {
    TJPEGImage image;
    image.AssignPixels(pixels);
    image.quality = static_cast<uint8_t>(quality);
    std::string path = dir / "q";
    path += std::to_string(quality);
    image.WriteJpegFile(path);
    EXPECT_EQ(ReadBytes(path), EncodeLikeTheCodec(pixels, quality)) << "quality " << quality;
    EXPECT_EQ(image.Data()->width, 45);
    EXPECT_TRUE(image.HasPixels());
  }
  EXPECT_EQ(ReadBytes(dir / "q0"), ReadBytes(dir / "q1"));
  std::vector<int> tables = QuantisationValues(ReadBytes(dir / "q100"));
  EXPECT_EQ(tables.size(), 128u);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), 1), 128);
}

TEST_F(JPEGImageTest, ReadFileIsWrittenBackUnchanged) {
  std::string source = Jpeg("source.jpg", 33, 17, {.quality = 83});
  TJPEGImage image;
  image.ReadJpegFile(source);
  image.WriteJpegFile(dir / "copy.jpg");
  image.GetPixels();
  image.WriteJpegFile(dir / "decoded-copy.jpg");
  EXPECT_EQ(ReadBytes(dir / "copy.jpg"), ReadBytes(source));
  EXPECT_EQ(ReadBytes(dir / "decoded-copy.jpg"), ReadBytes(source));
}

TEST_F(JPEGImageTest, NothingToEncodeWritesAnEmptyFile) {
  TJPEGImage nothing;
  nothing.WriteJpegFile(dir / "nothing.jpg");
  TJPEGImage narrow;
  narrow.AssignPixels(TPixelImage(0, 5));
  narrow.WriteJpegFile(dir / "narrow.jpg");
  EXPECT_TRUE(ReadBytes(dir / "nothing.jpg").empty());
  EXPECT_TRUE(ReadBytes(dir / "narrow.jpg").empty());
}

namespace {

// The real calls, with writes or the close made to fail.
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
  int Close(int fd) override {
    int result = real.Close(fd);
    return failClose ? -1 : result;
  }
  int Rename(const std::string& from, const std::string& to) override { return real.Rename(from, to); }
  void Remove(const std::string& path) override { real.Remove(path); }

  qv::ISafeFileSystem& real = qv::PosixFileSystem();
  int writesLeft = 1000;
  bool failClose = false;
};

} // namespace

TEST_F(JPEGImageTest, FailedWritesKeepTheEarlierFileAndLeaveNothingBehind) {
  const Bytes earlier = {'o', 'l', 'd'};
  TFailingFileSystem shortWrite;
  shortWrite.writesLeft = 1;
  TFailingFileSystem failedClose;
  failedClose.failClose = true;
  for (TFailingFileSystem* fs : {&shortWrite, &failedClose}) {
    WriteBytes(dir / "out.jpg", earlier);
    TJPEGImage image;
    image.AssignPixels(MakeImage(40, 40, Pattern));
    try {
      image.WriteJpegFile(dir / "out.jpg", *fs);
      ADD_FAILURE() << "a failed write passed";
    } catch (const qv::EWriteError& error) {
      EXPECT_STREQ(error.what(), "Stream write error");
    }
    EXPECT_EQ(ReadBytes(dir / "out.jpg"), earlier);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
  }

  // A picture too wide for the encoder fails while encoding.
  TJPEGImage tooWide;
  tooWide.AssignPixels(TPixelImage(65501, 1));
  EXPECT_EQ(JpegCode([&] { tooWide.WriteJpegFile(dir / "out.jpg"); }), 41);
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), earlier);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});

  // Half-size writes that do go through are completed.
  TFailingFileSystem halves;
  halves.writesLeft = 1000;
  TJPEGImage image;
  image.AssignPixels(MakeImage(40, 40, Pattern));
  image.WriteJpegFile(dir / "out.jpg", halves);
  EXPECT_EQ(ReadBytes(dir / "out.jpg"), image.Data()->bytes);
}

TEST_F(JPEGImageTest, TargetThatCannotBeCreated) {
  struct Case { std::string path, reason; };
  std::filesystem::create_directory(dir / "folder");
  for (const Case& c : {Case{dir / "none/x.jpg", "No such file or directory"}, Case{dir / "folder", "Is a directory"}}) {
    TJPEGImage image;
    image.AssignPixels(MakeImage(4, 4, Pattern));
    try {
      image.WriteJpegFile(c.path);
      ADD_FAILURE() << c.path << " was written";
    } catch (const qv::EFCreateError& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + c.path + "\". " + c.reason);
    }
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"folder"});
}
