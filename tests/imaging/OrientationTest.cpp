#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/JpegTools.h"
#include "support/TempDir.h"
#include "imaging/CropModel.h"
#include "imaging/Exif.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"
#include "job/Errors.h"

using qv::TBGR;
using qv::TPixelImage;
using namespace qvtest;

namespace {

Bytes Exif(const Bytes& tiff) { return ExifSegment(tiff); }

Bytes Cat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

const Bytes kStart{0xFF, 0xD8};
const Bytes kJfif = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
const Bytes kFrame = Segment(0xC0, {8, 0, 3, 0, 5, 1, 1, 0x11, 0});
const Bytes kXmp = Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', 0});

Bytes File(const std::vector<Bytes>& segments) {
  Bytes out = Cat({kStart, kJfif, Cat(segments), kFrame});
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

const TIfdEntry kMake{0x010F, 2, 4, 0};

Bytes Patched(Bytes bytes, std::initializer_list<std::pair<size_t, uint8_t>> changes) {
  for (auto [at, value] : changes)
    bytes[at] = value;
  return bytes;
}

// Read from a block of exactly the bytes' size, so that AddressSanitizer sees any read past it.
int Orientation(const Bytes& bytes) {
  auto exact = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return qv::ReadOrientation(exact.get(), bytes.size());
}

} // namespace

TEST(Exif, ReadsEveryValueInBothByteOrders) {
  for (bool bigEndian : {false, true})
    for (uint32_t value = 1; value <= 8; ++value) {
      const Bytes file = File({Exif(Tiff(bigEndian, {kMake, {0x0112, 3, 1, value}}))});
      EXPECT_EQ(Orientation(file), static_cast<int>(value)) << (bigEndian ? "MM " : "II ") << value;
    }
  const Bytes three = Exif(Tiff(true, {{0x0112, 3, 1, 3}}));
  const Bytes six = Exif(Tiff(false, {kMake, {0x0112, 3, 1, 6}}));
  EXPECT_EQ(Orientation(File({kXmp, six})), 6);
  EXPECT_EQ(Orientation(File({three, six})), 3);
  EXPECT_EQ(Orientation(File({Segment(0xDB, Bytes(65, 1)), Segment(0xFE, {'h', 'i'}), six})), 6);
  // Fill bytes before a marker and a marker without a length on the way.
  EXPECT_EQ(Orientation(Cat({kStart, Bytes{0xFF, 0xFF, 0xFF}, kJfif, Bytes{0xFF, 0xD0}, six, kFrame})), 6);
  // Written by the library with a JFIF block first; the APP1 put in behind it.
  Bytes jpeg = MakeJpeg({6, 4});
  jpeg.insert(jpeg.begin() + 20, three.begin(), three.end());
  EXPECT_EQ(Orientation(jpeg), 3);
}

TEST(Exif, AnythingElseIsUpright) {
  const Bytes six = Tiff(false, {{0x0112, 3, 1, 6}});
  const uint8_t size = static_cast<uint8_t>(six.size());
  Bytes shortTiff = six;
  shortTiff.resize(7);
  Bytes lengthOne = File({});
  lengthOne.insert(lengthOne.begin() + 2 + kJfif.size(), {0xFF, 0xE1, 0x00, 0x01});
  // IFD0 without the tag, IFD1 (the thumbnail's) with it.
  Bytes withThumbnail = Tiff(false, {kMake}, 8, 26);
  const Bytes ifd1 = Tiff(false, {{0x0112, 3, 1, 6}});
  withThumbnail.insert(withThumbnail.end(), ifd1.begin() + 8, ifd1.end());

  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"start marker only", kStart},
      {"not a JPEG", Cat({Bytes{0xFF, 0xD9}, Exif(six)})},
      {"no APP1", File({})},
      {"only XMP", File({kXmp})},
      {"no 0 0 after Exif", File({Patched(Exif(six), {{9, 'x'}})})},
      {"APP1 length 1", lengthOne},
      {"TIFF shorter than its header", File({Exif(shortTiff)})},
      {"byte order IM", File({Exif(Patched(six, {{1, 'M'}}))})},
      {"magic 43", File({Exif(Patched(six, {{2, 43}}))})},
      {"magic in the other byte order", File({Exif(Patched(six, {{2, 0}, {3, 42}}))})},
      {"IFD0 at the end of the segment", File({Exif(Patched(six, {{4, size}}))})},
      {"IFD0 one byte before the end", File({Exif(Patched(six, {{4, size - 1}}))})},
      {"IFD0 offset 0xFFFFFFFF", File({Exif(Patched(six, {{4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}}))})},
      {"entry count past the segment", File({Exif(Patched(six, {{8, 2}}))})},
      {"no entries", File({Exif(Tiff(true, {}))})},
      {"no orientation entry", File({Exif(Tiff(true, {kMake}))})},
      {"only IFD1 has it", File({Exif(withThumbnail)})},
      {"type LONG", File({Exif(Tiff(true, {{0x0112, 4, 1, 6}}))})},
      {"count 2", File({Exif(Tiff(false, {{0x0112, 3, 2, 6}}))})},
      {"value 0", File({Exif(Tiff(false, {{0x0112, 3, 1, 0}}))})},
      {"value 9", File({Exif(Tiff(true, {{0x0112, 3, 1, 9}}))})},
      {"first EXIF block has no tag", File({Exif(Tiff(false, {kMake})), Exif(six)})},
      {"first EXIF block's value is 9", File({Exif(Tiff(false, {{0x0112, 3, 1, 9}})), Exif(six)})},
      {"APP1 after the frame header", Cat({kStart, kFrame, Exif(six)})},
      {"APP1 after a second start marker", Cat({kStart, kStart, Exif(six), kFrame})},
      {"garbage before the APP1", Cat({kStart, Bytes{0x00}, Exif(six), kFrame})},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Orientation(c.file), 1) << c.name;

  // Every cut of a tagged file that ends before its EXIF block does.
  const Bytes tagged = File({kXmp, Exif(six)});
  const size_t exifEnd = kStart.size() + kJfif.size() + kXmp.size() + Exif(six).size();
  for (size_t length = 0; length < exifEnd; ++length)
    EXPECT_EQ(Orientation(Bytes(tagged.begin(), tagged.begin() + static_cast<ptrdiff_t>(length))), 1)
        << "cut to " << length;
  EXPECT_EQ(Orientation(Bytes(tagged.begin(), tagged.begin() + static_cast<ptrdiff_t>(exifEnd))), 6);
}

namespace {

// A 5 x 3 picture with a letter in every pixel:
//   A B C D E
//   F G H I J
//   K L M N O
// and each turn of it worked out by hand, top row first.
struct TTurn {
  int orientation;
  std::vector<std::string> rows;
};

const TTurn kTurns[] = {
    {1, {"ABCDE", "FGHIJ", "KLMNO"}},
    {2, {"EDCBA", "JIHGF", "ONMLK"}},
    {3, {"ONMLK", "JIHGF", "EDCBA"}},
    {4, {"KLMNO", "FGHIJ", "ABCDE"}},
    {5, {"AFK", "BGL", "CHM", "DIN", "EJO"}},
    {6, {"KFA", "LGB", "MHC", "NID", "OJE"}},
    {7, {"OJE", "NID", "MHC", "LGB", "KFA"}},
    {8, {"EJO", "DIN", "CHM", "BGL", "AFK"}},
};

// Three different bytes for every letter.
TBGR Colour(char letter) {
  const uint8_t n = static_cast<uint8_t>(letter - 'A');
  return TBGR{n, static_cast<uint8_t>(200 - n), static_cast<uint8_t>(n * 7 + 1)};
}

std::string Letters(const TPixelImage& picture) {
  std::string out;
  for (int32_t y = 0; y < picture.Height(); ++y) {
    out += "\n  ";
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const TBGR c = picture.Pixel(x, y);
      out += c == Colour(static_cast<char>('A' + c.b)) ? static_cast<char>('A' + c.b) : '?';
    }
  }
  return out;
}

// Rows handed over as DecodeRows does: the size, then each row written where the sink says.
TPixelImage FeedRows(const TPixelImage& picture, int orientation) {
  qv::TOrientingSink sink(orientation);
  sink.Start(picture.Width(), picture.Height());
  for (int32_t y = 0; y < picture.Height(); ++y) {
    uint8_t* row = sink.RowFor(y);
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const TBGR c = picture.Pixel(x, y);
      row[3 * x] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
    sink.Filled(y);
  }
  return sink.Result();
}

// Where source pixel (x, y) of a w x h picture lands, by the tag's definition.
void Landing(int orientation, int32_t w, int32_t h, int32_t x, int32_t y, int32_t& u, int32_t& v) {
  switch (orientation) {
  case 2: u = w - 1 - x, v = y; break;
  case 3: u = w - 1 - x, v = h - 1 - y; break;
  case 4: u = x, v = h - 1 - y; break;
  case 5: u = y, v = x; break;
  case 6: u = h - 1 - y, v = x; break;
  case 7: u = h - 1 - y, v = w - 1 - x; break;
  case 8: u = y, v = w - 1 - x; break;
  default: u = x, v = y; break;
  }
}

// Every pixel of the turned picture against the source pixel that must land there; the
// first few that differ are listed.
::testing::AssertionResult TurnedFrom(const TPixelImage& turned, const TPixelImage& source, int orientation) {
  const bool swaps = orientation >= 5 && orientation <= 8;
  const int32_t w = source.Width(), h = source.Height();
  if (turned.Width() != (swaps ? h : w) || turned.Height() != (swaps ? w : h))
    return ::testing::AssertionFailure() << "size " << turned.Width() << "x" << turned.Height();
  std::string wrong;
  int count = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      int32_t u = 0, v = 0;
      Landing(orientation, w, h, x, y, u, v);
      if (turned.Pixel(u, v) != source.Pixel(x, y) && count++ < 5)
        wrong += " (" + std::to_string(x) + "," + std::to_string(y) + ")->(" + std::to_string(u) + "," +
                 std::to_string(v) + ")";
    }
  if (count > 0)
    return ::testing::AssertionFailure() << count << " pixels misplaced:" << wrong;
  return ::testing::AssertionSuccess();
}

// Every pixel distinct, from its coordinates.
TBGR Coordinates(int x, int y) {
  return TBGR{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>((x >> 8) | (y >> 8) << 4)};
}

} // namespace

TEST(Orientation, TurnsTheLetteredPictureBothWays) {
  const TPixelImage source = MakeImage(5, 3, [](int x, int y) { return Colour(static_cast<char>('A' + 5 * y + x)); });
  for (const TTurn& turn : kTurns) {
    std::string expected;
    for (const std::string& row : turn.rows)
      expected += "\n  " + row;
    const qv::TSize size = qv::OrientedSize(5, 3, turn.orientation);
    EXPECT_EQ(size, (qv::TSize{static_cast<int32_t>(turn.rows[0].size()), static_cast<int32_t>(turn.rows.size())}))
        << "orientation " << turn.orientation;
    EXPECT_EQ(Letters(qv::Orient(source, turn.orientation)), expected) << "whole, orientation " << turn.orientation;
    EXPECT_EQ(Letters(FeedRows(source, turn.orientation)), expected) << "rows, orientation " << turn.orientation;
  }
  // Values the reader never gives leave the picture as stored.
  for (int other : {0, 9, -6}) {
    EXPECT_EQ(qv::OrientedSize(5, 3, other), (qv::TSize{5, 3}));
    EXPECT_EQ(qv::Orient(source, other), source);
    EXPECT_EQ(FeedRows(source, other), source);
  }
}

TEST(Orientation, SinkTakesSizesAcrossItsBands) {
  const int32_t band = qv::TOrientingSink::kBandRows;
  for (int32_t w : {0, 1, 2, 7, 300})
    for (int32_t h : {1, 2, band - 1, band, band + 1, 2 * band + 5, 3 * band}) {
      const TPixelImage source = MakeImage(w, h, Coordinates);
      for (int orientation = 1; orientation <= 8; ++orientation)
        EXPECT_TRUE(TurnedFrom(FeedRows(source, orientation), source, orientation))
            << w << "x" << h << " orientation " << orientation;
    }
  // A row out of turn has no place in the band.
  qv::TOrientingSink sink(6);
  sink.Start(4, 2 * band);
  EXPECT_THROW(sink.RowFor(band), qv::EInvalidGraphicOperation);
}

// jpegtran turns the compressed blocks themselves. A picture of flat gray 16 x 16 squares
// decodes exactly, turned by it or not, so the decoder's rows turned by the sink must give
// the very pixels of jpegtran's turn decoded.
TEST(Orientation, SinkMatchesJpegtranOnTheDecodersRows) {
  const char* tool[] = {"", "-flip horizontal", "-rotate 180", "-flip vertical", "-transpose", "-rotate 90",
                        "-transverse", "-rotate 270"};
  TTempDir dir;
  const TPixelImage squares = MakeImage(80, 48, [](int x, int y) {
    const uint8_t level = static_cast<uint8_t>(10 + 16 * (y / 16 * 5 + x / 16));
    return TBGR{level, level, level};
  });
  const Bytes jpeg = Cjpeg(squares, 100);
  WriteBytes(dir / "stored.jpg", jpeg);
  qv::TJPEGData data;
  data.bytes = jpeg;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string turned = dir / ("turned" + std::to_string(orientation) + ".jpg");
    const std::string command = std::string("jpegtran -perfect ") + tool[orientation - 1] + " -outfile '" + turned +
                                "' '" + (dir / "stored.jpg") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    qv::TOrientingSink sink(orientation);
    qv::DecodeRows(data, sink);
    EXPECT_EQ(sink.Result(), Djpeg(turned)) << command;
  }
}

namespace {

// The 48 x 32 squares "ABC/DEF" as a photo, at a quality that keeps their colours.
Bytes SquaresPhoto() { return MakeJpeg({.width = 48, .height = 32, .fullChroma = true, .quality = 100}, Squares); }

// What openfile makes of the file for a 16 x 16 target: the display size, the turn it took,
// and the squares seen in the picture, halved in size.
struct TShown {
  int32_t width = 0, height = 0;
  int orientation = 0;
  std::string squares;
  bool operator==(const TShown&) const = default;
};

void PrintTo(const TShown& shown, std::ostream* out) {
  *out << shown.width << "x" << shown.height << " turned " << shown.orientation << " " << shown.squares;
}

TShown Shown(const std::string& path, bool orientByExif) {
  qv::TCropModel model;
  qv::TPlainCropView view;
  model.openfile(path, [&] { return qv::TTarget{16, 16, 0, orientByExif}; }, view);
  return TShown{view.DisplayWidth(), view.DisplayHeight(), model.orientation, SquareLetters(model.displayed.GetPixels(), 8)};
}

} // namespace

// The squares written by the test in a photo tagged with each value in both byte orders:
// the file keeps its stored size, the fit sees the turned one, and each square lands where
// the tag's turn of "ABC/DEF", worked out by hand, puts it.
TEST(Orientation, TaggedPhotoIsFittedAndShownUpright) {
  TTempDir dir;
  const std::string path = dir / "tagged.jpg";
  for (bool bigEndian : {false, true})
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(std::string(bigEndian ? "MM " : "II ") + std::to_string(orientation));
      WriteBytes(path, WithOrientation(SquaresPhoto(), orientation, bigEndian));
      qv::TJPEGImage read;
      read.ReadJpegFile(path);
      EXPECT_EQ(read.Data()->orientation, orientation);
      EXPECT_EQ(std::pair(read.Width(), read.Height()), std::pair(48, 32));
      const bool swaps = orientation >= 5;
      EXPECT_EQ(Shown(path, true), (TShown{swaps ? 16 : 24, swaps ? 24 : 16, orientation, kSquaresTurned[orientation - 1]}));
      // With the setting off the photo stays as stored.
      EXPECT_EQ(Shown(path, false), (TShown{24, 16, 1, "ABC/DEF"}));
    }
}

// Blocks the reader must pass over, in a photo the library decodes: the file opens without
// an error, as stored, exactly as without the block.
TEST(Exif, MalformedBlocksInARealPhotoLeaveItAsStored) {
  const Bytes photo = SquaresPhoto();
  const size_t afterJfif = AfterSegment(photo, 0xE0);
  const Bytes six = Tiff(false, {{0x0112, 3, 1, 6}});
  const uint8_t size = static_cast<uint8_t>(six.size());
  Bytes withThumbnail = Tiff(true, {kMake}, 8, 26);
  const Bytes ifd1 = Tiff(true, {{0x0112, 3, 1, 6}});
  withThumbnail.insert(withThumbnail.end(), ifd1.begin() + 8, ifd1.end());
  auto tagged = [&](const Bytes& segments) { return Inserted(photo, afterJfif, segments); };
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"TIFF header cut short", tagged(Exif(Bytes(six.begin(), six.begin() + 6)))},
      {"IFD0 past the end", tagged(Exif(Patched(six, {{4, 0x00}, {5, 0x10}})))},
      {"IFD0 at the end of the segment", tagged(Exif(Patched(six, {{4, size}})))},
      {"entry count past the end", tagged(Exif(Patched(six, {{8, 2}})))},
      {"type LONG", tagged(Exif(Tiff(false, {{0x0112, 4, 1, 6}})))},
      {"count 2", tagged(Exif(Tiff(true, {{0x0112, 3, 2, 6}})))},
      {"value 0", tagged(Exif(Tiff(false, {{0x0112, 3, 1, 0}})))},
      {"value 9", tagged(Exif(Tiff(true, {{0x0112, 3, 1, 9}})))},
      {"only the thumbnail's IFD1 has it", tagged(Exif(withThumbnail))},
      {"the first of two EXIF blocks has no tag", tagged(Cat({Exif(Tiff(false, {kMake})), Exif(six)}))},
      {"APP1 after the frame header", Inserted(photo, AfterSegment(photo, 0xC0), Exif(six))},
  };
  TTempDir dir;
  const std::string path = dir / "photo.jpg";
  WriteBytes(path, photo);
  const qv::TPixelImage stored = [&] {
    qv::TCropModel model;
    qv::TPlainCropView view;
    model.openfile(path, [] { return qv::TTarget{16, 16, 0}; }, view);
    return model.displayed.GetPixels();
  }();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(path, c.file);
    qv::TJPEGImage read;
    ASSERT_NO_THROW(read.ReadJpegFile(path));
    EXPECT_EQ(read.Data()->orientation, 1);
    qv::TCropModel model;
    qv::TPlainCropView view;
    ASSERT_NO_THROW(model.openfile(path, [] { return qv::TTarget{16, 16, 0}; }, view));
    EXPECT_EQ(model.orientation, 1);
    EXPECT_EQ(Difference(stored, model.displayed.GetPixels()), "");
  }
  // A header that cannot be parsed leaves the tag unread.
  WriteBytes(path, WithSize(WithOrientation(photo, 6), 0, 32));
  qv::TJPEGImage read;
  EXPECT_THROW(read.ReadJpegFile(path), qv::EJPEG);
  EXPECT_EQ(read.Data()->orientation, 1);
}
