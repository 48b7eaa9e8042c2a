#include "PixelImage.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <sys/mman.h>

#include "HugePages.h"
#include "job/Errors.h"

namespace qv {

namespace {

// Bytes of one row: three a pixel, padded to a multiple of 4.
ptrdiff_t StrideFor(int32_t width) {
  return (static_cast<ptrdiff_t>(width) * 3 + 3) / 4 * 4;
}

// From this size on a picture gets a mapping of its own; small ones stay in the heap.
constexpr size_t kOwnMappingFrom = 4 * kHugePage;

// Mappings of pictures that went, kept for the next picture of the same length: a batch cuts
// photo after photo at the same sizes, and the first touch of a fresh mapping costs a page
// fault and the system's zeroing of every page, which on a virtual machine took as long as
// the resize itself. Zeroing a kept one again is a fraction of that. A few are kept, up to
// a bound; beyond it the one kept longest goes back to the system.
class TKeptMappings {
public:
  uint8_t* Take(size_t length) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
      if (it->length == length) {
        uint8_t* block = it->block;
        bytes_ -= it->length;
        kept_.erase(it);
        return block;
      }
    return nullptr;
  }

  void Give(uint8_t* block, size_t length) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    try {
      kept_.push_back(TMapping{block, length});
    } catch (...) {
      munmap(block, length);
      return;
    }
    bytes_ += length;
    while (kept_.size() > kMostKept || bytes_ > kMostKeptBytes) {
      munmap(kept_.front().block, kept_.front().length);
      bytes_ -= kept_.front().length;
      kept_.pop_front();
    }
  }

private:
  // Enough for the pictures of a few workers cutting at two large sizes each.
  static constexpr size_t kMostKept = 12;
  static constexpr size_t kMostKeptBytes = size_t{256} << 20;
  struct TMapping {
    uint8_t* block;
    size_t length;
  };
  std::mutex mutex_;
  std::deque<TMapping> kept_;
  size_t bytes_ = 0;
};

TKeptMappings& KeptMappings() {
  // Never destroyed: pictures may still go while the program ends.
  static TKeptMappings* kept = new TKeptMappings;
  return *kept;
}

// A large picture gets its own mapping, aligned so that all of it may be backed with huge
// pages: the page faults of decoding into it would otherwise cost about a third as much as
// the decode itself.
std::shared_ptr<uint8_t[]> Map(size_t bytes) {
  const size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  uint8_t* block = KeptMappings().Take(length);
  if (block != nullptr) {
    std::memset(block, 0, bytes);
  } else {
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
      throw EOutOfMemory();
    // Only the aligned part is kept; the slack before and after it goes back at once.
    const uintptr_t first = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (first + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    const size_t head = start - first;
    if (head > 0)
      munmap(raw, head);
    if (head < kHugePage)
      munmap(reinterpret_cast<void*>(start + length), kHugePage - head);
    block = reinterpret_cast<uint8_t*>(start);
    AdviseHugePages(block, length);
  }
  // Should the control block fail to allocate, shared_ptr still runs the deleter.
  return std::shared_ptr<uint8_t[]>(block, [length](uint8_t* p) { KeptMappings().Give(p, length); });
}

// Zeroed storage that we never fill ourselves: calloc and a new mapping leave a large
// picture's pages to the system, and a picture never shows what an earlier one left in memory.
std::shared_ptr<uint8_t[]> Allocate(ptrdiff_t stride, int32_t height) {
  if (height <= 0)
    return nullptr;
  if (stride > kMaxPictureBytes / height)
    throw EOutOfMemory();
  size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
  if (bytes >= kOwnMappingFrom)
    return Map(bytes);
  void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (block == nullptr)
    throw EOutOfMemory();
  return std::shared_ptr<uint8_t[]>(static_cast<uint8_t*>(block), [](uint8_t* p) { std::free(p); });
}

} // namespace

bool PictureFits(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    return true;
  if (width > kMaxPictureBytes)
    return false;
  return StrideFor(static_cast<int32_t>(width)) <= kMaxPictureBytes / height;
}

TPixelImage::TPixelImage(int32_t width, int32_t height) {
  SetSize(width, height);
}

void TPixelImage::SetSize(int32_t width, int32_t height) {
  if (width < 0)
    width = 0;
  if (height < 0)
    height = 0;
  if (width == width_ && height == height_ && storage_)
    return;
  ptrdiff_t stride = StrideFor(width);
  storage_ = Allocate(stride, height);
  width_ = width;
  height_ = height;
  stride_ = stride;
}

ptrdiff_t TPixelImage::RowStride() const {
  return stride_;
}

const uint8_t* TPixelImage::ScanLine(int32_t row) const {
  if (row < 0 || row >= height_)
    throw EInvalidGraphicOperation();
  return storage_.get() + row * stride_;
}

uint8_t* TPixelImage::ScanLine(int32_t row) {
  if (row < 0 || row >= height_)
    throw EInvalidGraphicOperation();
  detach();
  return storage_.get() + row * stride_;
}

TBGR TPixelImage::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || x >= width_ || y < 0 || y >= height_)
    return TBGR{};
  const uint8_t* p = storage_.get() + y * stride_ + static_cast<ptrdiff_t>(x) * 3;
  return TBGR{p[0], p[1], p[2]};
}

void TPixelImage::SetPixel(int32_t x, int32_t y, TBGR colour) {
  if (x < 0 || x >= width_ || y < 0 || y >= height_)
    return;
  detach();
  uint8_t* p = storage_.get() + y * stride_ + static_cast<ptrdiff_t>(x) * 3;
  p[0] = colour.b;
  p[1] = colour.g;
  p[2] = colour.r;
}

bool TPixelImage::SharesStorageWith(const TPixelImage& other) const {
  return storage_ != nullptr && storage_ == other.storage_;
}

bool TPixelImage::operator==(const TPixelImage& other) const {
  if (width_ != other.width_ || height_ != other.height_)
    return false;
  if (SharesStorageWith(other))
    return true;
  size_t used = static_cast<size_t>(width_) * 3;
  for (int32_t y = 0; y < height_; ++y)
    if (std::memcmp(storage_.get() + y * stride_, other.storage_.get() + y * other.stride_, used) != 0)
      return false;
  return true;
}

void TPixelImage::detach() {
  if (storage_.use_count() <= 1)
    return;
  std::shared_ptr<uint8_t[]> own = Allocate(stride_, height_);
  std::memcpy(own.get(), storage_.get(), static_cast<size_t>(stride_) * static_cast<size_t>(height_));
  storage_ = std::move(own);
}

} // namespace qv
