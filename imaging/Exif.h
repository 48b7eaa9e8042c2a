#pragma once
// The orientation tag of a JPEG's EXIF block: how the stored picture must be turned to be
// seen upright.

#include <cstddef>
#include <cstdint>

namespace qv {

// The orientation 1..8 of IFD0's tag 0x0112 in the first APP1 "Exif" block before the frame
// header. Anything missing, malformed or out of range gives 1, the picture as stored.
// Reads nothing outside data[0 .. size).
int ReadOrientation(const uint8_t* data, size_t size);

} // namespace qv
