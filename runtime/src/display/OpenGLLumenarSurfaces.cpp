// Surfaces: large pictures kept as grids of tiles. Surface 0 is the background.
#include "display/OpenGLLumenar.h"

namespace TAVELOR {

void OpenGLLumenar::PasteSurface(int n) {
  if (n < 0 || n >= kSurfaces || !hasContext) return;
  const Surface& s = surfaces[n];
  if (s.columns <= 0 || s.rows <= 0) return;
  glDisable(GL_ALPHA_TEST);
  if (glActiveTextureArb) {
    glActiveTextureArb(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureArb(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
  }
  float x = 0;
  for (int c = 0; c < s.columns && c < kSurfaceTiles; ++c) {
    float y = -static_cast<float>(s.tileHeight[c][0]);
    for (int r = 0; r < s.rows && r < kSurfaceTiles; ++r) {
      const float w = static_cast<float>(s.tileWidth[c][r]);
      const float h = static_cast<float>(s.tileHeight[c][r]);
      glBindTexture(GL_TEXTURE_2D, s.texture[c][r]);
      glBegin(GL_QUADS);
      glTexCoord2f(0, 0); glVertex2f(x, y);
      glTexCoord2f(1, 0); glVertex2f(x + w, y);
      glTexCoord2f(1, 1); glVertex2f(x + w, y + h);
      glTexCoord2f(0, 1); glVertex2f(x, y + h);
      glEnd();
      if (r + 1 < s.rows && r + 1 < kSurfaceTiles) y -= static_cast<float>(s.tileHeight[c][r + 1]);
    }
    x += static_cast<float>(s.tileWidth[c][s.rows - 1 < kSurfaceTiles ? s.rows - 1 : kSurfaceTiles - 1]);
  }
  glEnable(GL_ALPHA_TEST);
}

}  // namespace TAVELOR
