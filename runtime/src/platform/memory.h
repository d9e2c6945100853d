// Memory services of the operating system for large arrays.
#pragma once

#include <cstddef>

namespace TAVELOR::platform {

// Asks the system to back the whole 2 MiB pages inside [block, block + bytes) with huge pages
// when it first touches them: one fault per 2 MiB instead of one per 4 KiB. Only a hint;
// nothing happens for blocks under two huge pages or where the system does not offer it.
void AdviseHugePages(void* block, std::size_t bytes);

}  // namespace TAVELOR::platform
