#pragma once
// Turning a picture upright as its EXIF orientation says: 1 as stored, 2 mirrored left to
// right, 3 turned 180 degrees, 4 mirrored top to bottom, 5 mirrored across the diagonal from
// the top-left corner (rows become columns), 6 turned 90 degrees clockwise, 7 mirrored
// across the diagonal from the top-right corner, 8 turned 90 degrees counter-clockwise.
// Pixels are moved, never resampled. Any other value counts as 1.

#include <cstdint>
#include <vector>

#include "Fit.h"
#include "JPEGImage.h"
#include "PixelImage.h"

namespace qv {

// The size of a width x height picture once turned: 5 to 8 swap width and height.
TSize OrientedSize(int32_t width, int32_t height, int orientation);

// A turned copy of the whole picture; for 1 a copy sharing its storage.
TPixelImage Orient(const TPixelImage& picture, int orientation);

// Builds the turned picture straight from a decoder's rows, so that a turn needs the turned
// picture and a band of rows, not the decoded picture and a turned copy of it.
class TOrientingSink : public IRowSink {
public:
  explicit TOrientingSink(int orientation);

  void Start(int32_t width, int32_t height) override;
  uint8_t* RowFor(int32_t y) override;
  void Filled(int32_t y) override;

  // The turned picture, to be taken once after the last row.
  TPixelImage Result();

  // Source rows gathered before they are written out as columns: enough for the writes to
  // fill whole cache lines, few enough for the band to stay in the processor's cache.
  static constexpr int32_t kBandRows = 32;

private:
  bool Transposes() const { return orientation_ >= 5; }
  bool Mirrors() const { return orientation_ == 2 || orientation_ == 3; }
  uint8_t* TurnedRow(int32_t y); // where source row y goes, for 1 to 4
  void WriteBand();

  int orientation_;
  int32_t width_ = 0, height_ = 0;
  TPixelImage turned_;
  std::vector<uint8_t> band_; // source rows: a band for 5 to 8, one row for 2 and 3
  size_t rowBytes_ = 0;
  int32_t bandFirst_ = 0; // the source row in the band's first slot
  int32_t bandRows_ = 0;  // rows filled in the band
};

} // namespace qv
