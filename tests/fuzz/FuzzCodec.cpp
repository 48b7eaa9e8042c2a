// Bytes as a source file: read with its EXIF orientation, decode, turn, fit to a few
// targets, resize, cut and save. The first bytes choose the reader, so PNG, WebP and HEIF
// inputs reach their own decoders; a HEIF is also read and decoded as stored.
// Anything but one of Quarvelle's own errors escaping, or a broken promise of the fit,
// is a fault.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/CropModel.h"
#include "imaging/Exif.h"
#include "imaging/Fit.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"
#include "imaging/PictureReader.h"
#include "imaging/PixelImage.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"
#include "support/TempDir.h"

namespace {

// Made once and kept for the whole run, removed at its end.
const std::string& Folder() {
  static const qvtest::TTempDir folder;
  return folder.path();
}

void Check(bool promise, const char* what) {
  if (!promise) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

// Decoding a legitimately large picture only costs time; the fuzzer is better spent on
// pictures whose display stays small.
constexpr int64_t kLargestFuzzedPixels = int64_t(1) << 20;

void FitAndSave(const std::string& source, const qv::TTarget& target, int32_t shift) {
  const std::string out = Folder() + "/out.jpg";
  qv::TCropModel model;
  qv::TPlainCropView view;
  try {
    qv::TJPEGImage header;
    header.ReadJpegFile(source);
    const qv::TSize turned =
        qv::OrientedSize(header.Width(), header.Height(), target.orientByExif ? header.Data()->orientation : 1);
    const double aspect = qv::Aspect(turned.width, turned.height);
    const bool fitWidth = qv::FitWidth(target.width, target.height, aspect);
    const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect, fitWidth);
    if (int64_t(size.width) * size.height > kLargestFuzzedPixels)
      return;
    model.openfile(source, [&] { return target; }, view);
  } catch (const qv::Exception&) {
    return;
  }
  Check(model.displayed.Width() == view.DisplayWidth() && model.displayed.Height() == view.DisplayHeight(),
        "the picture has the display area's size");
  Check(view.DisplayWidth() >= target.width && view.DisplayHeight() >= target.height,
        "the displayed picture covers the target");
  Check(!model.displayed.HasData(), "the displayed image holds only pixels");
  if (model.fitWidth)
    model.Shape1.top = shift;
  else
    model.Shape1.left = shift;
  model.Savefile(out, target);
  qv::TJPEGImage written;
  written.ReadJpegFile(out);
  Check(written.Width() == target.width && written.Height() == target.height, "the cut has the target size");
  Check(written.GetPixels().Width() == target.width, "the cut decodes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source = Folder() + "/source.jpg";
  if (FILE* file = std::fopen(source.c_str(), "wb")) {
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
      std::abort();
    std::fclose(file);
  } else {
    std::abort();
  }

  // Read from the fuzzer's own block, which ends where the input does.
  const int orientation = qv::ReadOrientation(data, size);
  Check(orientation >= 1 && orientation <= 8, "an orientation of 1 to 8");
  qv::TJPEGImage image;
  try {
    image.ReadJpegFile(source);
  } catch (const qv::Exception&) {
    Check(image.Data()->orientation == 1, "no orientation without a header");
    return 0;
  }
  const bool jpeg = qv::FormatOf(data, size) == qv::TPictureFormat::JPEG;
  Check(image.Data()->orientation == (jpeg ? orientation : 1), "only a JPEG's EXIF orientation counts");
  const std::vector<uint8_t>& profile = image.Data()->colorProfile;
  Check(profile.empty() || (profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0),
        "only an RGB profile is kept");
  if (qv::FormatOf(data, size) == qv::TPictureFormat::HEIF) {
    try {
      qv::TJPEGImage stored;
      stored.ReadJpegFile(source, false);
      if (int64_t(stored.Width()) * stored.Height() <= kLargestFuzzedPixels) {
        const qv::TPixelImage decoded = stored.GetPixels();
        Check(decoded.Width() == stored.Width() && decoded.Height() == stored.Height(),
              "a HEIF as stored decodes at its header's size");
      }
    } catch (const qv::Exception&) {
    }
  }
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  try {
    if (!qv::PictureFits(image.Width(), image.Height())) {
      // Refused before anything is allocated.
      try {
        image.GetPixels();
      } catch (const qv::EOutOfMemory&) {
        return 0;
      }
      Check(false, "a picture beyond the memory cap is refused");
    }
    if (pixels > kLargestFuzzedPixels)
      return 0;
    const qv::TPixelImage decoded = image.GetPixels();
    Check(decoded.Width() == image.Width() && decoded.Height() == image.Height(), "decoded at the header's size");
    Check(qv::Orient(decoded, orientation).Width() == qv::OrientedSize(image.Width(), image.Height(), orientation).width,
          "turned to the turned size");
    // A direct resize to a few awkward sizes, including one row and one column.
    for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {2, 5}, {40, 1}}) {
      qv::TPixelImage resized;
      try {
        qv::SmoothResize(w, h, decoded, resized);
      } catch (const qv::EInvalidGraphicOperation&) {
        continue;
      }
      Check(resized.Width() == w && resized.Height() == h, "resized to the asked size");
    }
  } catch (const qv::Exception&) {
  }

  // The last byte moves the frame, so cuts that run off the picture are tried too.
  const int32_t shift = size > 0 ? static_cast<int8_t>(data[size - 1]) : 0;
  for (const qv::TTarget& target :
       {qv::TTarget{176, 220, 0}, qv::TTarget{96, 65, 100}, qv::TTarget{2, 2, 50}, qv::TTarget{101, 67, 0, false}})
    FitAndSave(source, target, shift);
  return 0;
}
