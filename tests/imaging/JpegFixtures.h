#pragma once
// Test pictures made on the spot: JPEG files written with libjpeg itself, a reference
// decoding with the same library, and pixel images from a known formula.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/PixelImage.h"

namespace qvtest {

using Bytes = std::vector<uint8_t>;
// Red, green, blue of the pixel at (x, y); a gray file takes the red value.
using ColourFn = std::function<qv::TBGR(int x, int y)>;

struct TJpegOptions {
  int components = 3; // 1 gray, 3 colour, 4 CMYK
  int quality = 90;
  bool floatDct = false;
  bool progressive = false;
};

// Pixels from colour, written at libjpeg's defaults (integer DCT) unless told otherwise.
Bytes MakeJpeg(int width, int height, const ColourFn& colour, const TJpegOptions& options = {});
// The image's own rows encoded the way the codec promises to: defaults, float DCT, baseline.
Bytes EncodeLikeTheCodec(const qv::TPixelImage& image, int quality);
// Decodes with float DCT, fancy upsampling and block smoothing into a blue-first image.
qv::TPixelImage ReferenceDecode(const Bytes& jpeg);

qv::TPixelImage MakeImage(int width, int height, const ColourFn& colour);
// A colourful pattern with smooth and sharp parts.
qv::TBGR Pattern(int x, int y);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // Names of the folder's entries, sorted.
  std::vector<std::string> Entries() const;

private:
  std::string path_;
};

} // namespace qvtest
