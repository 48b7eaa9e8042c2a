#pragma once
// Test photos made on the spot with libjpeg itself (any kind a user may feed in), the damage
// done to them (cut off, markers broken, a header that claims too much), and pixel images
// from a known formula.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/PixelImage.h"

namespace qvtest {

using Bytes = std::vector<uint8_t>;
using ColourFn = std::function<qv::TBGR(int x, int y)>;

// Blue 7x + y, green 5y, red a checkerboard of 8-pixel squares (all modulo 256): smooth
// ramps and sharp edges.
qv::TBGR Pattern(int x, int y);

// Written at libjpeg's defaults (integer DCT, 4:2:0) but for what is asked here.
struct TJpegKind {
  int width = 32;
  int height = 24;
  int components = 3;      // 1 grayscale (takes red), 3 colour (YCbCr), 4 CMYK
  bool fullChroma = false; // 4:4:4
  bool progressive = false;
  bool arithmetic = false;
  int quality = 90;
  int restartRows = 0;
};

Bytes MakeJpeg(const TJpegKind& kind, const ColourFn& colour = Pattern);
// Writes MakeJpeg's file to path and gives the path back.
std::string WriteJpeg(const std::string& path, const TJpegKind& kind, const ColourFn& colour = Pattern);

qv::TPixelImage MakeImage(int width, int height, const ColourFn& colour);

// Offset of the first marker FF code before the first scan, or npos.
size_t FindMarker(const Bytes& jpeg, uint8_t code);
// Offset of the first byte of entropy-coded data (just after the first SOS segment).
size_t ScanStart(const Bytes& jpeg);
// The frame header (any SOFn) says width x height.
Bytes WithSize(Bytes jpeg, uint16_t width, uint16_t height);
// The frame header says this sample precision (a baseline one becomes extended sequential).
Bytes WithPrecision(Bytes jpeg, uint8_t bits);
Bytes CutAt(const Bytes& jpeg, size_t length);

// EXIF blocks as cameras write them, built piece by piece.
struct TIfdEntry {
  uint32_t tag, type, count, value;
};
// A TIFF block in either byte order: the header, IFD0 at ifd with the entries (a SHORT's
// value in the first two bytes of the value field, two other bytes after it), then the
// offset of the next IFD.
Bytes Tiff(bool bigEndian, const std::vector<TIfdEntry>& entries, uint32_t ifd = 8, uint32_t next = 0);
// A marker segment: FF, the marker, the length, the data.
Bytes Segment(uint8_t marker, const Bytes& data);
// An APP1 segment of "Exif" 0 0 and the TIFF block.
Bytes ExifSegment(const Bytes& tiff);
// The offset just past the first segment with this marker before the first scan.
size_t AfterSegment(const Bytes& jpeg, uint8_t marker);
// The bytes with others put in at offset at.
Bytes Inserted(const Bytes& jpeg, size_t at, const Bytes& more);
// The photo with an EXIF block tagging it with orientation (a camera's make beside it) put
// in right after its JFIF block.
Bytes WithOrientation(const Bytes& jpeg, int orientation, bool bigEndian = false);

// A lopsided picture of flat 16 x 16 squares in six colours, "ABC" above "DEF" for 48 x 32,
// that JPEG at quality 100 keeps and a resize keeps inside each square: where a square lands
// after a turn can be read back.
qv::TBGR Squares(int x, int y);
// The letter of the square whose colour is seen at the centre of each cell x cell block of
// the picture, rows parted by "/" ("ABC/DEF"); "?" for a colour that is none of them.
std::string SquareLetters(const qv::TPixelImage& picture, int cell);
// "ABC/DEF" as it stands after each orientation's turn, 1 to 8, worked out by hand.
extern const char* const kSquaresTurned[8];

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

} // namespace qvtest

namespace qv {
// Failed comparisons show the size and, for small pictures, every pixel.
void PrintTo(const TPixelImage& image, std::ostream* out);
} // namespace qv
