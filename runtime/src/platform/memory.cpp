// Memory services: huge-page advice for large blocks.
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace TAVELOR::platform {

void AdviseHugePages(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (!block || bytes < 2 * kHugePage) return;
  // Only the whole huge pages inside the block: the advice applies to every page it names,
  // and the pages around the block may belong to other allocations.
  std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace TAVELOR::platform
