// HEIF, HEIC and AVIF through libheif: the primary image, decoded to 8-bit RGB or RGBA with
// the library's default options, its rotation, mirroring and crop applied unless the photo
// is to stay as stored.

#include <memory>
#include <string>
#include <vector>

#include <libheif/heif.h>

#include "PictureReader.h"
#include "job/Errors.h"

namespace qv {

namespace {

struct TContextFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct THandleRelease {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct TImageRelease {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
struct TOptionsFree {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

[[noreturn]] void Raise(const std::string& reason) {
  throw EInvalidGraphic("Cannot read HEIF file: " + reason);
}

void Check(const heif_error& error) {
  if (error.code == heif_error_Ok)
    return;
  if (error.code == heif_error_Memory_allocation_error)
    throw EOutOfMemory();
  const std::string message = error.message != nullptr ? error.message : "unknown error";
  // What libheif reports when the file's codec is one it has no decoder for.
  if (error.subcode == heif_suberror_Nonexisting_item_referenced)
    Raise("its primary image is missing or in a codec this system cannot decode (" + message + ")");
  Raise(message);
}

// The parsed file and its primary image. libheif reads the bytes where they are, so data
// must outlive this.
struct TPrimary {
  explicit TPrimary(const TJPEGData& data) : context(heif_context_alloc()) {
    if (!context)
      throw EOutOfMemory();
    Check(heif_context_read_from_memory_without_copy(context.get(), data.bytes.data(), data.bytes.size(), nullptr));
    heif_image_handle* primary = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &primary));
    handle.reset(primary);
    // With its transformations the picture is as libheif shows it; without, as coded.
    width = data.transformations ? heif_image_handle_get_width(primary) : heif_image_handle_get_ispe_width(primary);
    height = data.transformations ? heif_image_handle_get_height(primary) : heif_image_handle_get_ispe_height(primary);
    if (width <= 0 || height <= 0)
      Raise("its primary image has no size");
  }

  std::unique_ptr<heif_context, TContextFree> context;
  std::unique_ptr<heif_image_handle, THandleRelease> handle;
  int32_t width = 0;
  int32_t height = 0;
};

class THeifReader : public IPictureReader {
public:
  void ReadHeader(TJPEGData& data) const override {
    const TPrimary primary(data);
    std::vector<uint8_t> profile(heif_image_handle_get_raw_color_profile_size(primary.handle.get()));
    if (!profile.empty() &&
        heif_image_handle_get_raw_color_profile(primary.handle.get(), profile.data()).code == heif_error_Ok)
      data.colorProfile = RgbProfile(profile.data(), profile.size());
    data.width = primary.width;
    data.height = primary.height;
    data.grayscale = false;
  }

  void Decode(const TJPEGData& data, IRowSink& sink) const override {
    const TPrimary primary(data);
    heif_image_handle* handle = primary.handle.get();
    // The coded picture is decoded whole before any crop, so it too must fit.
    if (!PictureFits(primary.width, primary.height) ||
        !PictureFits(heif_image_handle_get_ispe_width(handle), heif_image_handle_get_ispe_height(handle)))
      throw EOutOfMemory();
    const std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
    if (!options)
      throw EOutOfMemory();
    options->ignore_transformations = data.transformations ? 0 : 1;
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_image* decoded = nullptr;
    Check(heif_decode_image(handle, &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    const std::unique_ptr<heif_image, TImageRelease> image(decoded);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr)
      Raise("its picture could not be decoded");
    if (heif_image_get_width(decoded, heif_channel_interleaved) != primary.width ||
        heif_image_get_height(decoded, heif_channel_interleaved) != primary.height)
      Raise("its picture is not the size its header gives");
    // Premultiplied colours already lie over black.
    const TSampleLayout layout{alpha ? 4 : 3, false, alpha && heif_image_handle_is_premultiplied_alpha(handle) != 0};
    sink.Start(primary.width, primary.height);
    for (int32_t y = 0; y < primary.height; ++y) {
      ToBgr(plane + static_cast<ptrdiff_t>(y) * stride, layout, primary.width, sink.RowFor(y));
      sink.Filled(y);
    }
  }
};

} // namespace

const IPictureReader& HeifReader() {
  static const THeifReader reader;
  return reader;
}

} // namespace qv
