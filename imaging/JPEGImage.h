#pragma once
// The JPEG codec object: compressed data shared between copies, an optional pixel image,
// and a quality. Every fatal error of the library becomes EJPEG.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PixelImage.h"

namespace qv {

class ISafeFileSystem;

// Colour depth of the display at start-up; 8 bits per pixel or fewer quantise every file.
// Set once by the program before any decoding; the default is a deep display. The
// read-ahead decodes on a thread of its own, so both may be called from any thread.
void SetDisplayColorDepth(int bitsPerPixel);
int DisplayColorDepth();

// The family of a source file, told by its first bytes (see PictureReader.h).
enum class TPictureFormat { JPEG, PNG, WebP, HEIF };

// Never changed once filled; shared between codec objects.
struct TJPEGData {
  std::vector<uint8_t> bytes;
  int32_t width = 0;
  int32_t height = 0;
  bool grayscale = false;
  // How the stored picture is turned to be seen upright, 1..8 (see Orientation.h); read
  // with the header, 1 when the file has no such tag or its header cannot be parsed. Only
  // a JPEG's EXIF counts: other formats turn their pictures themselves, or not at all.
  int orientation = 1;
  TPictureFormat format = TPictureFormat::JPEG;
  // Whether a HEIF's own rotation, mirroring and crop are applied; the size above is the
  // one the decode then gives.
  bool transformations = true;
  // The source's ICC profile when it describes RGB pixels, to be written into every cut
  // taken from it; empty otherwise.
  std::vector<uint8_t> colorProfile;
};

// Takes a decode row by row, top to bottom, instead of as one picture.
class IRowSink {
public:
  virtual ~IRowSink() = default;
  // The picture's size, once, before the first row.
  virtual void Start(int32_t width, int32_t height) = 0;
  // Where row y is decoded to: width pixels of three bytes, blue first.
  virtual uint8_t* RowFor(int32_t y) = 0;
  // Row y is complete.
  virtual void Filled(int32_t y) = 0;
  // Asked once after Start: true when only the columns first .. first + count - 1 of every
  // row are read, so that the decoder may leave out whole blocks beside them. The others'
  // bytes are then not written.
  virtual bool Columns(int32_t& first, int32_t& count) const {
    (void)first;
    (void)count;
    return false;
  }
};

// Decodes data as GetPixels does, with the same parameters, bytes and errors, but hands
// every row to sink as it comes instead of keeping the picture.
void DecodeRows(const TJPEGData& data, IRowSink& sink);

class TJPEGImage {
public:
  TJPEGImage();

  // Reads the whole file and parses only its header; a PNG, WebP or HEIF file, told by
  // its first bytes, is read as well as a JPEG. transformations is whether a HEIF is
  // decoded with its own rotation, mirroring and crop (the setting that turns photos).
  void ReadJpegFile(const std::string& path, bool transformations = true);
  // The pixel image's size when there is one, otherwise the header's. Never decodes.
  int32_t Width() const;
  int32_t Height() const;
  void CopyFrom(const TJPEGImage& source);
  void AssignPixels(const TPixelImage& image);
  // Decodes at most once; returns a copy (sharing storage until written).
  TPixelImage GetPixels();
  // Encodes first when there is no compressed data; written safely (see SafeWriter.h).
  void WriteJpegFile(const std::string& path);
  // The same through the given file system calls (tests make them fail).
  void WriteJpegFile(const std::string& path, ISafeFileSystem& fs);

  bool HasPixels() const { return pixels_.has_value(); }
  bool HasData() const { return !data_->bytes.empty(); }
  const std::shared_ptr<const TJPEGData>& Data() const { return data_; }

  uint8_t quality = 90;
  // Written after the JFIF header of the file Encode makes, when not empty.
  std::vector<uint8_t> colorProfile;

private:
  std::shared_ptr<const TJPEGData> data_;
  std::optional<TPixelImage> pixels_;
};

} // namespace qv
