// WebP through libwebp, lossy or lossless, with or without alpha; the container is checked
// chunk by chunk first, which is also where its colour profile is found.

#include <cstring>
#include <memory>
#include <string>

#include <webp/decode.h>
#include <webp/demux.h>

#include "PictureReader.h"
#include "job/Errors.h"

namespace qv {

namespace {

struct TDemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using TDemuxer = std::unique_ptr<WebPDemuxer, TDemuxDelete>;

// The decoder's settings and the picture it decodes to, which it allocates and this frees.
struct TWebPDecode {
  TWebPDecode() { WebPInitDecoderConfig(&config); }
  ~TWebPDecode() { WebPFreeDecBuffer(&config.output); }
  TWebPDecode(const TWebPDecode&) = delete;
  TWebPDecode& operator=(const TWebPDecode&) = delete;

  WebPDecoderConfig config;
};

[[noreturn]] void Raise(const std::string& reason) {
  throw EInvalidGraphic("Cannot read WebP file: " + reason);
}

[[noreturn]] void RaiseStatus(VP8StatusCode status) {
  switch (status) {
  case VP8_STATUS_OUT_OF_MEMORY:
    throw EOutOfMemory();
  case VP8_STATUS_NOT_ENOUGH_DATA:
    Raise("the file ends early");
  case VP8_STATUS_UNSUPPORTED_FEATURE:
    Raise("it uses a feature this system cannot decode");
  default:
    Raise("its data is damaged");
  }
}

// What both the header and the decode need: the bitstream's features, after the whole
// container has been checked, and its colour profile. An animation is refused here, since
// only one still picture can be cut.
struct TWebPHeader {
  WebPBitstreamFeatures features;
  std::vector<uint8_t> profile;
};

TWebPHeader Inspect(const TJPEGData& data) {
  TWebPHeader header;
  // The container first, so that a damaged chunk is named as such.
  const WebPData bytes{data.bytes.data(), data.bytes.size()};
  const TDemuxer demux(WebPDemux(&bytes));
  if (!demux)
    Raise("a chunk is damaged or the file ends early");
  const VP8StatusCode status = WebPGetFeatures(data.bytes.data(), data.bytes.size(), &header.features);
  if (status != VP8_STATUS_OK)
    RaiseStatus(status);
  if (header.features.has_animation)
    Raise("it is animated, and only a still picture can be cut");
  if ((WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) != 0) {
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
      header.profile = RgbProfile(chunk.chunk.bytes, chunk.chunk.size);
      WebPDemuxReleaseChunkIterator(&chunk);
    }
  }
  return header;
}

class TWebPReader : public IPictureReader {
public:
  void ReadHeader(TJPEGData& data) const override {
    TWebPHeader header = Inspect(data);
    data.colorProfile = std::move(header.profile);
    data.width = header.features.width;
    data.height = header.features.height;
  }

  void Decode(const TJPEGData& data, IRowSink& sink) const override {
    const TWebPHeader header = Inspect(data);
    const int32_t width = header.features.width;
    const int32_t height = header.features.height;
    if (!PictureFits(width, height))
      throw EOutOfMemory();
    const bool alpha = header.features.has_alpha != 0;
    TWebPDecode decode;
    // Without alpha the library's colours are the picture's, already blue first.
    decode.config.output.colorspace = alpha ? MODE_RGBA : MODE_BGR;
    const VP8StatusCode status = WebPDecode(data.bytes.data(), data.bytes.size(), &decode.config);
    if (status != VP8_STATUS_OK)
      RaiseStatus(status);
    const WebPRGBABuffer& decoded = decode.config.output.u.RGBA;
    if (decode.config.output.width != width || decode.config.output.height != height)
      Raise("its picture is not the size its header gives");
    sink.Start(width, height);
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* samples = decoded.rgba + static_cast<ptrdiff_t>(y) * decoded.stride;
      uint8_t* row = sink.RowFor(y);
      if (alpha)
        ToBgr(samples, TSampleLayout{4}, width, row);
      else
        std::memcpy(row, samples, static_cast<size_t>(width) * 3);
      sink.Filled(y);
    }
  }
};

} // namespace

const IPictureReader& WebPReader() {
  static const TWebPReader reader;
  return reader;
}

} // namespace qv
