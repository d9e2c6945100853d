// Fuzz target: the compression container.
#include <cstdint>
#include <cstring>

#include "storage/ZyCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  TAVELOR::ZyCompression zc;
  int n = zc.UnPack(data, static_cast<int>(size));
  if (n != zc.Length() || (n > 0 && !zc.Ok())) __builtin_trap();
  // A good container packs back into one that unpacks to the same bytes.
  if (zc.Ok()) {
    TAVELOR::ZyCompression again;
    again.Pack(zc.Data(), zc.Length());
    TAVELOR::ZyCompression back;
    if (back.UnPack(again.Data(), again.Length()) != n || (n && std::memcmp(back.Data(), zc.Data(), static_cast<std::size_t>(n))))
      __builtin_trap();
  }
  return 0;
}
