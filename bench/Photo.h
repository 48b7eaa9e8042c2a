#pragma once
// Photo-like pictures for the benchmarks: a sky gradient with clouds, hills, textured fields
// and sensor noise, so that the compressed data is about as dense as a real photograph's.
// The same size always gives the same picture.

#include <cstdint>
#include <string>

#include "imaging/PixelImage.h"

namespace qvbench {

qv::TPixelImage MakePhoto(int32_t width, int32_t height);
// Baseline 4:2:0 at quality 90, through the program's own encoder; with an orientation of
// 2 to 8 an EXIF block after the JFIF one tags it, as a camera that stored it turned would.
void WritePhoto(const std::string& path, int32_t width, int32_t height, int orientation = 1);

} // namespace qvbench
