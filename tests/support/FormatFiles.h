#pragma once
// Test photos in the other formats, made with each format's own library (libpng, libwebp,
// libheif's encoders), so that what our readers give can be checked against the samples the
// test put in.

#include <cstdint>
#include <string>
#include <vector>

#include "Photos.h"

namespace qvtest {

// A PNG as libpng writes it: samples row by row, as many a pixel as the colour type has
// (palette indices for a palette), each below 2^depth.
struct TPngKind {
  int width = 4;
  int height = 3;
  int colorType = 2; // PNG_COLOR_TYPE_*: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  int depth = 8;
  bool interlaced = false;
  std::vector<uint16_t> samples;
  std::vector<uint8_t> palette;      // red, green, blue for each entry
  std::vector<uint8_t> paletteAlpha; // tRNS of a palette
  std::vector<uint16_t> colourKey;   // tRNS of grey (one value) or RGB (three)
  Bytes profile;                     // iCCP when not empty
  bool withGamma = false;            // gAMA 1.0 and sBIT 1, which a reader must ignore
};
Bytes MakePng(const TPngKind& kind);

// A still WebP of the picture's colours and the alpha of alpha(x, y) when given, lossless
// or lossy; with a profile in its ICCP chunk when one is given.
Bytes MakeWebP(const qv::TPixelImage& picture, bool lossless, const std::vector<uint8_t>& alpha = {},
               const Bytes& profile = {});
// A WebP whose container says it is animated.
Bytes MakeAnimatedWebP();

// A HEIF of the picture coded lossless at 4:4:4 (HEVC, or AV1 for an AVIF), so that each
// pixel decodes alike wherever it lies. heifOrientation is libheif's heif_orientation
// (1..8, as EXIF counts), written as the file's rotation and mirroring.
struct THeifKind {
  bool avif = false;
  int heifOrientation = 1;
  Bytes profile; // "prof" when not empty
  std::vector<uint8_t> alpha;
  bool premultiplied = false; // the colours given already lie over black
};
Bytes MakeHeif(const qv::TPixelImage& picture, const THeifKind& kind = {});

// A colour profile header of the colour space given ("RGB ", "GRAY", "CMYK"), valid as far
// as readers check one, with a tag table of its own so that profiles can be told apart.
Bytes MakeProfile(const char* colourSpace, uint8_t mark);

// The ICC profile a JPEG carries in its APP2 chunks, as libjpeg assembles them; empty if none.
Bytes JpegProfile(const Bytes& jpeg);

// The first offset of the four letters in bytes, or npos.
size_t Find(const Bytes& bytes, const char* fourcc, size_t from = 0);

} // namespace qvtest
