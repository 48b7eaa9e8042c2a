#include "FormatFiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>
#include <webp/encode.h>

namespace qvtest {

namespace {

void Append32(Bytes& out, uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i)));
}

// A writer given valid input never fails; should it, the test stops at once.
[[noreturn]] void PngFailed(png_structp, png_const_charp message) {
  std::fprintf(stderr, "libpng: %s\n", message);
  std::abort();
}

void PngWrite(png_structp png, png_bytep data, size_t length) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

int Channels(int colorType) {
  switch (colorType) {
  case PNG_COLOR_TYPE_GRAY_ALPHA:
    return 2;
  case PNG_COLOR_TYPE_RGB:
    return 3;
  case PNG_COLOR_TYPE_RGBA:
    return 4;
  default:
    return 1;
  }
}

void CheckHeif(const heif_error& error) {
  if (error.code != heif_error_Ok)
    throw std::runtime_error(std::string("libheif: ") + error.message);
}

heif_error HeifWrite(heif_context*, const void* data, size_t size, void* userdata) {
  Bytes* out = static_cast<Bytes*>(userdata);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

Bytes Chunk(const char* fourcc, const Bytes& data) {
  Bytes out(fourcc, fourcc + 4);
  Append32(out, static_cast<uint32_t>(data.size()), false);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 != 0)
    out.push_back(0);
  return out;
}

Bytes Riff(const Bytes& chunks) {
  Bytes out{'R', 'I', 'F', 'F'};
  Append32(out, static_cast<uint32_t>(chunks.size() + 4), false);
  out.insert(out.end(), {'W', 'E', 'B', 'P'});
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}

Bytes Vp8x(uint8_t flags, int width, int height) {
  Bytes data{flags, 0, 0, 0};
  for (int v : {width - 1, height - 1})
    for (int i = 0; i < 3; ++i)
      data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return Chunk("VP8X", data);
}

} // namespace

Bytes MakePng(const TPngKind& kind) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(kind.width), static_cast<png_uint_32>(kind.height), kind.depth,
               kind.colorType, kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < kind.palette.size(); i += 3)
    palette.push_back(png_color{kind.palette[i], kind.palette[i + 1], kind.palette[i + 2]});
  if (!palette.empty())
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!kind.paletteAlpha.empty())
    png_set_tRNS(png, info, kind.paletteAlpha.data(), static_cast<int>(kind.paletteAlpha.size()), nullptr);
  if (!kind.colourKey.empty()) {
    png_color_16 key{};
    key.gray = kind.colourKey[0];
    if (kind.colourKey.size() == 3) {
      key.red = kind.colourKey[0];
      key.green = kind.colourKey[1];
      key.blue = kind.colourKey[2];
    }
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  if (!kind.profile.empty())
    png_set_iCCP(png, info, "test", 0, kind.profile.data(), static_cast<png_uint_32>(kind.profile.size()));
  if (kind.withGamma) {
    png_set_gAMA_fixed(png, info, 200000);
    png_color_8 bits{1, 1, 1, 1, 1};
    png_set_sBIT(png, info, &bits);
  }
  png_write_info(png, info);
  if (kind.depth == 16)
    png_set_swap(png); // the samples are handed over in the machine's order
  const int channels = Channels(kind.colorType);
  // Packed rows: samples of fewer than 8 bits fill each byte from its high end.
  const size_t rowBytes = (static_cast<size_t>(kind.width) * channels * kind.depth + 7) / 8;
  std::vector<Bytes> rows(static_cast<size_t>(kind.height), Bytes(rowBytes));
  for (int y = 0; y < kind.height; ++y) {
    uint8_t* row = rows[static_cast<size_t>(y)].data();
    for (int i = 0; i < kind.width * channels; ++i) {
      const uint16_t v = kind.samples[static_cast<size_t>(y * kind.width * channels + i)];
      if (kind.depth == 16) {
        std::memcpy(row + 2 * i, &v, 2);
      } else if (kind.depth == 8) {
        row[i] = static_cast<uint8_t>(v);
      } else {
        const int bit = i * kind.depth;
        row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | v << (8 - kind.depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows)
    pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeWebP(const qv::TPixelImage& picture, bool lossless, const std::vector<uint8_t>& alpha,
               const Bytes& profile) {
  const int w = picture.Width(), h = picture.Height();
  Bytes rgba;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const qv::TBGR p = picture.Pixel(x, y);
      rgba.insert(rgba.end(), {p.r, p.g, p.b, alpha.empty() ? uint8_t(255) : alpha[size_t(y * w + x)]});
    }
  uint8_t* encoded = nullptr;
  const size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), w, h, w * 4, &encoded)
                               : WebPEncodeRGBA(rgba.data(), w, h, w * 4, 90, &encoded);
  if (size == 0)
    throw std::runtime_error("libwebp could not encode");
  Bytes file(encoded, encoded + size);
  WebPFree(encoded);
  if (profile.empty())
    return file;
  // The ICCP chunk goes right after a VP8X chunk, which says that it is there.
  Bytes chunks(file.begin() + 12, file.end());
  if (Find(chunks, "VP8X") == 0) {
    chunks[8] |= 0x20;
    const Bytes iccp = Chunk("ICCP", profile);
    chunks.insert(chunks.begin() + 18, iccp.begin(), iccp.end());
    return Riff(chunks);
  }
  Bytes all = Vp8x(static_cast<uint8_t>(0x20 | (alpha.empty() ? 0 : 0x10)), w, h);
  const Bytes iccp = Chunk("ICCP", profile);
  all.insert(all.end(), iccp.begin(), iccp.end());
  all.insert(all.end(), chunks.begin(), chunks.end());
  return Riff(all);
}

Bytes MakeAnimatedWebP() {
  qv::TPixelImage frame(2, 2);
  const Bytes still = MakeWebP(frame, true);
  Bytes frameData{0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 100, 0, 0, 0};
  frameData.insert(frameData.end(), still.begin() + 12, still.end());
  Bytes all = Vp8x(0x02, 2, 2);
  const Bytes anim = Chunk("ANIM", {0, 0, 0, 0, 0, 0});
  const Bytes anmf = Chunk("ANMF", frameData);
  all.insert(all.end(), anim.begin(), anim.end());
  all.insert(all.end(), anmf.begin(), anmf.end());
  return Riff(all);
}

Bytes MakeHeif(const qv::TPixelImage& picture, const THeifKind& kind) {
  const int w = picture.Width(), h = picture.Height();
  const bool alpha = !kind.alpha.empty();
  std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), heif_context_free);
  heif_encoder* encoder = nullptr;
  CheckHeif(heif_context_get_encoder_for_format(context.get(), kind.avif ? heif_compression_AV1 : heif_compression_HEVC,
                                                &encoder));
  std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> owner(encoder, heif_encoder_release);
  CheckHeif(heif_encoder_set_lossless(encoder, 1));
  CheckHeif(heif_encoder_set_parameter(encoder, "chroma", "444"));
  heif_image* raw = nullptr;
  CheckHeif(heif_image_create(w, h, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw));
  std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
  CheckHeif(heif_image_add_plane(raw, heif_channel_interleaved, w, h, 8));
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const qv::TBGR p = picture.Pixel(x, y);
      uint8_t* out = plane + y * stride + x * (alpha ? 4 : 3);
      out[0] = p.r;
      out[1] = p.g;
      out[2] = p.b;
      if (alpha)
        out[3] = kind.alpha[size_t(y * w + x)];
    }
  if (kind.premultiplied)
    heif_image_set_premultiplied_alpha(raw, 1);
  if (!kind.profile.empty())
    CheckHeif(heif_image_set_raw_color_profile(raw, "prof", kind.profile.data(), kind.profile.size()));
  std::unique_ptr<heif_encoding_options, decltype(&heif_encoding_options_free)> options(heif_encoding_options_alloc(),
                                                                                       heif_encoding_options_free);
  options->image_orientation = static_cast<heif_orientation>(kind.heifOrientation);
  CheckHeif(heif_context_encode_image(context.get(), raw, encoder, options.get(), nullptr));
  Bytes out;
  heif_writer writer{1, HeifWrite};
  CheckHeif(heif_context_write(context.get(), &writer, &out));
  return out;
}

Bytes MakeProfile(const char* colourSpace, uint8_t mark) {
  // The tag's data is noise: libpng refuses an iCCP chunk that compresses to under 92 bytes.
  const uint32_t size = 144 + 400;
  Bytes profile(size, 0);
  for (int i = 0; i < 4; ++i)
    profile[size_t(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
  std::memcpy(&profile[12], "mntr", 4);
  std::memcpy(&profile[16], colourSpace, 4);
  std::memcpy(&profile[20], "XYZ ", 4);
  std::memcpy(&profile[36], "acsp", 4);
  profile[8] = 4; // version 4.0
  // The connection space's illuminant, D50, which readers check.
  const uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&profile[68], d50, sizeof d50);
  // One tag of 400 bytes at 144.
  profile[131] = 1;
  std::memcpy(&profile[132], "desc", 4);
  profile[139] = 144;
  profile[142] = 400 >> 8;
  profile[143] = 400 & 0xFF;
  uint32_t noise = 2463534242u + mark;
  for (size_t i = 144; i < size; ++i) {
    noise ^= noise << 13;
    noise ^= noise >> 17;
    noise ^= noise << 5;
    profile[i] = static_cast<uint8_t>(noise);
  }
  return profile;
}

Bytes JpegProfile(const Bytes& jpeg) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  JOCTET* icc = nullptr;
  unsigned int length = 0;
  Bytes profile;
  if (jpeg_read_icc_profile(&cinfo, &icc, &length))
    profile.assign(icc, icc + length);
  std::free(icc);
  jpeg_destroy_decompress(&cinfo);
  return profile;
}

size_t Find(const Bytes& bytes, const char* fourcc, size_t from) {
  for (size_t at = from; at + 4 <= bytes.size(); ++at)
    if (std::memcmp(&bytes[at], fourcc, 4) == 0)
      return at;
  return std::string::npos;
}

} // namespace qvtest
