#pragma once
// Test pictures made on the spot: JPEGs written with libjpeg itself, a reference decoding
// with the same library, and pixel images from a known formula.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/PixelImage.h"

namespace qvtest {

using Bytes = std::vector<uint8_t>;
using ColourFn = std::function<qv::TBGR(int x, int y)>;

struct TJpegOptions {
  int components = 3; // 1 gray (takes red), 3 colour, 4 CMYK
  int quality = 90;
  bool progressive = false;
};

// Written at libjpeg's defaults (integer DCT, 2 x 2 chroma sampling).
Bytes MakeJpeg(int width, int height, const ColourFn& colour, const TJpegOptions& options = {});
// The image encoded as the codec promises: defaults, float DCT, quality with baseline forcing.
Bytes EncodeLikeTheCodec(const qv::TPixelImage& image, int quality);
// Float DCT, fancy upsampling, block smoothing, RGB output turned blue-first.
qv::TPixelImage ReferenceDecode(const Bytes& jpeg);

qv::TPixelImage MakeImage(int width, int height, const ColourFn& colour);
qv::TBGR Pattern(int x, int y); // smooth ramps and sharp squares

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Entries() const; // sorted names

private:
  std::string path_;
};

} // namespace qvtest

namespace qv {
// Failed comparisons show the size and, for small pictures, every pixel.
void PrintTo(const TPixelImage& image, std::ostream* out);
} // namespace qv
