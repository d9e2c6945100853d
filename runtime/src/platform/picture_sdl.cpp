// Picture decoding on SDL2_image, from memory.
#include "platform/picture.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include <climits>
#include <cstring>

namespace TAVELOR::platform {

namespace {
struct SurfaceGuard {
  SDL_Surface* s;
  ~SurfaceGuard() {
    if (s) SDL_FreeSurface(s);
  }
};
}  // namespace

bool DecodePicture(const unsigned char* bytes, std::size_t size, const char* type, std::size_t maxPixels,
                   std::vector<unsigned char>* rgba, int* width, int* height) {
  if (!bytes || size == 0 || size > static_cast<std::size_t>(INT_MAX) || !type || !rgba) return false;
  SDL_RWops* rw = SDL_RWFromConstMem(bytes, static_cast<int>(size));
  if (!rw) return false;
  SurfaceGuard decoded{IMG_LoadTyped_RW(rw, 1, type)};
  if (!decoded.s || decoded.s->w < 1 || decoded.s->h < 1) return false;
  if (static_cast<std::size_t>(decoded.s->w) * static_cast<std::size_t>(decoded.s->h) > maxPixels) return false;
  // Conversion to bytes in R, G, B, A order turns a colour key into alpha 0.
  SurfaceGuard converted{SDL_ConvertSurfaceFormat(decoded.s, SDL_PIXELFORMAT_RGBA32, 0)};
  if (!converted.s) return false;
  const int w = converted.s->w, h = converted.s->h;
  const std::size_t row = static_cast<std::size_t>(w) * 4;
  rgba->resize(row * static_cast<std::size_t>(h));
  if (SDL_LockSurface(converted.s) != 0) return false;
  const auto* pixels = static_cast<const unsigned char*>(converted.s->pixels);
  for (int y = 0; y < h; ++y)
    std::memcpy(rgba->data() + row * static_cast<std::size_t>(y),
                pixels + static_cast<std::size_t>(converted.s->pitch) * y, row);
  SDL_UnlockSurface(converted.s);
  *width = w;
  *height = h;
  return true;
}

}  // namespace TAVELOR::platform
