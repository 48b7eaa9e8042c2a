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
  std::string message = error.message != nullptr ? error.message : "unknown error";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
    message.pop_back();
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
    width = heif_image_handle_get_width(primary);
    height = heif_image_handle_get_height(primary);
    if (width <= 0 || height <= 0)
      Raise("its primary image has no size");
  }

  // The primary image decoded as the pipeline takes it, transformed or as coded.
  std::unique_ptr<heif_image, TImageRelease> Decode(bool transformations) const {
    // The coded picture may be larger than the one shown, and is decoded whole first.
    if (!PictureFits(width, height) || !PictureFits(heif_image_handle_get_ispe_width(handle.get()),
                                                    heif_image_handle_get_ispe_height(handle.get())))
      throw EOutOfMemory();
    const std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
    if (!options)
      throw EOutOfMemory();
    options->ignore_transformations = transformations ? 0 : 1;
    heif_image* decoded = nullptr;
    Check(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                            Alpha() ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    std::unique_ptr<heif_image, TImageRelease> image(decoded);
    if (heif_image_get_plane_readonly(decoded, heif_channel_interleaved, nullptr) == nullptr)
      Raise("its picture could not be decoded");
    return image;
  }

  bool Alpha() const { return heif_image_handle_has_alpha_channel(handle.get()) != 0; }

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
      profile = RgbProfile(profile.data(), profile.size());
    int32_t width = primary.width, height = primary.height;
    if (!data.transformations) {
      // libheif 1.15 tells the size only with the transformations applied; the coded one
      // is known once decoded.
      const auto image = primary.Decode(false);
      width = heif_image_get_width(image.get(), heif_channel_interleaved);
      height = heif_image_get_height(image.get(), heif_channel_interleaved);
    }
    data.colorProfile = std::move(profile);
    data.width = width;
    data.height = height;
  }

  void Decode(const TJPEGData& data, IRowSink& sink) const override {
    const TPrimary primary(data);
    const auto image = primary.Decode(data.transformations);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int32_t width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int32_t height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (width != data.width || height != data.height)
      Raise("its picture is not the size its header gives");
    // Premultiplied colours already lie over black.
    const bool alpha = primary.Alpha();
    const TSampleLayout layout{alpha ? 4 : 3, false,
                               alpha && heif_image_handle_is_premultiplied_alpha(primary.handle.get()) != 0};
    sink.Start(width, height);
    for (int32_t y = 0; y < height; ++y) {
      ToBgr(plane + static_cast<ptrdiff_t>(y) * stride, layout, width, sink.RowFor(y));
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
