// Pieces shared by the 2D drawing files of the display engine.
#pragma once

#include <memory>
#include <string>

#include "display/Bitmap.h"
#include "display/Picture.h"
#include "display/OpenGLLumenar.h"

namespace TAVELOR {

// Parameters of the effect sprite draw.
struct OPENGL_SPRITEFX {
  float angle = 0;           // degrees, counter-clockwise on screen
  int width = 0;             // drawn size; < 1 means the image size
  int height = 0;
  unsigned long colour = 0;  // tint as an RGB number; 0 means none
};

// One polygon point: position (y already negated), texture coordinate (v already
// flipped) and colour.
struct PolyPointRecord {
  float x, y, u, v, red, green, blue, alpha;
};

// The growable point list of the polygon commands: 512 records at first, then 128 more
// each time it is full.
struct PolyPointList {
  std::unique_ptr<PolyPointRecord[]> data;
  int count = 0;
  int capacity = 0;
  void Clear();
  void Append(const PolyPointRecord& p);
};

extern PolyPointList g_PolyPoints;
extern int g_nTexture;

inline bool IsSpriteSlot(int slot) { return slot >= 0 && slot < kSpriteSlots; }
inline bool IsSurface(int n) { return n >= 0 && n < kSurfaces; }

// Uploads texels as a texture with GL_REPEAT and GL_LINEAR filters into a new name. With
// mipName a second, mipmapped texture is made from them too.
void UploadTexels(const Texels& texels, unsigned int* name, unsigned int* mipName);

// Cuts the picture to the texture size limit and uploads the w x h cut-out at (x, y) (0 for
// the whole picture). Returns 1, or 0 with no texture made.
int MakeTextureFromPicture(const Picture& picture, int x, int y, int w, int h, unsigned int* name,
                       unsigned int* mipName, unsigned long key, bool useKey, bool bump);

// Records error 3 at the current debug line and ends the program.
[[noreturn]] void EndWithFileError();

// GL_MAX_TEXTURE_SIZE of the current context.
int MaxTextureSize();

}  // namespace TAVELOR
