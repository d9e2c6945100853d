// Pictures of the formats beyond BMP: recognition by content, the size checks before
// decoding, the decoder, and the texels made from the decoded pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/Picture.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Picture picture;
  if (!ParsePicture(std::vector<unsigned char>(data, data + size), &picture)) return 0;
  if (picture.format != PictureFormat::Bmp &&
      picture.rgba.size() != static_cast<std::size_t>(picture.width) * picture.height * 4) {
    __builtin_trap();
  }
  constexpr int kMax = 256;
  const int w = picture.width < kMax ? picture.width : kMax;
  const int h = picture.height < kMax ? picture.height : kMax;
  const int x = size > 0 ? static_cast<int>(data[size - 1] % 8) - 4 : 0;
  MakePictureTexels(picture, x, x, w, h, kSpriteColourKey, true);
  return 0;
}
