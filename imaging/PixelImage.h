#pragma once
// A 24-bit picture: three bytes a pixel in the order blue, green, red, row 0 on top,
// each row padded to a multiple of 4 bytes. Copies share storage until one is written.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qv {

// The most pixel bytes one picture may take: 1 GiB, some 350 megapixels, far beyond any
// camera. A header or a fit that asks for more is refused with EOutOfMemory before anything
// is allocated, instead of exhausting the machine's memory.
inline constexpr int64_t kMaxPictureBytes = int64_t(1) << 30;
// Whether a width x height picture, rows padded, stays within kMaxPictureBytes.
bool PictureFits(int64_t width, int64_t height);

struct TBGR {
  uint8_t b = 0, g = 0, r = 0;
  bool operator==(const TBGR&) const = default;
};

class TPixelImage {
public:
  TPixelImage() = default;
  TPixelImage(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Gives an image of the new size; its content is not relied on.
  void SetSize(int32_t width, int32_t height);

  // Row r starts at ScanLine(0) + r * RowStride(); signed, since callers must not
  // assume which way rows are stored.
  ptrdiff_t RowStride() const;
  // Rows outside 0..Height()-1 raise EInvalidGraphicOperation "Scan line index out of range".
  // The writable form first makes the storage this image's own.
  const uint8_t* ScanLine(int32_t row) const;
  uint8_t* ScanLine(int32_t row);

  // Outside the picture a read gives black and a write does nothing.
  TBGR Pixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, TBGR colour);

  // True when both images use the same storage (a copy not yet written).
  bool SharesStorageWith(const TPixelImage& other) const;
  bool operator==(const TPixelImage& other) const; // same size, same pixel bytes

private:
  void detach();

  int32_t width_ = 0;
  int32_t height_ = 0;
  ptrdiff_t stride_ = 0;
  std::shared_ptr<uint8_t[]> storage_;
};

} // namespace qv
