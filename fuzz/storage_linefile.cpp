// Fuzz target: the line-file reader behind GETFILE.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <tavelor/storage.h>

#include "platform/platform.h"
#include "storage/FastFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace TAVELOR;
  static const std::string path = platform::TempDir() + "fuzz-linefile.txt";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  __g_FastFile.FillBuffer(nullptr);
  if (__g_FastFile.FillBuffer(path.c_str()) != 0) return 0;
  if (__g_FastFile.lastLine < 0 || __g_FastFile.lastLine >= FAST_FILE::kLines) __builtin_trap();
  for (int i = 0; i < FAST_FILE::kLines; ++i) {
    if (!std::memchr(__g_FastFile.lines[i], 0, FAST_FILE::kLineBytes)) __builtin_trap();
  }
  DGStr text;
  GETFILE(path.c_str(), 0, text);
  GETFILE(path.c_str(), 255, text);
  return 0;
}
