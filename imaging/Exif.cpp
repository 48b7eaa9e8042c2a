#include "Exif.h"

#include <cstring>

namespace qv {

namespace {

// A run of bytes that every read is checked against; a read past its end fails instead of
// reaching the next segment or beyond the file.
class TBytes {
public:
  TBytes(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

  uint64_t Size() const { return size_; }
  bool Has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
  // Unsigned big-endian or little-endian values; false when they do not lie wholly inside.
  bool Read16(uint64_t offset, bool bigEndian, uint32_t& value) const { return Read(offset, 2, bigEndian, value); }
  bool Read32(uint64_t offset, bool bigEndian, uint32_t& value) const { return Read(offset, 4, bigEndian, value); }
  bool Starts(uint64_t offset, const char* text, uint64_t count) const {
    return Has(offset, count) && std::memcmp(data_ + offset, text, count) == 0;
  }
  TBytes Part(uint64_t offset, uint64_t count) const { return TBytes(data_ + offset, count); }

private:
  bool Read(uint64_t offset, uint64_t count, bool bigEndian, uint32_t& value) const {
    if (!Has(offset, count))
      return false;
    value = 0;
    for (uint64_t i = 0; i < count; ++i)
      value |= static_cast<uint32_t>(data_[offset + i]) << (8 * (bigEndian ? count - 1 - i : i));
    return true;
  }

  const uint8_t* data_;
  uint64_t size_;
};

constexpr int kUpright = 1;
constexpr uint32_t kOrientationTag = 0x0112;
constexpr uint32_t kTypeShort = 3;
constexpr uint64_t kEntryBytes = 12;

// IFD0's orientation in a TIFF structure: the header, then IFD0's entries.
int TiffOrientation(const TBytes& tiff) {
  bool bigEndian;
  if (tiff.Starts(0, "II", 2))
    bigEndian = false;
  else if (tiff.Starts(0, "MM", 2))
    bigEndian = true;
  else
    return kUpright;
  uint32_t magic = 0, ifd = 0, count = 0;
  if (!tiff.Read16(2, bigEndian, magic) || magic != 42 || !tiff.Read32(4, bigEndian, ifd) ||
      !tiff.Read16(ifd, bigEndian, count))
    return kUpright;
  const uint64_t first = uint64_t{ifd} + 2;
  // An entry count that runs past the block makes the whole directory suspect.
  if (!tiff.Has(first, count * kEntryBytes))
    return kUpright;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = first + i * kEntryBytes;
    uint32_t tag = 0, type = 0, values = 0, value = 0;
    tiff.Read16(entry, bigEndian, tag);
    if (tag != kOrientationTag)
      continue;
    tiff.Read16(entry + 2, bigEndian, type);
    tiff.Read32(entry + 4, bigEndian, values);
    // A SHORT sits in the first two bytes of the value field, in the file's byte order.
    tiff.Read16(entry + 8, bigEndian, value);
    if (type != kTypeShort || values != 1 || value < 1 || value > 8)
      return kUpright;
    return static_cast<int>(value);
  }
  return kUpright;
}

bool IsFrameHeader(uint8_t marker) {
  // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

int ReadOrientation(const uint8_t* data, size_t size) {
  const TBytes file(data, size);
  if (!file.Starts(0, "\xFF\xD8", 2))
    return kUpright;
  uint64_t at = 2;
  for (;;) {
    if (!file.Starts(at, "\xFF", 1))
      return kUpright;
    // Any number of FF fill bytes may stand before a marker.
    while (file.Starts(at + 1, "\xFF", 1))
      ++at;
    if (!file.Has(at + 1, 1))
      return kUpright;
    const uint8_t marker = data[at + 1];
    at += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
      continue; // TEM and RSTn carry no length
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA || IsFrameHeader(marker))
      return kUpright;
    uint32_t length = 0;
    if (!file.Read16(at, true, length) || length < 2 || !file.Has(at, length))
      return kUpright;
    const TBytes segment = file.Part(at + 2, length - 2);
    if (marker == 0xE1 && segment.Starts(0, "Exif\0\0", 6))
      return TiffOrientation(segment.Part(6, segment.Size() - 6));
    at += length;
  }
}

} // namespace qv
