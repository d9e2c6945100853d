// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace fuzz {

// A file in the temporary directory holding exactly the given bytes; its path.
inline std::string WriteTempFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const std::string path = TAVELOR::platform::TempDir() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return std::string();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace fuzz
