// The size reader behind GetBMPSize, on a real file: for a BMP it reads the headers only and
// must accept exactly what the whole-file BMP parser accepts; any other content must be
// accepted exactly when the picture decodes, with the decoded size.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "display/Bitmap.h"
#include "display/OpenGLLumenar.h"
#include "display/Picture.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteTempFile("fuzz-bmp-size.bmp", data, size);
  if (path.empty()) return 0;
  int width = -1, height = -1;
  const bool ok = Lumbo.GetBMPSize(path.c_str(), &width, &height);
  if (size < 2 || data[0] != 'B' || data[1] != 'M') {
    Picture decoded;
    const bool parsed = ParsePicture(std::vector<unsigned char>(data, data + size), &decoded);
    if (ok != parsed || width != decoded.width || height != decoded.height) __builtin_trap();
    return 0;
  }
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
