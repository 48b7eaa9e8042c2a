#include "HugePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace qv {

void AdviseHugePages(void* block, size_t size) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = (start + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
  const uintptr_t last = (start + size) & ~uintptr_t{kHugePage - 1};
  if (last > first)
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace qv
