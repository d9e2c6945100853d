// The BMP reader: headers, palettes, run-length rows, and the texel passes that follow a
// successful parse (placement, colour-key edges, normal map, mipmap chain).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Bitmap.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BmpFile file;
  if (!ParseBmpFile(std::vector<unsigned char>(data, data + size), &file)) return 0;
  // Keep the texture small enough for quick runs, as a small GL_MAX_TEXTURE_SIZE would.
  constexpr int kMax = 256;
  const int w = file.header.width < kMax ? file.header.width : kMax;
  const int h = file.header.height < kMax ? file.header.height : kMax;
  // A cut-out that may start outside the picture, like the tiles of a surface.
  const int x = size > 0 ? static_cast<int>(data[size - 1] % 8) - 4 : 0;
  Texels t = MakeTexels(file, x, x, w, h, kSpriteColourKey, true);
  build_detail_normalmap(t.rgba.data(), t.width, t.height);
  int lw = t.width, lh = t.height;
  while (ShrinkMipLevel(&t.rgba, &lw, &lh)) {
  }
  return 0;
}
