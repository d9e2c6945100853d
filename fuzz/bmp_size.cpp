// The BMP header reader behind GetBMPSize, on a real file: it must accept exactly what the
// whole-file parser accepts and report the same size.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "display/Bitmap.h"
#include "display/OpenGLLumenar.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteTempFile("fuzz-bmp-size.bmp", data, size);
  if (path.empty()) return 0;
  int width = -1, height = -1;
  const bool ok = Lumbo.GetBMPSize(path.c_str(), &width, &height);
  BmpFile whole;
  const bool parsed = ParseBmpFile(std::vector<unsigned char>(data, data + size), &whole);
  if (ok != parsed) __builtin_trap();
  if (ok && (width != whole.header.width || height != whole.header.height || width < 1 || height < 1 ||
             width > kMaxBmpSide || height > kMaxBmpSide)) {
    __builtin_trap();
  }
  if (!ok && (width != 0 || height != 0)) __builtin_trap();
  return 0;
}
