#include "JPEGImage.h"

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

#include "Exif.h"
#include "PictureReader.h"
#include "SafeWriter.h"
#include "SourceFile.h"
#include "job/Errors.h"

static_assert(JPEG_LIB_VERSION == 62, "the codec is written for the libjpeg 6.2 interface");
static_assert(BITS_IN_JSAMPLE == 8, "pixels are bytes");

namespace qv {

namespace {

// Set by the window thread at start-up and read by the read-ahead's decoding thread.
std::atomic<int> displayColorDepth{24};

// The library reports a fatal error by jumping back to the frame that called it; that
// frame returns false and the caller raises EJPEG with the library's code. Warnings and
// trace messages are dropped; the library's own texts are never used.
struct TErrorManager {
  jpeg_error_mgr pub; // first, so the library's pointer is also ours
  std::jmp_buf jump;
  int code;
};

void ErrorExit(j_common_ptr cinfo) {
  TErrorManager* error = reinterpret_cast<TErrorManager*>(cinfo->err);
  error->code = error->pub.msg_code;
  std::longjmp(error->jump, 1);
}

void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InstallErrorManager(TErrorManager& error) {
  jpeg_std_error(&error.pub);
  error.pub.error_exit = ErrorExit;
  error.pub.emit_message = EmitMessage;
  error.pub.output_message = OutputMessage;
  error.code = 0;
}

[[noreturn]] void RaiseLibraryError(const TErrorManager& error) {
  throw EJPEG(error.code);
}

// The compressed block is handed over whole; once it is used up the decoder gets an
// end-of-image marker, so data that ends early decodes as far as it goes.
struct TMemorySource {
  jpeg_source_mgr pub;
  const uint8_t* data;
  size_t size;
  bool started;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  TMemorySource* source = reinterpret_cast<TMemorySource*>(cinfo->src);
  if (!source->started) {
    source->started = true;
    if (source->size == 0)
      ERREXIT(cinfo, JERR_INPUT_EMPTY);
    source->pub.next_input_byte = source->data;
    source->pub.bytes_in_buffer = source->size;
  } else {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->pub.next_input_byte = kEndOfImage;
    source->pub.bytes_in_buffer = sizeof kEndOfImage;
  }
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0)
    return;
  jpeg_source_mgr* source = cinfo->src;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Owns a decompressor with its error manager and source; an error on any path frees the
// library's memory here. Zeroed first, so destroying one that failed while being created
// is safe.
struct TDecompressor {
  TDecompressor() : cinfo{}, error{}, source{} {}
  ~TDecompressor() {
    if (created)
      jpeg_destroy_decompress(&cinfo);
  }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  jpeg_decompress_struct cinfo;
  TErrorManager error;
  TMemorySource source;
  bool created = false;
};

// The functions holding a setjmp below keep only locals without destructors, so a jump
// back from the library skips no cleanup.

// Creates the decompressor, feeds it data from the first byte and parses the header,
// keeping the APP2 markers that may hold a colour profile when asked to.
bool OpenDecompressor(TDecompressor& d, const uint8_t* data, size_t size, bool keepProfile = false) {
  InstallErrorManager(d.error);
  d.cinfo.err = &d.error.pub;
  if (setjmp(d.error.jump))
    return false;
  d.created = true;
  jpeg_create_decompress(&d.cinfo);
  d.source.pub.init_source = InitSource;
  d.source.pub.fill_input_buffer = FillInputBuffer;
  d.source.pub.skip_input_data = SkipInputData;
  d.source.pub.resync_to_restart = jpeg_resync_to_restart;
  d.source.pub.term_source = TermSource;
  d.source.data = data;
  d.source.size = size;
  d.cinfo.src = &d.source.pub;
  if (keepProfile)
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&d.cinfo, TRUE);
  return true;
}

// The profile the APP2 chunks assemble to, in memory the caller frees; none when the chunks
// are missing or incomplete.
bool ReadProfile(TDecompressor& d, JOCTET** profile, unsigned int* size) {
  if (setjmp(d.error.jump))
    return false;
  if (!jpeg_read_icc_profile(&d.cinfo, profile, size)) {
    *profile = nullptr;
    *size = 0;
  }
  return true;
}

bool StartDecompress(TDecompressor& d, bool shallowDisplay) {
  if (setjmp(d.error.jump))
    return false;
  j_decompress_ptr cinfo = &d.cinfo;
  // Four-component (CMYK, YCCK) and unknown layouts do not fit three bytes a pixel.
  if (cinfo->jpeg_color_space != JCS_GRAYSCALE && cinfo->jpeg_color_space != JCS_YCbCr &&
      cinfo->jpeg_color_space != JCS_RGB)
    ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);
  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  // The library's default is the integer DCT.
  cinfo->dct_method = JDCT_FLOAT;
  cinfo->do_fancy_upsampling = TRUE;
  cinfo->do_block_smoothing = TRUE;
  cinfo->output_gamma = 1.0;
  bool gray = cinfo->out_color_space == JCS_GRAYSCALE;
  if (!gray)
    // Unquantised rows are written blue first straight into the picture; a colour map
    // stays in the library's red-first order and is read that way.
    cinfo->out_color_space = shallowDisplay ? JCS_RGB : JCS_EXT_BGR;
  if (gray || shallowDisplay) {
    cinfo->quantize_colors = TRUE;
    cinfo->desired_number_of_colors = 236;
  }
  jpeg_start_decompress(cinfo);
  return true;
}

// Decodes only the blocks that hold the columns offset .. offset + width - 1, widened by the
// library to whole blocks.
bool CropColumns(TDecompressor& d, JDIMENSION& offset, JDIMENSION& width) {
  if (setjmp(d.error.jump))
    return false;
  jpeg_crop_scanline(&d.cinfo, &offset, &width);
  return true;
}

// Reads every scan line, top to bottom, into the rows the sink gives, and finishes; a
// cropped decode's pixels go to their own columns, from offset on.
bool ReadRows(TDecompressor& d, IRowSink& sink, JDIMENSION offset = 0) {
  if (setjmp(d.error.jump))
    return false;
  j_decompress_ptr cinfo = &d.cinfo;
  if (cinfo->quantize_colors) {
    JSAMPARRAY indices = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                     cinfo->output_width, 1);
    bool gray = cinfo->out_color_components == 1;
    JSAMPROW red = cinfo->colormap[0];
    JSAMPROW green = gray ? red : cinfo->colormap[1];
    JSAMPROW blue = gray ? red : cinfo->colormap[2];
    while (cinfo->output_scanline < cinfo->output_height) {
      const int32_t y = static_cast<int32_t>(cinfo->output_scanline);
      uint8_t* row = sink.RowFor(y);
      if (jpeg_read_scanlines(cinfo, indices, 1) == 0)
        break;
      const JSAMPLE* index = indices[0];
      for (JDIMENSION x = 0; x < cinfo->output_width; ++x, row += 3) {
        row[0] = blue[index[x]];
        row[1] = green[index[x]];
        row[2] = red[index[x]];
      }
      sink.Filled(y);
    }
  } else {
    while (cinfo->output_scanline < cinfo->output_height) {
      const int32_t y = static_cast<int32_t>(cinfo->output_scanline);
      JSAMPROW row = sink.RowFor(y) + static_cast<size_t>(offset) * 3;
      if (jpeg_read_scanlines(cinfo, &row, 1) == 0)
        break;
      sink.Filled(y);
    }
  }
  // Rows left unread make the library fail here.
  jpeg_finish_decompress(cinfo);
  return true;
}

// The rows kept in a picture of their own, as GetPixels holds them.
class TPictureSink : public IRowSink {
public:
  void Start(int32_t width, int32_t height) override { image.SetSize(width, height); }
  uint8_t* RowFor(int32_t y) override { return image.ScanLine(y); }
  void Filled(int32_t) override {}

  TPixelImage image;
};

TPixelImage Decode(const TJPEGData& data) {
  TPictureSink picture;
  DecodeRows(data, picture);
  return std::move(picture.image);
}

// The compressed stream grows in the output vector, 4096 bytes at a time.
struct TMemoryDestination {
  jpeg_destination_mgr pub;
  std::vector<uint8_t>* bytes;
  JOCTET buffer[4096];
};

void Append(j_compress_ptr cinfo, const JOCTET* data, size_t size) {
  TMemoryDestination* destination = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  bool appended = false;
  try {
    destination->bytes->insert(destination->bytes->end(), data, data + size);
    appended = true;
  } catch (const std::bad_alloc&) {
  }
  // Outside the try block: the jump must not leave a handler.
  if (!appended)
    ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

void InitDestination(j_compress_ptr cinfo) {
  TMemoryDestination* destination = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = sizeof destination->buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  TMemoryDestination* destination = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  Append(cinfo, destination->buffer, sizeof destination->buffer);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TMemoryDestination* destination = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  Append(cinfo, destination->buffer, sizeof destination->buffer - destination->pub.free_in_buffer);
}

struct TCompressor {
  explicit TCompressor(std::vector<uint8_t>& bytes) : cinfo{}, error{}, destination{} {
    destination.bytes = &bytes;
  }
  ~TCompressor() {
    if (created)
      jpeg_destroy_compress(&cinfo);
  }
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  jpeg_compress_struct cinfo;
  TErrorManager error;
  TMemoryDestination destination;
  bool created = false;
};

bool Compress(TCompressor& c, const uint8_t* row0, ptrdiff_t stride, int32_t width, int32_t height, int quality,
              const uint8_t* profile, size_t profileSize) {
  InstallErrorManager(c.error);
  c.cinfo.err = &c.error.pub;
  if (setjmp(c.error.jump))
    return false;
  c.created = true;
  jpeg_create_compress(&c.cinfo);
  c.destination.pub.init_destination = InitDestination;
  c.destination.pub.empty_output_buffer = EmptyOutputBuffer;
  c.destination.pub.term_destination = TermDestination;
  c.cinfo.dest = &c.destination.pub;
  c.cinfo.image_width = static_cast<JDIMENSION>(width);
  c.cinfo.image_height = static_cast<JDIMENSION>(height);
  c.cinfo.input_components = 3;
  // The pixels' own blue-first order, read as RGB by the library.
  c.cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c.cinfo);
  c.cinfo.dct_method = JDCT_FLOAT;
  // Baseline forcing limits every table entry to 255; quality 0 counts as 1.
  jpeg_set_quality(&c.cinfo, quality, TRUE);
  jpeg_start_compress(&c.cinfo, TRUE);
  if (profileSize > 0)
    jpeg_write_icc_profile(&c.cinfo, profile, static_cast<unsigned int>(profileSize));
  while (c.cinfo.next_scanline < c.cinfo.image_height) {
    // The library only reads the rows it is given.
    JSAMPROW row = const_cast<JSAMPROW>(row0 + static_cast<ptrdiff_t>(c.cinfo.next_scanline) * stride);
    jpeg_write_scanlines(&c.cinfo, &row, 1);
  }
  jpeg_finish_compress(&c.cinfo);
  return true;
}

std::shared_ptr<const TJPEGData> Encode(const TPixelImage& pixels, uint8_t quality,
                                        const std::vector<uint8_t>& profile) {
  auto data = std::make_shared<TJPEGData>();
  data->width = pixels.Width();
  data->height = pixels.Height();
  const TPixelImage rows = pixels; // shares the storage; only read
  TCompressor c(data->bytes);
  if (!Compress(c, rows.ScanLine(0), rows.RowStride(), rows.Width(), rows.Height(), quality, profile.data(),
                profile.size()))
    RaiseLibraryError(c.error);
  return data;
}

} // namespace

void SetDisplayColorDepth(int bitsPerPixel) {
  displayColorDepth = bitsPerPixel;
}

int DisplayColorDepth() {
  return displayColorDepth;
}

void DecodeRows(const TJPEGData& data, IRowSink& sink) {
  ReaderFor(data.format).Decode(data, sink);
}

namespace {

class TJpegReader : public IPictureReader {
public:
  void ReadHeader(TJPEGData& data) const override {
    TDecompressor d;
    if (!OpenDecompressor(d, data.bytes.data(), data.bytes.size(), true))
      RaiseLibraryError(d.error);
    JOCTET* icc = nullptr;
    unsigned int iccSize = 0;
    if (!ReadProfile(d, &icc, &iccSize))
      RaiseLibraryError(d.error);
    struct TFree {
      void operator()(JOCTET* p) const { std::free(p); }
    };
    const std::unique_ptr<JOCTET, TFree> owned(icc);
    data.colorProfile = RgbProfile(icc, iccSize);
    data.width = static_cast<int32_t>(d.cinfo.image_width);
    data.height = static_cast<int32_t>(d.cinfo.image_height);
    data.grayscale = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    data.orientation = ReadOrientation(data.bytes.data(), data.bytes.size());
  }

  void Decode(const TJPEGData& data, IRowSink& sink) const override {
    TDecompressor d;
    if (!OpenDecompressor(d, data.bytes.data(), data.bytes.size()))
      RaiseLibraryError(d.error);
    // Before the library sets up its own buffers, which for a progressive file are as large
    // as the picture: a header may claim up to 65500 x 65500.
    if (!PictureFits(d.cinfo.image_width, d.cinfo.image_height))
      throw EOutOfMemory();
    if (!StartDecompress(d, DisplayColorDepth() <= 8))
      RaiseLibraryError(d.error);
    sink.Start(static_cast<int32_t>(d.cinfo.output_width), static_cast<int32_t>(d.cinfo.output_height));
    JDIMENSION offset = 0;
    int32_t first = 0, count = 0;
    // Quantised rows depend on the whole picture; they are always decoded whole.
    if (!d.cinfo.quantize_colors && sink.Columns(first, count) && first >= 0 && count > 0 &&
        static_cast<JDIMENSION>(first) + static_cast<JDIMENSION>(count) <= d.cinfo.output_width &&
        static_cast<JDIMENSION>(count) < d.cinfo.output_width) {
      offset = static_cast<JDIMENSION>(first);
      JDIMENSION width = static_cast<JDIMENSION>(count);
      if (!CropColumns(d, offset, width))
        RaiseLibraryError(d.error);
    }
    if (!ReadRows(d, sink, offset))
      RaiseLibraryError(d.error);
  }
};

} // namespace

const IPictureReader& JpegReader() {
  static const TJpegReader reader;
  return reader;
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<const TJPEGData>()) {}

void TJPEGImage::ReadJpegFile(const std::string& path, bool transformations) {
  // Nothing in the object changes until the file is open.
  TSourceFile file(path);
  pixels_.reset();
  auto data = std::make_shared<TJPEGData>();
  data_ = data;
  file.ReadAll(data->bytes);
  // An empty file reads as 0 x 0 without a header.
  if (data->bytes.empty())
    return;
  data->format = FormatOf(data->bytes.data(), data->bytes.size());
  data->transformations = transformations;
  // Only the header is parsed; a failure leaves the bytes and a size of 0 x 0.
  ReaderFor(data->format).ReadHeader(*data);
}

int32_t TJPEGImage::Width() const {
  return pixels_ ? pixels_->Width() : data_->width;
}

int32_t TJPEGImage::Height() const {
  return pixels_ ? pixels_->Height() : data_->height;
}

void TJPEGImage::CopyFrom(const TJPEGImage& source) {
  data_ = source.data_;
  if (source.pixels_)
    pixels_ = *source.pixels_;
}

void TJPEGImage::AssignPixels(const TPixelImage& image) {
  data_ = std::make_shared<const TJPEGData>();
  pixels_ = image;
}

TPixelImage TJPEGImage::GetPixels() {
  if (!pixels_) {
    try {
      pixels_ = Decode(*data_);
    } catch (const std::bad_alloc&) {
      throw EOutOfMemory();
    }
  }
  return *pixels_;
}

void TJPEGImage::WriteJpegFile(const std::string& path) {
  WriteJpegFile(path, PosixFileSystem());
}

void TJPEGImage::WriteJpegFile(const std::string& path, ISafeFileSystem& fs) {
  // The target is checked first, but nothing replaces it before the data is complete.
  TSafeWriter file(path, fs);
  if (!HasData()) {
    data_ = std::make_shared<const TJPEGData>();
    if (pixels_ && pixels_->Width() > 0 && pixels_->Height() > 0)
      data_ = Encode(*pixels_, quality, colorProfile);
  }
  file.Write(data_->bytes.data(), data_->bytes.size());
  file.Commit();
}

} // namespace qv
