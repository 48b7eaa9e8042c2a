#include "BadJpegs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace qvrel {

uint8_t PatternBlue(int x, int y) {
  return static_cast<uint8_t>(x * 7 + y);
}
uint8_t PatternGreen(int, int y) {
  return static_cast<uint8_t>(y * 5);
}
uint8_t PatternRed(int x, int y) {
  return (x / 8 + y / 8) % 2 ? 220 : 30;
}

Bytes MakePhoto(const TJpegKind& kind) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(kind.width);
  cinfo.image_height = static_cast<JDIMENSION>(kind.height);
  cinfo.input_components = kind.components;
  cinfo.in_color_space = kind.components == 1 ? JCS_GRAYSCALE : kind.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kind.quality, TRUE);
  if (kind.fullChroma)
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  if (kind.progressive)
    jpeg_simple_progression(&cinfo);
  cinfo.arith_code = kind.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = kind.restartRows;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(kind.width) * static_cast<size_t>(kind.components));
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < kind.width; ++x) {
      const uint8_t rgbk[4] = {PatternRed(x, y), PatternGreen(x, y), PatternBlue(x, y), PatternGreen(y, x)};
      for (int c = 0; c < kind.components; ++c)
        row[static_cast<size_t>(x * kind.components + c)] = rgbk[c];
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

namespace {

bool IsFrameHeader(uint8_t code) {
  // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC).
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Walks the marker segments before the first scan; returns the offset of the FF of the
// first segment for which match is true, or npos.
template <typename Match>
size_t FindSegment(const Bytes& jpeg, Match match) {
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t code = jpeg[at + 1];
    if (match(code))
      return at;
    if (code == 0xDA)
      return std::string::npos;
    at += 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
  }
  return std::string::npos;
}

} // namespace

size_t FindMarker(const Bytes& jpeg, uint8_t code) {
  return FindSegment(jpeg, [code](uint8_t c) { return c == code; });
}

size_t ScanStart(const Bytes& jpeg) {
  const size_t sos = FindMarker(jpeg, 0xDA);
  if (sos == std::string::npos)
    throw std::runtime_error("no scan");
  return sos + 2 + (static_cast<size_t>(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
}

Bytes WithSize(Bytes jpeg, uint16_t width, uint16_t height) {
  const size_t sof = FindSegment(jpeg, IsFrameHeader);
  if (sof == std::string::npos)
    throw std::runtime_error("no frame header");
  // FF Cn, length (2), precision (1), height (2), width (2)
  jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
  jpeg[sof + 6] = static_cast<uint8_t>(height);
  jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
  jpeg[sof + 8] = static_cast<uint8_t>(width);
  return jpeg;
}

Bytes WithPrecision(Bytes jpeg, uint8_t bits) {
  const size_t sof = FindSegment(jpeg, IsFrameHeader);
  if (sof == std::string::npos)
    throw std::runtime_error("no frame header");
  // Baseline is 8-bit only; a progressive frame stays progressive.
  if (jpeg[sof + 1] == 0xC0)
    jpeg[sof + 1] = 0xC1;
  jpeg[sof + 4] = bits;
  return jpeg;
}

Bytes CutAt(const Bytes& jpeg, size_t length) {
  return Bytes(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(std::min(length, jpeg.size())));
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file)
    throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace qvrel
