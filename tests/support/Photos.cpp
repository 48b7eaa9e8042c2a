#include "Photos.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace qvtest {

qv::TBGR Pattern(int x, int y) {
  return qv::TBGR{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 5),
                  static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 220 : 30)};
}

Bytes MakeJpeg(const TJpegKind& kind, const ColourFn& colour) {
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
      const qv::TBGR c = colour(x, y);
      const uint8_t rgbk[4] = {c.r, c.g, c.b, static_cast<uint8_t>(255 - c.r)};
      std::copy(rgbk, rgbk + kind.components, row.begin() + x * kind.components);
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

std::string WriteJpeg(const std::string& path, const TJpegKind& kind, const ColourFn& colour) {
  WriteBytes(path, MakeJpeg(kind, colour));
  return path;
}

qv::TPixelImage MakeImage(int width, int height, const ColourFn& colour) {
  qv::TPixelImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.SetPixel(x, y, colour(x, y));
  return image;
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

size_t FrameHeader(const Bytes& jpeg) {
  const size_t sof = FindSegment(jpeg, IsFrameHeader);
  if (sof == std::string::npos)
    throw std::runtime_error("no frame header");
  return sof;
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
  const size_t sof = FrameHeader(jpeg);
  // FF Cn, length (2), precision (1), height (2), width (2)
  jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
  jpeg[sof + 6] = static_cast<uint8_t>(height);
  jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
  jpeg[sof + 8] = static_cast<uint8_t>(width);
  return jpeg;
}

Bytes WithPrecision(Bytes jpeg, uint8_t bits) {
  const size_t sof = FrameHeader(jpeg);
  // Baseline is 8-bit only; a progressive frame stays progressive.
  if (jpeg[sof + 1] == 0xC0)
    jpeg[sof + 1] = 0xC1;
  jpeg[sof + 4] = bits;
  return jpeg;
}

Bytes CutAt(const Bytes& jpeg, size_t length) {
  return Bytes(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(std::min(length, jpeg.size())));
}

namespace {

void Put16(Bytes& out, uint32_t value, bool bigEndian) {
  const uint8_t hi = static_cast<uint8_t>(value >> 8), lo = static_cast<uint8_t>(value);
  out.push_back(bigEndian ? hi : lo);
  out.push_back(bigEndian ? lo : hi);
}

void Put32(Bytes& out, uint32_t value, bool bigEndian) {
  Put16(out, bigEndian ? value >> 16 : value & 0xFFFF, bigEndian);
  Put16(out, bigEndian ? value & 0xFFFF : value >> 16, bigEndian);
}

} // namespace

Bytes Tiff(bool bigEndian, const std::vector<TIfdEntry>& entries, uint32_t ifd, uint32_t next) {
  Bytes out = bigEndian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
  Put16(out, 42, bigEndian);
  Put32(out, ifd, bigEndian);
  out.resize(ifd, 0xEE);
  Put16(out, static_cast<uint32_t>(entries.size()), bigEndian);
  for (const TIfdEntry& e : entries) {
    Put16(out, e.tag, bigEndian);
    Put16(out, e.type, bigEndian);
    Put32(out, e.count, bigEndian);
    Put16(out, e.value, bigEndian);
    Put16(out, 0x5A5A, bigEndian);
  }
  Put32(out, next, bigEndian);
  return out;
}

Bytes Segment(uint8_t marker, const Bytes& data) {
  Bytes out{0xFF, marker};
  Put16(out, static_cast<uint32_t>(data.size() + 2), true);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes ExifSegment(const Bytes& tiff) {
  Bytes out{'E', 'x', 'i', 'f', 0, 0};
  out.insert(out.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, out);
}

size_t AfterSegment(const Bytes& jpeg, uint8_t marker) {
  const size_t at = FindMarker(jpeg, marker);
  if (at == std::string::npos)
    throw std::runtime_error("no such segment");
  return at + 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
}

Bytes Inserted(const Bytes& jpeg, size_t at, const Bytes& more) {
  Bytes out = jpeg;
  out.insert(out.begin() + static_cast<ptrdiff_t>(at), more.begin(), more.end());
  return out;
}

Bytes WithOrientation(const Bytes& jpeg, int orientation, bool bigEndian) {
  return Inserted(jpeg, AfterSegment(jpeg, 0xE0),
                  ExifSegment(Tiff(bigEndian, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, static_cast<uint32_t>(orientation)}})));
}

namespace {

const qv::TBGR kSquareColours[] = {{40, 40, 220}, {40, 220, 40}, {220, 40, 40},
                                   {40, 220, 220}, {220, 220, 40}, {220, 40, 220}};

} // namespace

const char* const kSquaresTurned[8] = {"ABC/DEF",  "CBA/FED",  "FED/CBA",  "DEF/ABC",
                                       "AD/BE/CF", "DA/EB/FC", "FC/EB/DA", "CF/BE/AD"};

qv::TBGR Squares(int x, int y) {
  return kSquareColours[static_cast<size_t>((x / 16) % 3 + 3 * ((y / 16) % 2))];
}

std::string SquareLetters(const qv::TPixelImage& picture, int cell) {
  std::string out;
  for (int y = cell / 2; y < picture.Height(); y += cell) {
    if (!out.empty())
      out += '/';
    for (int x = cell / 2; x < picture.Width(); x += cell) {
      const qv::TBGR seen = picture.Pixel(x, y);
      char letter = '?';
      for (size_t i = 0; i < std::size(kSquareColours); ++i) {
        const qv::TBGR& c = kSquareColours[i];
        if (std::abs(seen.b - c.b) + std::abs(seen.g - c.g) + std::abs(seen.r - c.r) < 40)
          letter = static_cast<char>('A' + i);
      }
      out += letter;
    }
  }
  return out;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file)
    throw std::runtime_error("cannot write " + path);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace qvtest

void qv::PrintTo(const TPixelImage& image, std::ostream* out) {
  *out << image.Width() << "x" << image.Height();
  if (image.Width() * image.Height() > 64)
    return;
  for (int y = 0; y < image.Height(); ++y) {
    *out << "\n ";
    for (int x = 0; x < image.Width(); ++x) {
      TBGR c = image.Pixel(x, y);
      *out << " " << int(c.b) << "/" << int(c.g) << "/" << int(c.r);
    }
  }
}
