// An owned array of zero bytes taken from calloc: large ones come as fresh pages from the
// system, so the parts a search never reaches are never touched.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace TAVELOR::pathfinding {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using ZeroedArray = std::unique_ptr<T[], FreeDeleter>;

// n zeroed elements of a trivial type, or null when the memory cannot be had.
template <class T>
ZeroedArray<T> MakeZeroedArray(std::size_t n) {
  return ZeroedArray<T>(static_cast<T*>(std::calloc(n == 0 ? 1 : n, sizeof(T))));
}

}  // namespace TAVELOR::pathfinding
