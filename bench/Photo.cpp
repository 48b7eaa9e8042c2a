#include "Photo.h"

#include <iterator>
#include <vector>

#include "imaging/JPEGImage.h"
#include "imaging/SafeWriter.h"

namespace qvbench {

namespace {

// A small fast generator (xorshift).
struct TNoise {
  uint64_t state = 0x9E3779B97F4A7C15u;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 32);
  }
  // Roughly bell-shaped, from -2 * spread to 2 * spread.
  int Bell(int spread) {
    const uint32_t r = Next();
    const int sum = static_cast<int>(r & 0xFF) + static_cast<int>((r >> 8) & 0xFF) +
                    static_cast<int>((r >> 16) & 0xFF) + static_cast<int>(r >> 24) - 510;
    return sum * spread / 255;
  }
};

uint8_t Clamp(int v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace

qv::TPixelImage MakePhoto(int32_t width, int32_t height) {
  qv::TPixelImage pixels(width, height);
  TNoise noise;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = pixels.ScanLine(y);
    const int fy = static_cast<int>(int64_t{y} * 1024 / height);
    for (int32_t x = 0; x < width; ++x, row += 3) {
      const int fx = static_cast<int>(int64_t{x} * 1024 / width);
      const int wave = (fx * 37) % 160;
      const int horizon = 520 + (wave > 80 ? wave - 80 : 80 - wave) + (fx * fx) % 97 / 3;
      int b, g, r;
      if (fy < horizon) {
        b = 230 - fy / 6;
        g = 170 - fy / 8 + fx / 32;
        r = 110 + fy / 10;
        if ((fx / 64 + fy / 48) * 7919 % 5 == 0) {
          b += 10;
          g += 25;
          r += 40;
        }
      } else {
        const int field = (fx / 90 + (fy - horizon) / 40) % 4;
        const int grain = static_cast<int>(noise.Next() & 31) - 16;
        b = 40 + field * 12 + grain / 2;
        g = 90 + field * 20 - (fy - horizon) / 8 + grain;
        r = 60 + field * 25 + grain;
      }
      const int n = noise.Bell(10);
      row[0] = Clamp(b + n);
      row[1] = Clamp(g + n);
      row[2] = Clamp(r + n + noise.Bell(4));
    }
  }
  return pixels;
}

void WritePhoto(const std::string& path, int32_t width, int32_t height, int orientation) {
  qv::TJPEGImage jpeg;
  jpeg.AssignPixels(MakePhoto(width, height));
  jpeg.quality = 90;
  jpeg.WriteJpegFile(path);
  if (orientation == 1)
    return;
  // APP1 "Exif" 0 0, a big-endian TIFF header, IFD0 with the one entry 0x0112 SHORT 1.
  const uint8_t exif[] = {0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0,    0,    'M',  'M',
                          0x00, 0x2A, 0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x01, 0x12, 0x00, 0x03,
                          0x00, 0x00, 0x00, 0x01, 0x00, static_cast<uint8_t>(orientation), 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x00};
  const std::vector<uint8_t>& plain = jpeg.Data()->bytes;
  // The encoder writes the start marker and the JFIF block first.
  const size_t afterJfif = 4 + (static_cast<size_t>(plain[4]) << 8 | plain[5]);
  std::vector<uint8_t> tagged(plain.begin(), plain.begin() + afterJfif);
  tagged.insert(tagged.end(), std::begin(exif), std::end(exif));
  tagged.insert(tagged.end(), plain.begin() + afterJfif, plain.end());
  qv::WriteFileSafely(path, tagged.data(), tagged.size());
}

} // namespace qvbench
