#include "PictureReader.h"

#include <cstring>

namespace qv {

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

bool HeifBrand(const uint8_t* brand) {
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
  for (const char* known : kBrands)
    if (std::memcmp(brand, known, 4) == 0)
      return true;
  return false;
}

// An ISO base media file begins with its ftyp box: size, "ftyp", the major brand, a minor
// version and the compatible brands up to the box's end.
bool IsHeif(const uint8_t* bytes, size_t size) {
  if (size < 16 || std::memcmp(bytes + 4, "ftyp", 4) != 0)
    return false;
  size_t end = BigEndian32(bytes);
  // A size of 0 runs to the end of the file.
  if (end == 0 || end > size)
    end = size;
  if (end < 16)
    return false;
  if (HeifBrand(bytes + 8))
    return true;
  for (size_t at = 16; at + 4 <= end; at += 4)
    if (HeifBrand(bytes + at))
      return true;
  return false;
}

} // namespace

TPictureFormat FormatOf(const uint8_t* bytes, size_t size) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
    return TPictureFormat::JPEG;
  if (size >= 8 && std::memcmp(bytes, kPng, 8) == 0)
    return TPictureFormat::PNG;
  if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0)
    return TPictureFormat::WebP;
  if (IsHeif(bytes, size))
    return TPictureFormat::HEIF;
  return TPictureFormat::JPEG;
}

const IPictureReader& ReaderFor(TPictureFormat format) {
  switch (format) {
  case TPictureFormat::PNG:
    return PngReader();
  case TPictureFormat::WebP:
    return WebPReader();
  case TPictureFormat::HEIF:
    return HeifReader();
  case TPictureFormat::JPEG:
    break;
  }
  return JpegReader();
}

std::vector<uint8_t> RgbProfile(const uint8_t* profile, size_t size) {
  // The 128-byte header starts with the profile's own size and carries the signature "acsp";
  // a profile cut short or run together with other bytes is not used.
  if (profile == nullptr || size < 128 || BigEndian32(profile) != size || std::memcmp(profile + 36, "acsp", 4) != 0 ||
      std::memcmp(profile + 16, "RGB ", 4) != 0)
    return {};
  return std::vector<uint8_t>(profile, profile + size);
}

void ToBgr(const uint8_t* samples, TSampleLayout layout, int32_t width, uint8_t* out) {
  const size_t channels = static_cast<size_t>(layout.channels);
  const bool composite = channels == 4 && !layout.premultiplied;
  for (int32_t x = 0; x < width; ++x, out += 3) {
    uint32_t v[4] = {0, 0, 0, 255};
    if (layout.sixteenBits) {
      for (size_t c = 0; c < channels; ++c, samples += 2)
        v[c] = ((static_cast<uint32_t>(samples[0]) << 8 | samples[1]) * 255 + 32767) / 65535;
    } else {
      for (size_t c = 0; c < channels; ++c)
        v[c] = *samples++;
    }
    if (composite)
      for (size_t c = 0; c < 3; ++c)
        v[c] = (v[c] * v[3] + 127) / 255;
    out[0] = static_cast<uint8_t>(v[2]);
    out[1] = static_cast<uint8_t>(v[1]);
    out[2] = static_cast<uint8_t>(v[0]);
  }
}

} // namespace qv
