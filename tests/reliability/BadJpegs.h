#pragma once
// JPEG files of every kind a user may feed in, made with libjpeg on the spot, and the
// damage done to them: cut off, markers broken, a header that claims too much.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvrel {

using Bytes = std::vector<uint8_t>;

struct TJpegKind {
  int width = 32;
  int height = 24;
  int components = 3;      // 1 grayscale, 3 colour (YCbCr), 4 CMYK
  bool fullChroma = false; // 4:4:4 instead of the library's 4:2:0
  bool progressive = false;
  bool arithmetic = false;
  int quality = 85;
  int restartRows = 0;
};

// Blue 7x + y, green 5y, red a checkerboard of 8-pixel squares (all modulo 256).
uint8_t PatternBlue(int x, int y);
uint8_t PatternGreen(int x, int y);
uint8_t PatternRed(int x, int y);

Bytes MakePhoto(const TJpegKind& kind);

// Offset of the first marker FF code, or npos.
size_t FindMarker(const Bytes& jpeg, uint8_t code);
// Offset of the first byte of entropy-coded data (just after the first SOS segment).
size_t ScanStart(const Bytes& jpeg);
// The frame header (any SOFn) says width x height.
Bytes WithSize(Bytes jpeg, uint16_t width, uint16_t height);
// The frame header says this sample precision (a baseline one becomes extended sequential).
Bytes WithPrecision(Bytes jpeg, uint8_t bits);
Bytes CutAt(const Bytes& jpeg, size_t length);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

} // namespace qvrel
