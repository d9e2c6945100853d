// 3D maths of the scene: matrices, look-at, the object transform, projection and unprojection.
#include "scene3d/Math3D.h"

#include <cmath>
#include <cstring>

#include "display/OpenGLLumenar.h"
#include "scene3d/Lumenar3D.h"

namespace TAVELOR {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Column-major r = a b; r may be a or b.
void Multiply(const float* a, const float* b, float* r) {
  float t[16];
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += static_cast<double>(a[k * 4 + row]) * b[c * 4 + k];
      t[c * 4 + row] = static_cast<float>(s);
    }
  std::memcpy(r, t, sizeof t);
}

void Identity(float* m) {
  std::memset(m, 0, 16 * sizeof(float));
  m[0] = m[5] = m[10] = m[15] = 1;
}

// The matrix glRotatef builds: angle in degrees about the axis (x, y, z), made unit length;
// an axis of (almost) no length leaves the identity, as OpenGL does.
void RotationMatrix(float angle, float x, float y, float z, float* m) {
  Identity(m);
  const double len = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z);
  if (!(len > 1e-4)) return;
  const double ax = x / len, ay = y / len, az = z / len;
  const double a = angle * kPi / 180.0;
  const double c = std::cos(a), s = std::sin(a), t = 1 - c;
  m[0] = static_cast<float>(ax * ax * t + c);
  m[1] = static_cast<float>(ay * ax * t + az * s);
  m[2] = static_cast<float>(az * ax * t - ay * s);
  m[4] = static_cast<float>(ax * ay * t - az * s);
  m[5] = static_cast<float>(ay * ay * t + c);
  m[6] = static_cast<float>(az * ay * t + ax * s);
  m[8] = static_cast<float>(ax * az * t + ay * s);
  m[9] = static_cast<float>(ay * az * t - ax * s);
  m[10] = static_cast<float>(az * az * t + c);
}

void Normalise(float* v) {
  const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0) {
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

}  // namespace

void ZygluMultMatricesf(const float* a, const float* b, float* r) {
  // Rows of a times columns of b in memory order is the column-major product b a.
  Multiply(b, a, r);
}

bool invertMatrix(const float* m, float* r) {
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = m[i];
  // Cofactors of the transpose give the adjugate directly in the same memory order.
  double inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
           a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
            a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
           a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  const double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  if (det == 0 || !std::isfinite(det)) return false;
  for (int i = 0; i < 16; ++i) r[i] = static_cast<float>(inv[i] / det);
  return true;
}

void TransformVector(const float* m, const float* v, float* out) {
  float t[4];
  for (int row = 0; row < 4; ++row)
    t[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
  std::memcpy(out, t, sizeof t);
}

namespace {
// The rotation part of the look-at matrix: rows s, u, f.
void LookAtRotation(const float* eye, const float* target, float* r) {
  float f[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
  Normalise(f);
  // Side s = up x f and up u = f x s with up = (0, 1, 0); a zero vector stays as it is, so
  // looking straight up or down gives a degenerate matrix.
  float s[3] = {f[2], 0, -f[0]};
  float u[3] = {-f[0] * f[1], f[0] * f[0] + f[2] * f[2], -f[1] * f[2]};
  Normalise(s);
  Normalise(u);
  const float m[16] = {s[0], u[0], f[0], 0, s[1], u[1], f[1], 0, s[2], u[2], f[2], 0, 0, 0, 0, 1};
  std::memcpy(r, m, sizeof m);
}
}  // namespace

void LookAtMatrix(const float* eye, const float* target, float* m) {
  float r[16], t[16];
  LookAtRotation(eye, target, r);
  Identity(t);
  t[12] = -eye[0];
  t[13] = -eye[1];
  t[14] = -eye[2];
  Multiply(r, t, m);
}

void LookAt(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ) {
  const float eye[3] = {eyeX, eyeY, eyeZ};
  const float target[3] = {targetX, targetY, targetZ};
  float r[16];
  LookAtRotation(eye, target, r);
  glMultMatrixf(r);
  glTranslatef(-eyeX, -eyeY, -eyeZ);
}

void ObjectTransformMatrix(const Lumenar3D& e, float* m) {
  Identity(m);
  m[12] = e.movement[0];
  m[13] = e.movement[1];
  m[14] = e.movement[2];
  float r[16];
  for (int i = e.rotationCount - 1; i >= 0; --i) {
    const Lumenar3D::Rotation& rot = e.rotations[i];
    RotationMatrix(rot.angle, rot.x, rot.y, rot.z, r);
    Multiply(m, r, m);
  }
  for (int c = 0; c < 3; ++c)
    for (int row = 0; row < 4; ++row) m[c * 4 + row] *= e.scaling[c];
}

void ApplyObjectTransform(const Lumenar3D& e) {
  glTranslatef(e.movement[0], e.movement[1], e.movement[2]);
  for (int i = e.rotationCount - 1; i >= 0; --i) {
    const Lumenar3D::Rotation& rot = e.rotations[i];
    glRotatef(rot.angle, rot.x, rot.y, rot.z);
  }
  glScalef(e.scaling[0], e.scaling[1], e.scaling[2]);
}

bool ProjectPoint(const int* viewport, const float* p, const float* m, int windowHeight, float x, float y,
                  float z, float* sx, float* sy, float* sz) {
  const float v[4] = {x, y, z, 1};
  float e[4], c[4];
  TransformVector(m, v, e);
  TransformVector(p, e, c);
  if (c[3] == 0) return false;
  const float nx = c[0] / c[3], ny = c[1] / c[3], nz = c[2] / c[3];
  *sx = static_cast<float>(viewport[0]) + static_cast<float>(viewport[2]) * (nx + 1) / 2;
  *sy = static_cast<float>(windowHeight) - ((ny + 1) * static_cast<float>(viewport[3]) / 2 + static_cast<float>(viewport[1]));
  *sz = (nz + 1) / 2;
  return true;
}

bool UnProjectPoint(const int* viewport, const float* p, const float* m, float wx, float wy, float wz,
                    float* x, float* y, float* z) {
  if (viewport[2] == 0 || viewport[3] == 0) return false;
  float a[16];
  ZygluMultMatricesf(m, p, a);  // P M
  if (!invertMatrix(a, a)) return false;
  const float in[4] = {(wx - static_cast<float>(viewport[0])) / static_cast<float>(viewport[2]) * 2 - 1,
                       (wy - static_cast<float>(viewport[1])) / static_cast<float>(viewport[3]) * 2 - 1,
                       2 * wz - 1, 1};
  float out[4];
  TransformVector(a, in, out);
  if (out[3] == 0) return false;
  *x = out[0] / out[3];
  *y = out[1] / out[3];
  *z = out[2] / out[3];
  return true;
}

namespace {
void ReadGLState(int* viewport, float* p, float* m) {
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
}
}  // namespace

bool Zyglu_Project(float x, float y, float z, float* sx, float* sy, float* sz) {
  if (!Lumbo.hasContext) return false;
  int viewport[4];
  float p[16], m[16];
  ReadGLState(viewport, p, m);
  return ProjectPoint(viewport, p, m, Lumbo.displayHeight, x, y, z, sx, sy, sz);
}

bool Zyglu_UnProject(float wx, float wy, float wz, float* x, float* y, float* z) {
  if (!Lumbo.hasContext) return false;
  int viewport[4];
  float p[16], m[16];
  ReadGLState(viewport, p, m);
  return UnProjectPoint(viewport, p, m, wx, wy, wz, x, y, z);
}

}  // namespace TAVELOR
