#pragma once
// A photo's bytes and its picture fill thousands of pages each; where a block spans whole
// aligned huge pages the system is asked to use those instead, which saves most of the
// page faults of filling it. Where huge pages are not offered the advice is ignored.

#include <cstddef>

namespace qv {

inline constexpr size_t kHugePage = size_t{2} << 20;

// Advises the whole aligned huge pages inside size bytes from block; the rest is left alone.
void AdviseHugePages(void* block, size_t size);

} // namespace qv
