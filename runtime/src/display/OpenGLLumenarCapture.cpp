// Writing the screen or a sprite to a 24-bit BMP file, clearing the screen with its
// background, and the cross-fade to a new background picture.
#include <algorithm>
#include <cstdio>
#include <vector>

#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "platform/files.h"
#include "storage/ResolveArchivePath.h"
#include "values/Numbers.h"

namespace TAVELOR {

bool OpenGLLumenar::SaveMemoryToBMP(const char* file, unsigned char* pixels, int width, int height,
                                    int sourceWidth, int, bool flip) {
  if (!file || !pixels || width < 0 || height < 0) return false;
  const std::vector<unsigned char> bytes = EncodeBmp24(pixels, width, height, sourceWidth, flip);
  // Through a temporary file: a failed write leaves the old picture as it was.
  platform::FileReplacement out;
  return out.Begin(file) && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

bool OpenGLLumenar::SaveBMPFile(const char* file) {
  FlushBatch();
  if (!hasContext || displayWidth <= 0 || displayHeight <= 0) return false;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(displayWidth) * displayHeight * 3);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, displayWidth, displayHeight, GL_BGR, GL_UNSIGNED_BYTE, pixels.data());
  return SaveMemoryToBMP(file, pixels.data(), displayWidth, displayHeight, displayWidth, displayHeight, false);
}

bool OpenGLLumenar::SaveBMPSprite(int slot, const char* file) {
  FlushBatch();
  if (!IsSpriteSlot(slot) || !hasContext || textureNames[slot][0] == 0) return false;
  const int tw = textureWidth[slot], th = textureHeight[slot];
  if (tw <= 0 || th <= 0) return false;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(tw) * th * 3);
  glBindTexture(GL_TEXTURE_2D, textureNames[slot][0]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR, GL_UNSIGNED_BYTE, pixels.data());
  return SaveMemoryToBMP(file, pixels.data(), std::min(imageWidth[slot], tw), std::min(imageHeight[slot], th), tw,
                         th, false);
}

void OpenGLLumenar::BlendToSurface(int from, int to) {
  FlushBatch();
  if (!hasContext || !IsSurface(from) || !IsSurface(to)) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_ALPHA_TEST);
  glClear(GL_COLOR_BUFFER_BIT);
  for (float t = 0; t < 1; t += 0.02f) {
    glColor4f(t, t, t, 1);
    PasteSurface(to);
    glColor4f(1 - t, 1 - t, 1 - t, 1);
    PasteSurface(from);
    FlipScreens();
  }
  glColor4f(1, 1, 1, 1);
  PasteSurface(to);
  FlipScreens();
  glEnable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
  currentAlpha = 1;
  glColor4f(1, 1, 1, 1);
}

// ---- Commands ------------------------------------------------------------------------

void SAVEBMP(DGStr file) { Lumbo.SaveBMPFile(file.c_str()); }

void SAVESPRITE(double n, DGStr file) { Lumbo.SaveBMPSprite(TruncToInt(n), file.c_str()); }

void BLACKSCREEN() {
  Lumbo.FlushBatch();
  if (Lumbo.hasContext) glClear(GL_COLOR_BUFFER_BIT);
  Lumbo.FreeSurface(0);
}

void BLENDSCREEN(DGStr file) {
  Lumbo.FlushBatch();
  if (!Lumbo.hasContext) return;
  const std::string path = ResolveDataPath(file.c_str());
  if (path.empty()) return;
  Lumbo.GrabSurface(0);
  if (!Lumbo.LoadSurface(1, path.c_str())) EndWithFileError();
  Lumbo.BlendToSurface(0, 1);
  Lumbo.FreeSurface(1);
  Lumbo.LoadSurface(0, path.c_str());
  Lumbo.PasteSurface(0);
  glEnable(GL_BLEND);
  glDisable(GL_BLEND);
  Lumbo.currentAlpha = 1;
  glColor4f(1, 1, 1, 1);
}

}  // namespace TAVELOR
