// Sprites and text drawn into the 3D scene: camera-facing billboards, text at a projected point
// in screen pixels, and text standing in the world.
#include <cmath>
#include <cstdlib>

#include "display/Display2D.h"

namespace TAVELOR {

namespace {

struct CameraAxes {
  float right[3], up[3];
};

// The camera's right and up directions in the coordinates of the current model-view matrix.
CameraAxes ReadCameraAxes() {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  return {{m[0], m[4], m[8]}, {m[1], m[5], m[9]}};
}

bool HasPicture(const OpenGLLumenar& l, int slot) {
  return IsSpriteSlot(slot) && l.imageWidth[slot] > 0 && l.imageHeight[slot] > 0 && l.textureWidth[slot] > 0 &&
         l.textureHeight[slot] > 0;
}

// Disables face culling while it lives when it was on.
class NoCulling {
 public:
  NoCulling() : wasOn_(glIsEnabled(GL_CULL_FACE)) {
    if (wasOn_) glDisable(GL_CULL_FACE);
  }
  ~NoCulling() {
    if (wasOn_) glEnable(GL_CULL_FACE);
  }
  NoCulling(const NoCulling&) = delete;
  NoCulling& operator=(const NoCulling&) = delete;

 private:
  bool wasOn_;
};

}  // namespace

void OpenGLLumenar::DrawBillboard(int slot, float x, float y, float z, float scale) {
  if (!hasContext || !HasPicture(*this, slot)) return;
  const CameraAxes axes = ReadCameraAxes();
  const float hw = scale * static_cast<float>(imageWidth[slot] >> 2);
  const float hh = scale * static_cast<float>(imageHeight[slot] >> 1);
  float a[3], b[3], c[3], d[3];
  const float p[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) {
    a[i] = p[i] - hw * axes.right[i];
    b[i] = p[i] + hw * axes.right[i];
    c[i] = b[i] + hh * axes.up[i];
    d[i] = a[i] + hh * axes.up[i];
  }
  const float u = static_cast<float>(imageWidth[slot]) / static_cast<float>(textureWidth[slot]);
  const float v = static_cast<float>(imageHeight[slot]) / static_cast<float>(textureHeight[slot]);
  const TextureSelection saved = selection;
  BindSprite(slot);
  glBegin(GL_TRIANGLE_FAN);
  glTexCoord2f(0, 0); glVertex3fv(a);
  glTexCoord2f(u, 0); glVertex3fv(b);
  glTexCoord2f(u, v); glVertex3fv(c);
  glTexCoord2f(0, v); glVertex3fv(d);
  glEnd();
  ApplyTextureSelection(saved.slot, saved.secondSlot, saved.mipmapped);
}

void OpenGLLumenar::Text3D(int font, const char* text, float x, float y, float z, float size) {
  if (!hasContext || !text || font < 0 || font >= kFontSlots) return;
  NoCulling culling;
  if (size == 0) {
    // The point through the current matrices into window pixels, y from the top.
    GLfloat m[16], p[16];
    GLint vp[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetIntegerv(GL_VIEWPORT, vp);
    float eye[4], clip[4];
    for (int i = 0; i < 4; ++i) eye[i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
    for (int i = 0; i < 4; ++i) clip[i] = p[i] * eye[0] + p[4 + i] * eye[1] + p[8 + i] * eye[2] + p[12 + i] * eye[3];
    if (clip[3] == 0) return;
    const float nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    const float sx = static_cast<float>(vp[0]) + static_cast<float>(vp[2]) * (nx + 1) / 2;
    const float sy = static_cast<float>(vp[3]) - (static_cast<float>(vp[1]) + (ny + 1) * static_cast<float>(vp[3]) / 2);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, displayWidth, -displayHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    Text2D(font, text, sx, sy, -nz);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return;
  }
  const int slot = kFirstFontSlot + font;
  if (!HasPicture(*this, slot)) return;
  const CameraAxes axes = ReadCameraAxes();
  BindSprite(slot);
  const int W = imageWidth[slot], H = imageHeight[slot];
  const float du = (static_cast<float>(W) / static_cast<float>(textureWidth[slot])) / 16;
  const float dv = (static_cast<float>(H) / static_cast<float>(textureHeight[slot])) / 8;
  const float s = static_cast<float>(W >> 4) * size;
  float right[3], a[3], b[3], c[3], d[3];
  for (int i = 0; i < 3; ++i) {
    right[i] = s * axes.right[i];
    const float up = s * axes.up[i];
    a[i] = (i == 0 ? x : i == 1 ? y : z) - up;
    b[i] = a[i] + right[i];
    c[i] = b[i] + up;
    d[i] = c[i] - right[i];
  }
  glBegin(GL_QUADS);
  for (const char* t = text; *t; ++t) {
    // The byte as a signed character; codes above 127 fold back into the 128 glyphs.
    const int g = std::abs(static_cast<signed char>(*t) % 128);
    const float s0 = static_cast<float>(g % 16) * du, t0 = static_cast<float>(7 - g / 16) * dv;
    glTexCoord2f(s0, t0); glVertex3fv(a);
    glTexCoord2f(s0 + du, t0); glVertex3fv(b);
    glTexCoord2f(s0 + du, t0 + dv); glVertex3fv(c);
    glTexCoord2f(s0, t0 + dv); glVertex3fv(d);
    for (int i = 0; i < 3; ++i) {
      a[i] += right[i];
      b[i] += right[i];
      c[i] += right[i];
      d[i] += right[i];
    }
  }
  glEnd();
}

}  // namespace TAVELOR
