// Picture decoding for the formats beyond BMP (PNG, JPEG, TGA, GIF) with SDL2_image.
#pragma once

#include <cstddef>
#include <vector>

namespace TAVELOR::platform {

// Decodes a whole picture file held in memory. type names the decoder ("PNG", "JPG", "TGA"
// or "GIF"; the caller has recognised the content). On success *rgba holds width x height
// pixels of red, green, blue and alpha bytes, top line first; a keyed palette colour (GIF,
// PNG) comes out with alpha 0. False for a damaged or unsupported file, or one whose decoded
// picture has more than maxPixels pixels.
bool DecodePicture(const unsigned char* bytes, std::size_t size, const char* type, std::size_t maxPixels,
                   std::vector<unsigned char>* rgba, int* width, int* height);

}  // namespace TAVELOR::platform
