// Bitmap fonts: a picture of 16 x 8 glyph cells in a font slot, and text drawn from it.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <tavelor/frame.h>
#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "storage/ResolveArchivePath.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {
int ClampFont(double n) { return std::clamp(TruncToInt(n), 0, kFontSlots - 1); }
bool IsFont(int font) { return font >= 0 && font < kFontSlots; }
}  // namespace

bool OpenGLLumenar::LoadFont(int font, const char* file) {
  if (!IsFont(font)) return false;
  return LoadSprite(kFirstFontSlot + font, file, kFontColourKey, false);
}

void OpenGLLumenar::GetFontSize(int font, int* width, int* height) const {
  const bool ok = IsFont(font);
  if (width) *width = ok ? imageWidth[kFirstFontSlot + font] : 0;
  if (height) *height = ok ? imageHeight[kFirstFontSlot + font] : 0;
}

void OpenGLLumenar::Text2D(int font, const char* text, float x, float y, float z) {
  if (!IsFont(font) || !text || !hasContext) return;
  const int slot = kFirstFontSlot + font;
  const int W = imageWidth[slot], H = imageHeight[slot];
  if (W <= 0 || H <= 0 || textureWidth[slot] <= 0 || textureHeight[slot] <= 0) return;
  BindSprite(slot);
  const float du = (static_cast<float>(W) / static_cast<float>(textureWidth[slot])) / 16;
  const float dv = (static_cast<float>(H) / static_cast<float>(textureHeight[slot])) / 8;
  const float cw = static_cast<float>(W / 16), ch = static_cast<float>(H / 8);
  float pen = std::ceil(x);
  z = std::ceil(z);
  glBegin(GL_QUADS);
  for (const char* p = text; *p; ++p) {
    // The byte as a signed character; codes above 127 fold back into the 128 glyphs.
    const int g = std::abs(static_cast<signed char>(*p) % 128);
    const float s0 = static_cast<float>(g % 16) * du, t0 = static_cast<float>(7 - g / 16) * dv;
    glTexCoord2f(s0, t0); glVertex3f(pen, -(y + ch), z);
    glTexCoord2f(s0 + du, t0); glVertex3f(pen + cw, -(y + ch), z);
    glTexCoord2f(s0 + du, t0 + dv); glVertex3f(pen + cw, -y, z);
    glTexCoord2f(s0, t0 + dv); glVertex3f(pen, -y, z);
    pen += cw;
  }
  glEnd();
}

// ---- Commands ------------------------------------------------------------------------

void LOADFONT(DGStr file, double n) {
  const int font = ClampFont(n);
  __nCurFont = font;
  const std::string path = ResolveDataPath(file.c_str());
  if (path.empty()) return;
  if (!Lumbo.LoadFont(font, path.c_str())) EndWithFileError();
}

void SETFONT(double n) { __nCurFont = ClampFont(n); }

void PRINT(DGStr text, double x, double y) {
  Lumbo.Text2D(__nCurFont, text.c_str(), static_cast<float>(x), static_cast<float>(y), 0);
}

void PRINT(double value, double x, double y) {
  char text[32];
  DoubleToText(value, text);
  Lumbo.Text2D(__nCurFont, text, static_cast<float>(x), static_cast<float>(y), 0);
}

void GETFONTSIZE(double& width, double& height) {
  int w = 0, h = 0;
  Lumbo.GetFontSize(__nCurFont, &w, &h);
  width = w >> 4;
  height = h >> 3;
}

}  // namespace TAVELOR
