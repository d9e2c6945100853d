// Sprite slots: bitmaps become textures (with their mipmapped twins), screen grabs, alpha
// masks, freeing; the commands that load and query sprites.
#include <algorithm>
#include <cstdio>

#include <tavelor/frame.h>
#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "storage/ResolveArchivePath.h"
#include "values/Numbers.h"

namespace TAVELOR {

int MaxTextureSize() {
  GLint max = 0;
  if (Lumbo.hasContext) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  return max > 0 ? max : 1024;
}

void EndWithFileError() {
  __g_error = 3;
  __g_errorline = __g_debugline;
  __EndProgram();
}

namespace {
void SetFilters(GLint minFilter) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
}
}  // namespace

void UploadTexels(const Texels& texels, unsigned int* name, unsigned int* mipName) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glGenTextures(1, name);
  glBindTexture(GL_TEXTURE_2D, *name);
  SetFilters(GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texels.width, texels.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               texels.rgba.data());
  if (!mipName) return;
  glGenTextures(1, mipName);
  glBindTexture(GL_TEXTURE_2D, *mipName);
  SetFilters(GL_LINEAR_MIPMAP_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texels.width, texels.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               texels.rgba.data());
  std::vector<unsigned char> level = texels.rgba;
  int w = texels.width, h = texels.height;
  for (int n = 1; ShrinkMipLevel(&level, &w, &h); ++n)
    glTexImage2D(GL_TEXTURE_2D, n, GL_RGBA8, std::max(w, 1), std::max(h, 1), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 level.data());
}

int MakeTextureFromPicture(const Picture& picture, int x, int y, int w, int h, unsigned int* name,
                       unsigned int* mipName, unsigned long key, bool useKey, bool bump) {
  if (!Lumbo.hasContext || !name) return 0;
  Lumbo.FlushBatch();  // the upload binds textures
  if (w == 0 || h == 0) {
    w = picture.width;
    h = picture.height;
  }
  const int max = MaxTextureSize();
  const int cw = std::min(w, max), ch = std::min(h, max);
  if (cw < 1 || ch < 1) return 0;
  Texels texels = MakePictureTexels(picture, x, y, cw, ch, static_cast<std::uint32_t>(key), useKey);
  if (bump) build_detail_normalmap(texels.rgba.data(), texels.width, texels.height);
  UploadTexels(texels, name, mipName);
  return 1;
}

bool OpenGLLumenar::GetBMPSize(const char* file, int* width, int* height) {
  int w = 0, h = 0;
  const bool ok = ReadPictureSize(file, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
  return ok;
}

int OpenGLLumenar::MakeBMPTexture(const char* file, int x, int y, int width, int height, unsigned int* name,
                                  unsigned int* mipName, unsigned long key, bool useKey, bool bump) {
  Picture picture;
  if (!ReadPicture(file, &picture)) return 0;
  return MakeTextureFromPicture(picture, x, y, width, height, name, mipName, key, useKey, bump);
}

bool OpenGLLumenar::LoadSprite(int slot, const char* file, unsigned long key, bool bump) {
  if (!IsSpriteSlot(slot)) return false;
  FreeSprite(slot);
  Picture picture;
  if (!ReadPicture(file, &picture)) return false;
  // Pictures beyond the texture size limit keep their top-left part.
  const int max = MaxTextureSize();
  const int w = std::min(picture.width, max), h = std::min(picture.height, max);
  MakeTextureFromPicture(picture, 0, 0, w, h, &textureNames[slot][0], &textureNames[slot][1], key, true, bump);
  textureWidth[slot] = PowerOfTwoAtLeast(w, 2);
  textureHeight[slot] = PowerOfTwoAtLeast(h, 2);
  imageWidth[slot] = w;
  imageHeight[slot] = h;
  return true;
}

bool OpenGLLumenar::GrabSprite(int slot, int x, int y, int width, int height) {
  FlushBatch();
  if (!IsSpriteSlot(slot) || !hasContext) return false;
  const int max = MaxTextureSize();
  if (width < 1 || height < 1 || width > max || height > max) return false;
  const int tw = PowerOfTwoAtLeast(width, 32), th = PowerOfTwoAtLeast(height, 32);
  glDeleteTextures(2, textureNames[slot]);
  textureNames[slot][0] = textureNames[slot][1] = 0;
  delete[] alphaMask[slot];
  alphaMask[slot] = nullptr;
  glGenTextures(1, &textureNames[slot][0]);
  glBindTexture(GL_TEXTURE_2D, textureNames[slot][0]);
  SetFilters(GL_LINEAR);
  // Without an alpha channel the copied texels read as opaque, whatever alpha the frame holds.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, tw, th, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  glReadBuffer(GL_BACK);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, displayHeight - y - height, width, height);
  textureWidth[slot] = tw;
  textureHeight[slot] = th;
  imageWidth[slot] = width;
  imageHeight[slot] = height;
  return true;
}

bool OpenGLLumenar::GetSpritePixels(int slot) {
  FlushBatch();
  if (!IsSpriteSlot(slot)) return false;
  if (alphaMask[slot]) return true;
  if (!hasContext || textureNames[slot][0] == 0 || textureWidth[slot] <= 0 || textureHeight[slot] <= 0)
    return false;
  const std::size_t size = static_cast<std::size_t>(textureWidth[slot]) * textureHeight[slot];
  auto* mask = new unsigned char[size];
  glBindTexture(GL_TEXTURE_2D, textureNames[slot][0]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, mask);
  alphaMask[slot] = mask;
  return true;
}

void OpenGLLumenar::FreeSprite(int slot) {
  FlushBatch();
  if (!IsSpriteSlot(slot)) return;
  if (hasContext) glDeleteTextures(2, textureNames[slot]);
  textureNames[slot][0] = textureNames[slot][1] = 0;
  textureWidth[slot] = textureHeight[slot] = -1;
  delete[] alphaMask[slot];
  alphaMask[slot] = nullptr;
}

void OpenGLLumenar::GetSpriteSize(int slot, int* width, int* height) const {
  const bool ok = IsSpriteSlot(slot);
  if (width) *width = ok ? imageWidth[slot] : 0;
  if (height) *height = ok ? imageHeight[slot] : 0;
}

void OpenGLLumenar::BindSprite(int slot) {
  selection = {slot, -1, 0};
  if (!hasContext) return;
  const GLuint name = IsSpriteSlot(slot) ? textureNames[slot][0] : 0;
  // Unchanged state means no OpenGL call at all, so the driver keeps collecting the quads of
  // consecutive sprites into one draw instead of drawing and revalidating sprite by sprite.
  if (spriteBound_ && boundSprite_ == name) return;
  if (glMultiTexCoord2fArb && glActiveTextureArb) {
    glActiveTextureArb(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureArb(GL_TEXTURE0);
  }
  glBindTexture(GL_TEXTURE_2D, name);
  glEnable(GL_TEXTURE_2D);
  spriteBound_ = true;
  boundSprite_ = name;
}

void OpenGLLumenar::FlushBatch() { spriteBound_ = false; }

void OpenGLLumenar::ApplyTextureSelection(int texture, int second, int mip) {
  FlushBatch();
  selection = {texture, second, mip != 0 ? 1 : 0};
  if (!hasContext) return;
  auto nameOf = [&](int slot) -> GLuint { return IsSpriteSlot(slot) ? textureNames[slot][mip != 0 ? 1 : 0] : 0; };
  if (!glMultiTexCoord2fArb || !glActiveTextureArb) {
    if (texture < 0) {
      glDisable(GL_TEXTURE_2D);
      glEnable(GL_COLOR_MATERIAL);
    } else {
      glBindTexture(GL_TEXTURE_2D, nameOf(texture));
      glEnable(GL_TEXTURE_2D);
    }
    return;
  }
  glActiveTextureArb(GL_TEXTURE1);
  if (texture >= 0 && second >= 0) {
    glBindTexture(GL_TEXTURE_2D, nameOf(texture));
    glEnable(GL_TEXTURE_2D);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  glActiveTextureArb(GL_TEXTURE0);
  if (texture < 0) {
    glDisable(GL_TEXTURE_2D);
  } else {
    glBindTexture(GL_TEXTURE_2D, nameOf(second >= 0 ? second : texture));
    glEnable(GL_TEXTURE_2D);
  }
}

void OpenGLLumenar::SetTexture3D(int texture, int second, int mip) {
  if (texture >= kSpriteSlots || second >= kSpriteSlots) return;
  ApplyTextureSelection(texture < 0 ? -1 : texture, second < 0 ? -1 : second, mip);
}

// ---- Commands ------------------------------------------------------------------------

namespace {
void LoadSpriteCommand(const DGStr& file, double n, bool bump) {
  const int slot = TruncToInt(n);
  if (!IsSpriteSlot(slot)) return;
  const std::string path = ResolveDataPath(file.c_str());
  if (path.empty()) return;
  Lumbo.FreeSprite(slot);
  Lumbo.LoadSprite(slot, path.c_str(), kSpriteColourKey, bump);
}
}  // namespace

void LOADSPRITE(DGStr file, double n) { LoadSpriteCommand(file, n, false); }

void LOADBUMPTEXTURE(DGStr file, double n) { LoadSpriteCommand(file, n, true); }

void GRABSPRITE(double n, double x, double y, double width, double height) {
  Lumbo.GrabSprite(TruncToInt(n), TruncToInt(x), TruncToInt(y), TruncToInt(width), TruncToInt(height));
}

void GETSPRITESIZE(double n, double& width, double& height) {
  int w = 0, h = 0;
  Lumbo.GetSpriteSize(TruncToInt(n), &w, &h);
  width = w;
  height = h;
}

}  // namespace TAVELOR
