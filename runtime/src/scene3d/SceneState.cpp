// The scene state of the 3D engine and its commands: projection, camera, object transform,
// culling, depth clearing, fog, texture selection and the world/window conversions.
#include <tavelor/scene3d.h>

#include <algorithm>
#include <cmath>

#include "display/OpenGLLumenar.h"
#include "scene3d/Lumenar3D.h"
#include "scene3d/Math3D.h"
#include "values/Numbers.h"

namespace TAVELOR {

int __mipmapping_state = 0;
int __current_cullmode = 0;

namespace {
constexpr float kDegreesPerRadian = 57.29578f;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

void Lumenar3D::Make3DViewport(float nearClip, float farClip, float fov) {
  const float cone = fov + 5;
  viewConeTan = std::tan((cone <= 89 ? cone : 89.0f) / kDegreesPerRadian);
  nearPlane = nearClip;
  farPlane = farClip;
  textureOffset[0] = textureOffset[1] = 0;
  lightingOn = false;
  if (!display || !display->hasContext) return;

  const int* v = display->viewport;
  glViewport(v[0], display->displayHeight - v[3] - v[1], v[2], v[3]);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double aspect = v[3] > 0 ? static_cast<double>(v[2]) / v[3] : 1.0;
  if (fov > 0) {
    const double half = std::tan(fov * kPi / 360.0) * nearClip;
    glFrustum(-half * aspect, half * aspect, -half, half, nearClip, farClip);
  } else {
    const double half = std::tan(-fov * kPi / 360.0) * nearClip * 100;
    glOrtho(-half * aspect, half * aspect, -half, half, nearClip, farClip);
    viewConeTan = std::tan(89 / kDegreesPerRadian);
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  display->SetTexture3D(-1, -1, 0);

  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0);
  glColor4f(1, 1, 1, 1);
  glClearColor(0, 0, 0, 1);
  for (GLenum cap : {GL_FOG, GL_LINE_SMOOTH, GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                     GL_POLYGON_OFFSET_POINT, GL_AUTO_NORMAL, GL_NORMALIZE, GL_LIGHTING})
    glDisable(cap);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_DITHER);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);

  glGetFloatv(GL_MODELVIEW_MATRIX, cameraMatrix);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
}

void Lumenar3D::SetCamera(float x, float y, float z, float tx, float ty, float tz) {
  eye[0] = x;
  eye[1] = y;
  eye[2] = z;
  target[0] = tx;
  target[1] = ty;
  target[2] = tz;
  rotationCount = 0;
  scaling[0] = scaling[1] = scaling[2] = 1;
  movement[0] = movement[1] = movement[2] = 0;
  if (display && display->hasContext) {
    glLoadIdentity();
    LookAt(x, y, z, tx, ty, tz);
    glGetFloatv(GL_MODELVIEW_MATRIX, cameraMatrix);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
  } else {
    LookAtMatrix(eye, target, cameraMatrix);
  }
  CullMode(0);
}

void Lumenar3D::SetRotation(float angle, float x, float y, float z) {
  if (rotationCount >= kMaxRotations) return;
  rotations[rotationCount++] = {angle, x, y, z};
}

void Lumenar3D::TransformMatrix() const { ApplyObjectTransform(*this); }

void Lumenar3D::CullMode(int mode) {
  cullMode = static_cast<signed char>(mode);
  if (!display || !display->hasContext) return;
  switch (mode) {
    case 0:
      glDisable(GL_CULL_FACE);
      break;
    case 1:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CW);
      break;
    case -1:
      glEnable(GL_CULL_FACE);
      glFrontFace(GL_CCW);
      break;
    default:
      break;
  }
}

void Lumenar3D::ClearZBuffer() {
  if (display && display->hasContext) glClear(GL_DEPTH_BUFFER_BIT);
}

void Lumenar3D::Fog(unsigned int colour, int mode, float a, float b) {
  if (!display || !display->hasContext) return;
  if (colour == 0xFFFFFFFFu) {
    glDisable(GL_FOG);
    return;
  }
  glEnable(GL_FOG);
  if (mode != 0) {
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, a);
  } else {
    glFogi(GL_FOG_MODE, GL_LINEAR);
    if (a == 0 && b == 0) {
      a = nearPlane;
      b = farPlane;
    }
    glFogf(GL_FOG_START, a);
    glFogf(GL_FOG_END, b);
  }
  const GLfloat rgba[4] = {static_cast<float>(colour & 255) / 255, static_cast<float>((colour >> 8) & 255) / 255,
                           static_cast<float>((colour >> 16) & 255) / 255, 0};
  glFogfv(GL_FOG_COLOR, rgba);
}

void Lumenar3D::SetTextureOffset(float u, float v) {
  textureOffset[0] = u;
  textureOffset[1] = v;
}

void Lumenar3D::LightsOff() {
  lightMask = 0;
  lightingOn = false;
  specialShading = false;
}

// ---- Commands ------------------------------------------------------------------------------

void X_MAKE3D(double nearPlane, double farPlane, double fov) {
  lumbo3D.Make3DViewport(static_cast<float>(nearPlane), static_cast<float>(farPlane), static_cast<float>(fov));
  X_CULLMODE(0);
  lumbo3D.LightsOff();
}

void X_MAKE2D() { Lumbo.Make2DViewport(0, 0, 0, 0); }

void X_CAMERA(double x, double y, double z, double tx, double ty, double tz) {
  lumbo3D.SetCamera(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(tx),
                    static_cast<float>(ty), static_cast<float>(tz));
}

void X_MOVEMENT(double x, double y, double z) {
  lumbo3D.movement[0] = static_cast<float>(x);
  lumbo3D.movement[1] = static_cast<float>(y);
  lumbo3D.movement[2] = static_cast<float>(z);
  lumbo3D.rotationCount = 0;
}

void X_SCALING(double x, double y, double z) {
  lumbo3D.scaling[0] = static_cast<float>(x);
  lumbo3D.scaling[1] = static_cast<float>(y);
  lumbo3D.scaling[2] = static_cast<float>(z);
  lumbo3D.rotationCount = 0;
}

void X_ROTATION(double angle, double x, double y, double z) {
  lumbo3D.SetRotation(static_cast<float>(angle), static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void X_CULLMODE(double mode) {
  __current_cullmode = mode > 0 ? 1 : mode < 0 ? -1 : 0;
  lumbo3D.CullMode(__current_cullmode);
}

void X_CLEAR_Z() { lumbo3D.ClearZBuffer(); }

void X_FOG(double colour, double mode, double start, double end) {
  lumbo3D.Fog(TruncToColour(colour), TruncToInt(mode), static_cast<float>(start), static_cast<float>(end));
}

void X_MIPMAPPING(double flag) { __mipmapping_state = TruncToInt(flag); }

void X_SETTEXTURE(double texture, double secondTexture) {
  Lumbo.SetTexture3D(TruncToInt(texture), TruncToInt(secondTexture), __mipmapping_state);
}

void X_SETTEXTUREOFFSET(double u, double v) {
  lumbo3D.SetTextureOffset(static_cast<float>(u), static_cast<float>(v));
}

void X_WORLD2SCREEN(double x, double y, double z, double& sx, double& sy, double& sz) {
  float px, py, pz;
  if (!Zyglu_Project(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), &px, &py, &pz)) return;
  sx = px;
  sy = py;
  sz = pz;
}

void X_SCREEN2WORLD(double sx, double sy, double sz, double& x, double& y, double& z) {
  // sy counts from the top of the window, as X_WORLD2SCREEN gives it.
  const float wy = static_cast<float>(Lumbo.displayHeight - sy);
  float px, py, pz;
  if (!Zyglu_UnProject(static_cast<float>(sx), wy, static_cast<float>(sz), &px, &py, &pz)) return;
  x = px;
  y = py;
  z = pz;
}

}  // namespace TAVELOR
