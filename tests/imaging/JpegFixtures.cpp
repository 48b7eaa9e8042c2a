#include "JpegFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace qvtest {

namespace {

Bytes Compress(int width, int height, int components, J_COLOR_SPACE space, const Bytes& samples, int quality,
               bool floatDct, bool progressive) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  if (floatDct)
    cinfo.dct_method = JDCT_FLOAT;
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive)
    jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

Bytes Samples(int width, int height, const ColourFn& colour, int components) {
  Bytes samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      qv::TBGR c = colour(x, y);
      uint8_t values[4] = {c.r, c.g, c.b, static_cast<uint8_t>(255 - c.r)};
      samples.insert(samples.end(), values, values + components);
    }
  return samples;
}

} // namespace

Bytes MakeJpeg(int width, int height, const ColourFn& colour, const TJpegOptions& options) {
  J_COLOR_SPACE space = options.components == 1 ? JCS_GRAYSCALE : options.components == 3 ? JCS_RGB : JCS_CMYK;
  return Compress(width, height, options.components, space, Samples(width, height, colour, options.components),
                  options.quality, false, options.progressive);
}

Bytes EncodeLikeTheCodec(const qv::TPixelImage& image, int quality) {
  auto pixel = [&](int x, int y) { return image.Pixel(x, y); };
  return Compress(image.Width(), image.Height(), 3, JCS_RGB, Samples(image.Width(), image.Height(), pixel, 3),
                  quality, true, false);
}

qv::TPixelImage ReferenceDecode(const Bytes& jpeg) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  qv::TPixelImage image(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
  Bytes row(cinfo.output_width * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (int x = 0; x < image.Width(); ++x)
      image.SetPixel(x, y, qv::TBGR{row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return image;
}

qv::TPixelImage MakeImage(int width, int height, const ColourFn& colour) {
  qv::TPixelImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.SetPixel(x, y, colour(x, y));
  return image;
}

qv::TBGR Pattern(int x, int y) {
  return qv::TBGR{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 5),
                  static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 220 : 30)};
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

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qv-imaging-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TTempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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
