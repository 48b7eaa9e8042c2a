#pragma once
// One reader a source format: the file's first bytes choose it, whatever the file is called.
// Every reader gives the pipeline's 24-bit picture, so nothing after the decode knows which
// format a photo came in.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "JPEGImage.h"

namespace qv {

// PNG and WebP by their signatures, HEIF and AVIF by the brands of their ftyp box; anything
// else is taken for a JPEG, so that a file of no known kind fails with the JPEG errors.
TPictureFormat FormatOf(const uint8_t* bytes, size_t size);

class IPictureReader {
public:
  virtual ~IPictureReader() = default;
  // Fills data's size and colour profile from data.bytes (read with data.transformations);
  // a failure raises before any of them is set.
  virtual void ReadHeader(TJPEGData& data) const = 0;
  // Decodes data.bytes to the size ReadHeader gave, handing every row to sink, top to bottom.
  virtual void Decode(const TJPEGData& data, IRowSink& sink) const = 0;
};

const IPictureReader& ReaderFor(TPictureFormat format);

// Each defined in the file of its format.
const IPictureReader& JpegReader();
const IPictureReader& PngReader();
const IPictureReader& WebPReader();
const IPictureReader& HeifReader();

// The profile when it is whole and describes RGB pixels (colour space "RGB "), else empty:
// a grey or CMYK profile would misdescribe the three-channel wallpaper.
std::vector<uint8_t> RgbProfile(const uint8_t* profile, size_t size);

// How a decoder's samples lie in a row of width pixels: 3 (RGB) or 4 (RGBA) channels,
// one byte each, or two with the high byte first; premultiplied colours already lie over
// black, and their alpha is skipped.
struct TSampleLayout {
  int channels = 3;
  bool sixteenBits = false;
  bool premultiplied = false;
};

// One decoded row as the picture's blue-first pixels: 16-bit samples become
// (v * 255 + 32767) / 65535, and alpha puts each colour over black, (c * a + 127) / 255.
void ToBgr(const uint8_t* samples, TSampleLayout layout, int32_t width, uint8_t* out);

} // namespace qv
