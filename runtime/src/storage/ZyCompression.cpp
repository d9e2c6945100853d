// The compression container over LZO1X-1.
#include "storage/ZyCompression.h"

#include <lzo/lzo1x.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace TAVELOR {

namespace {

bool LzoReady() {
  static const bool ready = lzo_init() == LZO_E_OK;
  return ready;
}

// An LZO1X stream yields at most about 255 bytes per input byte (a run length grows by 255
// for every zero byte of its count); a container declaring more than this is damaged.
constexpr std::uint64_t kMaxRatio = 256;
constexpr std::uint64_t kRatioSlack = 4096;

}  // namespace

void ZyCompression::Clear() {
  std::free(buffer_);
  buffer_ = nullptr;
  length_ = 0;
  ok_ = false;
}

bool ZyCompression::Allocate(std::size_t bytes) {
  buffer_ = static_cast<unsigned char*>(std::malloc(bytes ? bytes : 1));
  return buffer_ != nullptr;
}

int ZyCompression::UnPack(const unsigned char* data, int size) {
  Clear();
  if (!data || size < 4 || !LzoReady()) return 0;
  const std::uint32_t n = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
                          (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  const std::uint64_t streamBytes = static_cast<std::uint64_t>(size) - 4;
  if (n > kMaxUnpacked || n > streamBytes * kMaxRatio + kRatioSlack) return 0;
  if (!Allocate(n)) return 0;
  lzo_uint produced = n;
  int r = lzo1x_decompress_safe(data + 4, static_cast<lzo_uint>(streamBytes), buffer_, &produced, nullptr);
  if (r != LZO_E_OK || produced != n) return 0;
  length_ = static_cast<int>(n);
  ok_ = true;
  return length_;
}

int ZyCompression::Pack(const unsigned char* data, long size) {
  Clear();
  if (size < 0 || (size > 0 && !data) || !LzoReady()) return 0;
  const std::uint64_t in = static_cast<std::uint64_t>(size);
  // LZO1X-1 worst case: in + in / 16 + 64 + 3, plus the header.
  const std::uint64_t worst = in + in / 16 + 64 + 3 + 4;
  if (in > 0xFFFFFFFFull || worst > static_cast<std::uint64_t>(INT_MAX)) return 0;
  if (!Allocate(static_cast<std::size_t>(worst))) return 0;
  // The compressor's dictionary; one per thread so that packing needs no lock.
  thread_local std::unique_ptr<unsigned char[]> work(new unsigned char[LZO1X_1_MEM_COMPRESS]);
  static const unsigned char kNothing = 0;
  lzo_uint out = 0;
  if (lzo1x_1_compress(size > 0 ? data : &kNothing, static_cast<lzo_uint>(in), buffer_ + 4, &out, work.get()) != LZO_E_OK) {
    Clear();
    return 0;
  }
  buffer_[0] = static_cast<unsigned char>(in);
  buffer_[1] = static_cast<unsigned char>(in >> 8);
  buffer_[2] = static_cast<unsigned char>(in >> 16);
  buffer_[3] = static_cast<unsigned char>(in >> 24);
  length_ = static_cast<int>(out + 4);
  ok_ = true;
  return length_;
}

}  // namespace TAVELOR
