#include "audio/WaveFile.h"

#include <cstdint>
#include <cstring>

namespace TAVELOR {

namespace {

std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
unsigned U16(const unsigned char* p) { return static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8; }

// Walks the chunks from pos until "data"; fills offset and size of its contents.
bool FindData(const unsigned char* bytes, std::size_t size, std::uint64_t pos, std::size_t* offset,
              std::size_t* length) {
  while (pos + 8 <= size) {
    const unsigned char* chunk = bytes + pos;
    const std::uint64_t chunkSize = U32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (chunkSize > size - (pos + 8)) return false;  // claims more samples than the file holds
      *offset = static_cast<std::size_t>(pos + 8);
      *length = static_cast<std::size_t>(chunkSize);
      return true;
    }
    pos += 8 + chunkSize + (chunkSize & 1);  // chunks are padded to an even length
  }
  return false;
}

}  // namespace

bool ReadWaveLayout(const unsigned char* bytes, std::size_t size, WaveLayout* out) {
  if (!bytes || size < 36) return false;
  const std::uint32_t fmtSize = U32(bytes + 16);
  WaveLayout w;
  w.channels = static_cast<int>(U16(bytes + 22));
  const std::uint32_t rate = U32(bytes + 24);
  w.bits = static_cast<int>(U16(bytes + 34));
  if (w.channels == 0 || rate < kMinWaveRate || rate > kMaxWaveRate || (w.bits != 8 && w.bits != 16)) return false;
  w.rate = static_cast<int>(rate);
  // The next chunk follows the format chunk as its size says. Files whose format chunk is
  // not 16 bytes long were also read 14 bytes past the 36-byte header; that place is tried
  // when the first walk finds no samples.
  const std::uint64_t declared = 20 + static_cast<std::uint64_t>(fmtSize < 16 ? 16 : fmtSize) + (fmtSize & 1);
  const std::uint64_t fixed = fmtSize == 16 ? 36 : 50;
  if (!FindData(bytes, size, declared, &w.dataOffset, &w.dataSize) &&
      (fixed == declared || !FindData(bytes, size, fixed, &w.dataOffset, &w.dataSize))) {
    return false;
  }
  const std::size_t frame = static_cast<std::size_t>(w.channels) * static_cast<std::size_t>(w.bits / 8);
  w.dataSize -= w.dataSize % frame;
  if (w.dataSize == 0) return false;
  *out = w;
  return true;
}

bool IsEncodedSound(const unsigned char* b, std::size_t n) {
  if (!b || n < 4) return false;
  if (std::memcmp(b, "OggS", 4) == 0 || std::memcmp(b, "fLaC", 4) == 0 || std::memcmp(b, "ID3", 3) == 0) return true;
  // An MPEG audio frame header: sync bits, a layer, a bit rate index other than "bad".
  return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0 && (b[2] & 0xF0) != 0xF0;
}

std::vector<unsigned char> FirstTwoChannels(const unsigned char* samples, std::size_t size, int channels, int bits) {
  std::vector<unsigned char> out;
  if (channels < 2 || (bits != 8 && bits != 16)) return out;
  const std::size_t sample = static_cast<std::size_t>(bits / 8);
  const std::size_t frame = sample * static_cast<std::size_t>(channels);
  const std::size_t frames = size / frame;
  out.resize(frames * 2 * sample);
  for (std::size_t i = 0; i < frames; ++i) std::memcpy(&out[i * 2 * sample], samples + i * frame, 2 * sample);
  return out;
}

}  // namespace TAVELOR
