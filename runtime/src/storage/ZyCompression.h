// ZyCompression: the compression container. A container is the uncompressed length n as a
// 32-bit little-endian number followed by an LZO1X stream that decompresses to exactly n bytes.
#pragma once

#include <cstdint>

namespace TAVELOR {

class ZyCompression {
 public:
  // The largest uncompressed length UnPack accepts. A container declaring more is refused
  // before anything is allocated.
  static constexpr std::uint32_t kMaxUnpacked = 256u << 20;

  ZyCompression() = default;
  ~ZyCompression() { Clear(); }
  ZyCompression(const ZyCompression&) = delete;
  ZyCompression& operator=(const ZyCompression&) = delete;

  // Frees the output buffer; length 0.
  void Clear();
  // Unpacks a container of size bytes. Returns the number of bytes produced, 0 when the
  // container is too short, declares more than kMaxUnpacked (or more than its stream can
  // possibly hold), or its stream is damaged, truncated or not exactly n bytes long. Ok()
  // tells an empty container apart from a failure.
  int UnPack(const unsigned char* data, int size);
  // Packs size bytes into a container; returns its length (header included), 0 on failure.
  int Pack(const unsigned char* data, long size);

  const unsigned char* Data() const { return buffer_; }
  int Length() const { return length_; }
  // True when the last UnPack or Pack succeeded.
  bool Ok() const { return ok_; }

 private:
  bool Allocate(std::size_t bytes);

  unsigned char* buffer_ = nullptr;
  int length_ = 0;
  bool ok_ = false;
};

}  // namespace TAVELOR
