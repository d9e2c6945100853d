// Helpers of the mesh tests: .ddd files written byte by byte, temporary paths, the error log.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <tavelor/frame.h>

#include "frame/ErrorLog.h"

namespace meshtest {

// Little-endian bytes, appended field by field.
struct Bytes {
  std::vector<unsigned char> b;
  Bytes& u8(unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  Bytes& u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    return *this;
  }
  Bytes& f32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    return u32(v);
  }
  Bytes& f64(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    u32(static_cast<std::uint32_t>(v));
    return u32(static_cast<std::uint32_t>(v >> 32));
  }
  Bytes& header(std::int32_t frames, std::int32_t palette, std::int32_t tex, double version = 1.02) {
    return u32(0x00C6B317u).f64(version).u32(frames).u32(palette).u32(tex);
  }
  Bytes& frame(std::int32_t nodes, float ox, float oy, float oz, float sx, float sy, float sz) {
    return u32(nodes).f32(ox).f32(oy).f32(oz).f32(sx).f32(sy).f32(sz);
  }
  Bytes& node(unsigned q0, unsigned q1, unsigned q2, unsigned normal, unsigned colour) {
    return u8(q0).u8(q1).u8(q2).u8(normal).u8(colour);
  }
};

inline std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline std::string ErrorLogText() {
  std::vector<unsigned char> b = ReadFile(TAVELOR::ErrorLogPath().c_str());
  return std::string(b.begin(), b.end());
}

inline void ResetErrorLog() { std::filesystem::remove(TAVELOR::ErrorLogPath().c_str()); }

}  // namespace meshtest
