// PNG through libpng: every colour type and depth, palettes and interlacing, read to the
// file's end so that a file cut off anywhere is refused.

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <png.h>

#include "PictureReader.h"
#include "job/Errors.h"

namespace qv {

namespace {

// Owns libpng's read and info structures together with the memory the file is read from.
// libpng reports a fatal error through an error function that must not return: ours keeps
// the library's message and jumps back to the frame that called it, which returns false.
struct TPngDecoder {
  TPngDecoder(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}
  ~TPngDecoder() {
    if (png != nullptr)
      png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
  TPngDecoder(const TPngDecoder&) = delete;
  TPngDecoder& operator=(const TPngDecoder&) = delete;

  png_structp png = nullptr;
  png_infop info = nullptr;
  std::jmp_buf jump;
  char message[160] = {};
  const uint8_t* data;
  size_t size;
  size_t offset = 0;
};

void ErrorExit(png_structp png, png_const_charp message) {
  TPngDecoder* d = static_cast<TPngDecoder*>(png_get_error_ptr(png));
  std::snprintf(d->message, sizeof d->message, "%s", message != nullptr ? message : "");
  std::longjmp(d->jump, 1);
}

// Warnings, among them the benign errors of ancillary chunks, are dropped as the JPEG
// library's are.
void Warning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep out, size_t length) {
  TPngDecoder* d = static_cast<TPngDecoder*>(png_get_io_ptr(png));
  if (length > d->size - d->offset)
    png_error(png, "the file ends early");
  std::memcpy(out, d->data + d->offset, length);
  d->offset += length;
}

[[noreturn]] void RaiseLibraryError(const TPngDecoder& d) {
  if (std::strstr(d.message, "memory") != nullptr)
    throw EOutOfMemory();
  throw EInvalidGraphic(std::string("Cannot read PNG file: ") + d.message);
}

// The functions holding a setjmp below keep only locals without destructors, so a jump
// back from the library skips no cleanup.

bool OpenPng(TPngDecoder& d) {
  if (setjmp(d.jump))
    return false;
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, ErrorExit, Warning);
  if (d.png == nullptr) {
    std::snprintf(d.message, sizeof d.message, "out of memory");
    return false;
  }
  d.info = png_create_info_struct(d.png);
  if (d.info == nullptr)
    png_error(d.png, "out of memory");
  png_set_read_fn(d.png, &d, ReadData);
  // Our own size limit holds, as for a JPEG; libpng's lower default would refuse earlier.
  png_set_user_limits(d.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(d.png, d.info);
  return true;
}

// Every sample becomes 8 or 16 bits of red, green, blue and, where the file has alpha or a
// colour key, alpha; gamma and the other colour chunks are left as stored.
bool StartRows(TPngDecoder& d, int* passes) {
  if (setjmp(d.jump))
    return false;
  png_set_expand(d.png);
  png_set_gray_to_rgb(d.png);
  *passes = png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  return true;
}

bool ReadRow(TPngDecoder& d, uint8_t* row) {
  if (setjmp(d.jump))
    return false;
  png_read_row(d.png, row, nullptr);
  return true;
}

bool FinishPng(TPngDecoder& d) {
  if (setjmp(d.jump))
    return false;
  png_read_end(d.png, nullptr);
  return true;
}

class TPngReader : public IPictureReader {
public:
  void ReadHeader(TJPEGData& data) const override {
    TPngDecoder d(data.bytes.data(), data.bytes.size());
    if (!OpenPng(d))
      RaiseLibraryError(d);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileSize = 0;
    if (png_get_iCCP(d.png, d.info, &name, &compression, &profile, &profileSize) != 0)
      data.colorProfile = RgbProfile(profile, profileSize);
    data.width = static_cast<int32_t>(png_get_image_width(d.png, d.info));
    data.height = static_cast<int32_t>(png_get_image_height(d.png, d.info));
    data.grayscale = (png_get_color_type(d.png, d.info) & PNG_COLOR_MASK_COLOR) == 0;
  }

  void Decode(const TJPEGData& data, IRowSink& sink) const override {
    TPngDecoder d(data.bytes.data(), data.bytes.size());
    if (!OpenPng(d))
      RaiseLibraryError(d);
    const int32_t width = static_cast<int32_t>(png_get_image_width(d.png, d.info));
    const int32_t height = static_cast<int32_t>(png_get_image_height(d.png, d.info));
    if (!PictureFits(width, height))
      throw EOutOfMemory();
    int passes = 1;
    if (!StartRows(d, &passes))
      RaiseLibraryError(d);
    const TSampleLayout layout{png_get_channels(d.png, d.info), png_get_bit_depth(d.png, d.info) == 16};
    const size_t rowBytes = png_get_rowbytes(d.png, d.info);
    sink.Start(width, height);
    if (passes == 1) {
      // Row by row, as a JPEG streams: the picture is never held in the file's layout.
      std::vector<uint8_t> row(rowBytes);
      for (int32_t y = 0; y < height; ++y) {
        if (!ReadRow(d, row.data()))
          RaiseLibraryError(d);
        ToBgr(row.data(), layout, width, sink.RowFor(y));
        sink.Filled(y);
      }
    } else {
      // The passes of an interlaced file fill the rows in turn, so all of them are held.
      if (rowBytes > static_cast<size_t>(kMaxPictureBytes) * 4 / static_cast<size_t>(height))
        throw EOutOfMemory();
      std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(height));
      for (int pass = 0; pass < passes; ++pass)
        for (int32_t y = 0; y < height; ++y)
          if (!ReadRow(d, rows.data() + rowBytes * static_cast<size_t>(y)))
            RaiseLibraryError(d);
      for (int32_t y = 0; y < height; ++y) {
        ToBgr(rows.data() + rowBytes * static_cast<size_t>(y), layout, width, sink.RowFor(y));
        sink.Filled(y);
      }
    }
    if (!FinishPng(d))
      RaiseLibraryError(d);
  }
};

} // namespace

const IPictureReader& PngReader() {
  static const TPngReader reader;
  return reader;
}

} // namespace qv
