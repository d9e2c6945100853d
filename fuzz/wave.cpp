// The wave reader: header fields, the chunk walk to the samples, and the channel reduction
// of files with more channels than the mixer lays out.
#include <cstddef>
#include <cstdint>

#include "audio/WaveFile.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WaveLayout w;
  if (!ReadWaveLayout(data, size, &w)) return 0;
  if (w.dataOffset > size || w.dataSize > size - w.dataOffset) __builtin_trap();
  FirstTwoChannels(data + w.dataOffset, w.dataSize, w.channels, w.bits);
  return 0;
}
