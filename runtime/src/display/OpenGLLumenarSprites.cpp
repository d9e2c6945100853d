// Sprite drawing (plain, stretched, zoomed, rotated), the blending mode and the 2D
// collision tests.
#include <algorithm>
#include <cmath>

#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {
// The slot's picture part of its texture, or false when there is nothing to draw.
bool PictureSpan(const OpenGLLumenar& l, int slot, float* u, float* v) {
  if (!IsSpriteSlot(slot) || !l.hasContext) return false;
  if (l.imageWidth[slot] <= 0 || l.imageHeight[slot] <= 0 || l.textureWidth[slot] <= 0 ||
      l.textureHeight[slot] <= 0)
    return false;
  *u = static_cast<float>(l.imageWidth[slot]) / static_cast<float>(l.textureWidth[slot]);
  *v = static_cast<float>(l.imageHeight[slot]) / static_cast<float>(l.textureHeight[slot]);
  return true;
}

// One quad in OpenGL coordinates (y up): left, bottom, right, top; counter-clockwise when
// left < right and bottom < top.
void Quad(float left, float bottom, float right, float top, float u, float v) {
  glBegin(GL_TRIANGLE_FAN);
  glTexCoord2f(0, 0); glVertex2f(left, bottom);
  glTexCoord2f(u, 0); glVertex2f(right, bottom);
  glTexCoord2f(u, v); glVertex2f(right, top);
  glTexCoord2f(0, v); glVertex2f(left, top);
  glEnd();
}
}  // namespace

void OpenGLLumenar::DrawSprite(int slot, float x, float y) {
  float u, v;
  if (!PictureSpan(*this, slot, &u, &v)) return;
  BindSprite(slot);
  const float w = static_cast<float>(imageWidth[slot]), h = static_cast<float>(imageHeight[slot]);
  Quad(x, -(y + h), x + w, -y, u, v);
}

void OpenGLLumenar::StretchSprite(int slot, float x, float y, float width, float height) {
  float u, v;
  if (!PictureSpan(*this, slot, &u, &v)) return;
  BindSprite(slot);
  Quad(x, -(y + height), x + width, -y, u, v);
}

void OpenGLLumenar::RotoSprite(int slot, float x, float y, float angle) {
  float u, v;
  if (!PictureSpan(*this, slot, &u, &v)) return;
  BindSprite(slot);
  const int iw = imageWidth[slot], ih = imageHeight[slot];
  glPushMatrix();
  glTranslatef(x + static_cast<float>(iw / 2), -(y + static_cast<float>(ih / 2)), 0);
  glRotatef(angle, 0, 0, 1);
  const float hw = static_cast<float>(iw) / 2, hh = static_cast<float>(ih) / 2;
  Quad(-hw, -hh, hw, hh, u, v);
  glPopMatrix();
}

void OpenGLLumenar::DrawSpriteFX(int slot, float x, float y, const OPENGL_SPRITEFX& fx) {
  float u, v;
  if (!PictureSpan(*this, slot, &u, &v)) return;
  BindSprite(slot);
  const int iw = imageWidth[slot], ih = imageHeight[slot];
  const float w = static_cast<float>(fx.width < 1 ? iw : fx.width);
  const float h = static_cast<float>(fx.height < 1 ? ih : fx.height);
  const float a = currentAlpha;
  if (fx.colour == 0) {
    // Full brightness (255 x alpha clamps to 1) with the alpha kept.
    const float c = std::min(255.0f * a, 1.0f);
    glColor4f(c, c, c, a);
  } else {
    glColor4f(a * static_cast<float>(fx.colour & 255) / 255.0f, a * static_cast<float>((fx.colour >> 8) & 255) / 255.0f,
              a * static_cast<float>((fx.colour >> 16) & 255) / 255.0f, a);
  }
  glPushMatrix();
  glTranslatef(x + static_cast<float>(iw / 2), -(y + static_cast<float>(ih / 2)), 0);
  glRotatef(fx.angle, 0, 0, 1);
  Quad(-w / 2, -h / 2, w / 2, h / 2, u, v);
  glPopMatrix();
  glColor4f(a, a, a, a);
}

void OpenGLLumenar::DoAlpha(float a) {
  float alpha = 1.0f;
  if (a < 0) {
    if (hasContext) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    alpha = -a;
  } else if (a > 0) {
    if (hasContext) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_ONE, GL_ONE);
    }
    alpha = a;
  } else if (hasContext) {
    glDisable(GL_BLEND);  // 0, and also NaN
  }
  alpha = std::min(alpha, 1.0f);
  currentAlpha = alpha;
  if (hasContext) glColor4f(alpha, alpha, alpha, alpha);
}

bool OpenGLLumenar::SpriteCollision(int a, int b, int ax, int ay, int bx, int by) {
  if (!IsSpriteSlot(a) || !IsSpriteSlot(b)) return false;
  const long long left = std::max<long long>(ax, bx);
  const long long right = std::min<long long>(static_cast<long long>(ax) + imageWidth[a],
                                              static_cast<long long>(bx) + imageWidth[b]);
  const long long top = std::max<long long>(ay, by);
  const long long bottom = std::min<long long>(static_cast<long long>(ay) + imageHeight[a],
                                               static_cast<long long>(by) + imageHeight[b]);
  if (left >= right || top >= bottom) return false;
  if (!GetSpritePixels(a) || !GetSpritePixels(b)) return false;
  const unsigned char* ma = alphaMask[a];
  const unsigned char* mb = alphaMask[b];
  for (long long y = top; y < bottom; ++y) {
    const long long rowA = imageHeight[a] - 1 - (y - ay), rowB = imageHeight[b] - 1 - (y - by);
    for (long long x = left; x < right; ++x) {
      const unsigned char ta = ma[rowA * textureWidth[a] + (x - ax)];
      const unsigned char tb = mb[rowB * textureWidth[b] + (x - bx)];
      if (ta >= kSolidAlpha && tb >= kSolidAlpha) return true;
    }
  }
  return false;
}

// ---- Commands ------------------------------------------------------------------------

void SPRITE(double n, double x, double y) {
  Lumbo.DrawSprite(TruncToInt(n), static_cast<float>(x), static_cast<float>(y));
}

void STRETCHSPRITE(double n, double x, double y, double width, double height) {
  Lumbo.StretchSprite(TruncToInt(n), static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                      static_cast<float>(height));
}

void ZOOMSPRITE(double n, double x, double y, double zoomX, double zoomY) {
  const int slot = TruncToInt(n);
  if (!IsSpriteSlot(slot)) return;
  const double iw = Lumbo.imageWidth[slot], ih = Lumbo.imageHeight[slot];
  const double w = std::fabs(zoomX * iw), h = std::fabs(zoomY * ih);
  Lumbo.StretchSprite(slot, static_cast<float>(x - (w - iw) / 2), static_cast<float>(y - (h - ih) / 2),
                      static_cast<float>(w), static_cast<float>(h));
}

void ROTOSPRITE(double n, double x, double y, double angle) {
  Lumbo.RotoSprite(TruncToInt(n), static_cast<float>(x), static_cast<float>(y), static_cast<float>(angle));
}

void ROTOZOOMSPRITE(double n, double x, double y, double angle, double zoom) {
  const int slot = TruncToInt(n);
  if (!IsSpriteSlot(slot)) return;
  // Into 0..360 by remainder, so even a huge negative angle is done in one step.
  angle = std::fmod(angle, 360.0);
  if (angle < 0) angle += 360.0;
  OPENGL_SPRITEFX fx;
  fx.angle = static_cast<float>(angle);
  fx.width = TruncToInt(Lumbo.imageWidth[slot] * zoom);
  fx.height = TruncToInt(Lumbo.imageHeight[slot] * zoom);
  fx.colour = 0;
  Lumbo.DrawSpriteFX(slot, static_cast<float>(x), static_cast<float>(y), fx);
}

void ALPHAMODE(double a) { Lumbo.DoAlpha(static_cast<float>(a)); }

double SPRCOLL(double s1, double x1, double y1, double s2, double x2, double y2) {
  return Lumbo.SpriteCollision(TruncToInt(s1), TruncToInt(s2), TruncToInt(x1), TruncToInt(y1), TruncToInt(x2),
                               TruncToInt(y2))
             ? 1
             : 0;
}

void BOXCOLL(double& result, double x1, double y1, double w1, double h1, double x2, double y2, double w2,
             double h2) {
  auto overlap = [](double p1, double s1, double p2, double s2) {
    const double lo1 = std::min(p1, p1 + s1), hi1 = std::max(p1, p1 + s1);
    const double lo2 = std::min(p2, p2 + s2), hi2 = std::max(p2, p2 + s2);
    return std::max(lo1, lo2) <= std::min(hi1, hi2);
  };
  result = overlap(x1, w1, x2, w2) && overlap(y1, h1, y2, h2) ? 1 : 0;
}

}  // namespace TAVELOR
