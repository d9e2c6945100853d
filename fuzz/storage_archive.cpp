// Fuzz target: the archive directory, member lookup and unpacking of the found member.
#include <cstdint>
#include <vector>

#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  TAVELOR::MemoryByteSource src(data, size);
  std::vector<TAVELOR::ArchiveMember> all;
  TAVELOR::ReadArchiveDirectory(src, &all);
  for (const char* name : {"hag.ddd", "Data/MOON.BMP", "a", ""}) {
    TAVELOR::ArchiveMember m;
    if (!TAVELOR::FindArchiveMember(src, name, &m)) continue;
    if (!m.valid || m.position < 0 || m.size < 4 || m.position + m.size > static_cast<std::int64_t>(size)) __builtin_trap();
    TAVELOR::ZyCompression zc;
    zc.UnPack(data + m.position, m.size);
  }
  return 0;
}
