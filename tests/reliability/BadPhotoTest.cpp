// Photos that are damaged, odd or too large: each gives its designed result or a clear
// error, and the crop window goes on working with the next file.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

#include "support/Photos.h"
#include "support/TempDir.h"
#include "imaging/CropModel.h"
#include "imaging/JPEGImage.h"
#include "imaging/SourceFile.h"
#include "job/Errors.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_UNDER_ASAN
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_UNDER_ASAN
#endif
#endif

using namespace qvtest;

namespace {

std::string JpegError(int code) {
  return "JPEG error #" + std::to_string(code) + ".";
}

class BadPhoto : public ::testing::Test {
protected:
  std::string Put(const std::string& name, const Bytes& bytes) {
    WriteBytes(dir / name, bytes);
    return dir / name;
  }
  // What the error box shows for opening path at 176 x 220, or "" when it opened.
  std::string Open(const std::string& path, qv::TTarget target = {176, 220, 0}) {
    try {
      model.openfile(path, [&] { return target; }, view);
    } catch (const std::exception& error) {
      return qv::ErrorBoxText(error.what());
    }
    return "";
  }
  // After any failure the next good photo opens and saves as ever.
  void ExpectStillWorking() {
    ASSERT_EQ(Open(good), "");
    EXPECT_EQ(std::pair(model.displayed.Width(), model.displayed.Height()), std::pair(330, 220));
    model.Savefile(dir / "after.JPG", {176, 220, 0});
    qv::TJPEGImage written;
    written.ReadJpegFile(dir / "after.JPG");
    EXPECT_EQ(std::pair(written.Width(), written.Height()), std::pair(176, 220));
  }

  TTempDir dir;
  qv::TCropModel model;
  qv::TPlainCropView view;
  Bytes baseline = MakeJpeg({.width = 48, .height = 32});
  std::string good = Put("good.jpg", baseline);
};

} // namespace

TEST_F(BadPhoto, BrokenFilesGiveTheirExactError) {
  const Bytes progressive = MakeJpeg({.width = 48, .height = 32, .progressive = true});
  const size_t scan = ScanStart(baseline);
  Bytes sofAsSos = baseline;
  sofAsSos[FindMarker(baseline, 0xC0) + 1] = 0xDA;
  Bytes lostTables = baseline;
  lostTables[FindMarker(baseline, 0xDB)] = 0x00;
  Bytes badLength = baseline;
  badLength[FindMarker(baseline, 0xC0) + 3] = 0x05;
  Bytes unknownProcess = baseline;
  unknownProcess[FindMarker(baseline, 0xC0) + 1] = 0xC3; // lossless
  struct Case {
    const char* name;
    Bytes bytes;
    std::string shown;
  };
  const Case cases[] = {
      {"empty", {}, "Invalid floating point operation."},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, JpegError(JERR_NO_SOI)},
      {"only the start marker", {0xFF, 0xD8}, JpegError(JERR_NO_IMAGE)},
      {"cut off before the frame header", CutAt(baseline, FindMarker(baseline, 0xC0)), JpegError(JERR_NO_IMAGE)},
      {"cut off inside the frame header", CutAt(baseline, FindMarker(baseline, 0xC0) + 6), JpegError(JERR_BAD_LENGTH)},
      // The frame is complete: the scan reads the end-of-image marker as its last bytes.
      {"cut off inside the scan header", CutAt(baseline, scan - 3), ""},
      {"frame header turned into a scan", sofAsSos, JpegError(JERR_SOS_NO_SOF)},
      {"tables marker lost", lostTables, JpegError(JERR_NO_QUANT_TABLE)},
      {"frame header with a wrong length", badLength, JpegError(JERR_BAD_LENGTH)},
      {"lossless process", unknownProcess, JpegError(JERR_SOF_UNSUPPORTED)},
      {"CMYK", MakeJpeg({.width = 16, .height = 16, .components = 4}), JpegError(JERR_CONVERSION_NOTIMPL)},
      // libjpeg62-turbo decodes 8-bit samples only and says so for a 12-bit file.
      {"12-bit", WithPrecision(baseline, 12), JpegError(JERR_BAD_PRECISION)},
      {"12-bit progressive", WithPrecision(progressive, 12), JpegError(JERR_BAD_PRECISION)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Open(Put("bad.jpg", c.bytes), {120, 96, 0}), c.shown);
    ExpectStillWorking();
  }
}

TEST_F(BadPhoto, OddButValidFilesOpenAsDesigned) {
  struct Case {
    const char* name;
    TJpegKind kind;
  };
  const Case cases[] = {
      {"progressive", {.width = 60, .height = 40, .progressive = true}},
      {"arithmetic-coded", {.width = 60, .height = 40, .arithmetic = true}},
      {"4:4:4", {.width = 60, .height = 40, .fullChroma = true}},
      {"grayscale", {.width = 60, .height = 40, .components = 1}},
      {"restart markers", {.width = 60, .height = 40, .restartRows = 1}},
      {"two rows", {.width = 60, .height = 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Open(Put("odd.jpg", MakeJpeg(c.kind))), "");
    EXPECT_EQ(std::pair(model.displayed.Width(), model.displayed.Height()),
              std::pair(c.kind.width * 220 / c.kind.height, 220));
  }
  // Cut off in the scan data: it opens, the missing rows filled by the library.
  const size_t scan = ScanStart(baseline);
  EXPECT_EQ(Open(Put("cut.jpg", CutAt(baseline, scan + (baseline.size() - scan) / 3))), "");
  EXPECT_EQ(model.displayed.Height(), 220);
  // One row is too few for the resize, as designed.
  EXPECT_EQ(Open(Put("line.jpg", MakeJpeg({.width = 60, .height = 1}))), "Scan line index out of range.");
  ExpectStillWorking();
}

TEST_F(BadPhoto, PicturesTooLargeForMemoryAreRefusedWithOutOfMemory) {
  // Headers that claim far more than the data holds: the size is read, the decode refused
  // before the library or the picture takes the memory.
  for (auto [w, h] : {std::pair<uint16_t, uint16_t>{65500, 65500}, {30000, 20000}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    for (const Bytes& jpeg : {baseline, MakeJpeg({.width = 48, .height = 32, .progressive = true})}) {
      const std::string path = Put("huge.jpg", WithSize(jpeg, w, h));
      qv::TJPEGImage header;
      header.ReadJpegFile(path);
      EXPECT_EQ(std::pair(header.Width(), header.Height()), std::pair(int32_t(w), int32_t(h)));
      EXPECT_THROW(header.GetPixels(), qv::EOutOfMemory);
      EXPECT_EQ(Open(path), "Out of memory.");
      ExpectStillWorking();
    }
  }
  // A small picture whose fit would not: 65500 x 2 fitted to a height of 220 is shown
  // more than seven million pixels wide.
  EXPECT_EQ(Open(Put("panorama.jpg", WithSize(baseline, 65500, 2))), "Out of memory.");
  ExpectStillWorking();
  // The largest picture that is allowed is still made.
  EXPECT_TRUE(qv::PictureFits(18918, 18918));
  EXPECT_FALSE(qv::PictureFits(18919, 18919));
  EXPECT_FALSE(qv::PictureFits(65500, 65500));
  EXPECT_THROW(qv::TPixelImage(65500, 65500), qv::EOutOfMemory);
}

TEST_F(BadPhoto, AFileLargerThanMemoryIsRefusedWithOutOfMemory) {
#ifdef QV_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer ends the program where operator new would throw std::bad_alloc";
#endif
  // Sparse, so it takes no room on the disk; reading it whole cannot be done.
  const std::string path = dir / "vast.jpg";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const bool sized = ::ftruncate(fd, off_t(1) << 42) == 0;
  ::close(fd);
  if (!sized)
    GTEST_SKIP() << "the file system holds no 4 TiB file";
  EXPECT_EQ(Open(path), "Out of memory.");
  ExpectStillWorking();
}

TEST_F(BadPhoto, ASourceThatIsAPipeDoesNotHangTheRun) {
  const std::string path = dir / "pipe.jpg";
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  // Nobody writes to it: it reads as an empty file.
  EXPECT_EQ(Open(path), "Invalid floating point operation.");
  EXPECT_EQ(Open(dir.path()), "Cannot open file \"" + dir.path() + "\". Is a directory.");
  ExpectStillWorking();
}

TEST_F(BadPhoto, PathsHoldingANulAreRefusedNotCutShort) {
  // Cut at the NUL, the name would be good.jpg.
  const std::string withNul = good + std::string(1, '\0') + "x.jpg";
  EXPECT_EQ(Open(withNul), "Cannot open file \"" + good + "?x.jpg\". Invalid argument.");
  ASSERT_EQ(Open(good), "");
  const std::string target = dir / "after.JPG" + std::string(1, '\0') + ".JPG";
  const std::set<std::string> before = dir.Everything();
  try {
    model.Savefile(target, {176, 220, 0});
    ADD_FAILURE() << "saved";
  } catch (const qv::EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + dir / "after.JPG?.JPG\". Invalid argument");
  }
  EXPECT_EQ(dir.Everything(), before);
}

TEST(ErrorTexts, NameTheFileThePathNames) {
  struct Case {
    std::string path, shown;
  };
  for (const Case& c : {Case{"/a/b//../x", "/a/x"}, Case{"/a//b/../x", "/a//x"}, Case{"/a//..//x", "//x"},
                        Case{"/a/b/./../c/x", "/a/c/x"}, Case{"/../x", "/x"}})
    EXPECT_EQ(qv::ExpandFileName(c.path), c.shown) << c.path;
}
