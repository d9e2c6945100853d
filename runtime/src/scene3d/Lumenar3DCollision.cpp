// 3D collision: spheres, boxes and rays against one frame of an object, in the object's own
// coordinates (the shapes mapped there by the inverse of the object transform, scaling
// included), and the X_COLLISION commands with their debug drawing.
#include <algorithm>
#include <cmath>

#include <tavelor/frame.h>
#include <tavelor/scene3d.h>

#include "scene3d/Collision3D.h"
#include "scene3d/Lumenar3D.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {

struct V3 {
  double x, y, z;
};
inline V3 Load(const float* p) { return {p[0], p[1], p[2]}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length2(V3 a) { return Dot(a, a); }

// 3 x 3 matrix, row-major, for building the object transform.
struct M3 {
  double m[3][3];
};
M3 Multiply(const M3& a, const M3& b) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
  return r;
}

// The rotation matrix of angle degrees about (x, y, z); an axis shorter than 1e-4 gives the
// identity, as OpenGL's glRotatef does.
M3 RotationMatrix(const Lumenar3D::Rotation& r) {
  double len = std::sqrt(double(r.x) * r.x + double(r.y) * r.y + double(r.z) * r.z);
  if (!(len > 1e-4)) return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  const double x = r.x / len, y = r.y / len, z = r.z / len;
  const double a = r.angle * 3.14159265358979323846 / 180.0;
  const double c = std::cos(a), s = std::sin(a), t = 1 - c;
  return {{{x * x * t + c, x * y * t - z * s, x * z * t + y * s},
           {y * x * t + z * s, y * y * t + c, y * z * t - x * s},
           {z * x * t - y * s, z * y * t + x * s, z * z * t + c}}};
}

// The frame that a collision test runs against, or null when there is none to test.
const POLY_FRAME* CollisionFrame(Lumenar3D& engine, int object, int frame) {
  const MeshObjectX* mesh = engine.Object(object);
  if (!mesh || static_cast<unsigned>(frame) >= static_cast<unsigned>(mesh->frames.count)) return nullptr;
  const POLY_FRAME& f = mesh->frames[frame];
  return f.triangles.count >= 3 ? &f : nullptr;
}

// Copies triangle i of a list of records into t.
inline void TriangleAt(const POLY_NODE* records, int i, float t[3][3]) {
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j) t[k][j] = records[3 * i + k].position[j];
}

}  // namespace

// ---- Transform -------------------------------------------------------------------------------

void gObjectTransform(const float movement[3], const Lumenar3D::Rotation* rotations, int rotationCount,
                      const float scaling[3], float m[16]) {
  M3 block{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (int i = std::min(rotationCount, Lumenar3D::kMaxRotations) - 1; i >= 0; --i)
    block = Multiply(block, RotationMatrix(rotations[i]));
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) m[col * 4 + row] = static_cast<float>(block.m[row][col] * scaling[col]);
    m[col * 4 + 3] = 0;
    m[12 + col] = movement[col];
  }
  m[15] = 1;
}

void gInvertMatrix4x4(const float m[16], float r[16]) {
  float t[16];
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) t[col * 4 + row] = m[row * 4 + col];
    t[col * 4 + 3] = 0;
  }
  for (int i = 0; i < 3; ++i) t[12 + i] = -(t[i] * m[12] + t[4 + i] * m[13] + t[8 + i] * m[14]);
  t[15] = 1;
  std::copy(t, t + 16, r);
}

void gTransformVector(const float m[16], float v[3]) {
  const float x = v[0], y = v[1], z = v[2];
  for (int i = 0; i < 3; ++i) v[i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
}

bool Lumenar3D::ObjectSpaceInverse(float inverse[16]) const {
  float m[16];
  gObjectTransform(movement, rotations, rotationCount, scaling, m);
  gInvertMatrix4x4(m, inverse);
  if (scaling[0] == 1 && scaling[1] == 1 && scaling[2] == 1) return true;
  for (float s : scaling)
    if (s == 0 || !std::isfinite(s)) return false;
  // The block is rotation x scale, so its inverse is the transposed block with row i divided
  // by the square of scale factor i; the translation follows from the new block.
  for (int row = 0; row < 3; ++row) {
    const double s2 = double(scaling[row]) * scaling[row];
    for (int col = 0; col < 3; ++col) inverse[col * 4 + row] = static_cast<float>(m[row * 4 + col] / s2);
  }
  for (int i = 0; i < 3; ++i) inverse[12 + i] = -(inverse[i] * m[12] + inverse[4 + i] * m[13] + inverse[8 + i] * m[14]);
  return true;
}

float Lumenar3D::ObjectSpaceRadius(float radius) const {
  const float largest = std::max({std::fabs(scaling[0]), std::fabs(scaling[1]), std::fabs(scaling[2])});
  return largest == 1 ? radius : radius / largest;
}

// ---- Geometry --------------------------------------------------------------------------------

bool InsidePolygon(float* point, float polygon[][3], long count) {
  const V3 p = Load(point);
  double sum = 0;
  for (long i = 0; i < count; ++i) {
    const V3 a = Load(polygon[i]) - p, b = Load(polygon[(i + 1) % count]) - p;
    const double lengths = std::sqrt(Length2(a) * Length2(b));
    if (lengths > 1e-8) sum += std::acos(std::clamp(Dot(a, b) / lengths, -1.0, 1.0));
  }
  return sum >= 6.2203535;
}

bool EdgeSphereCollision(float* centre, float polygon[][3], int count, float radius) {
  if (!(radius > 0)) return false;
  const V3 c = Load(centre);
  const double r2 = double(radius) * radius;
  for (int i = 0; i < count; ++i) {
    const V3 a = Load(polygon[i]), b = Load(polygon[(i + 1) % count]);
    const V3 e = b - a;
    const double length = std::sqrt(Length2(e));
    // The point of the edge closest to the centre.
    V3 nearest = a;
    if (length >= 1e-8) {
      const double s = Dot(c - a, e) / length;
      if (s >= length) nearest = b;
      else if (s > 0) nearest = a + e * (s / length);
    }
    if (Length2(c - nearest) < r2) return true;
  }
  return false;
}

bool SpherePolygonCollision(float triangle[3][3], float* centre, int count, float radius) {
  const V3 p0 = Load(triangle[0]), c = Load(centre);
  V3 n = Cross(Load(triangle[2]) - p0, Load(triangle[1]) - p0);
  // Most triangles lie farther from the centre than the radius: test that before normalising.
  const double length2 = Length2(n), away = Dot(n, c - p0);
  if (!(away * away < double(radius) * radius * length2) && length2 != 0) return false;
  const double length = std::sqrt(length2);
  if (length != 0) n = n * (1 / length);
  const double d = Dot(n, c) - Dot(n, p0);
  if (!(std::fabs(d) < radius)) return false;
  const V3 projected = c - n * d;
  float q[3] = {static_cast<float>(projected.x), static_cast<float>(projected.y), static_cast<float>(projected.z)};
  return InsidePolygon(q, triangle, count) || EdgeSphereCollision(centre, triangle, count, radius);
}

bool IntersectCuboidAndTriangle(const float* centre, const float* a1, const float* a2, const float* a3,
                                const float* p0, const float* p1, const float* p2) {
  const V3 c = Load(centre);
  const V3 a[3] = {Load(a1), Load(a2), Load(a3)};
  // The triangle relative to the box centre, so the box covers -extent..extent on every axis.
  const V3 t[3] = {Load(p0) - c, Load(p1) - c, Load(p2) - c};
  const V3 e[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
  const V3 normal = Cross(e[0], t[2] - t[0]);
  auto separates = [&](V3 axis) {
    const double extent = std::fabs(Dot(a[0], axis)) + std::fabs(Dot(a[1], axis)) + std::fabs(Dot(a[2], axis));
    const double d0 = Dot(t[0], axis), d1 = Dot(t[1], axis), d2 = Dot(t[2], axis);
    return std::min({d0, d1, d2}) > extent || std::max({d0, d1, d2}) < -extent;
  };
  // The box's face normals (parallel to the half-axes when those are at right angles), the
  // triangle's normal, and the nine edge-against-edge axes.
  if (separates(Cross(a[1], a[2])) || separates(Cross(a[2], a[0])) || separates(Cross(a[0], a[1]))) return false;
  if (separates(normal)) return false;
  for (const V3& axis : a)
    for (const V3& edge : e)
      if (separates(Cross(axis, edge))) return false;
  // Flat boxes and boxes of no size need the in-plane axes as well; they never separate shapes
  // that touch.
  for (const V3& edge : e)
    if (separates(Cross(normal, edge))) return false;
  for (const V3& axis : a)
    if (separates(Cross(normal, axis))) return false;
  return true;
}

float IntersectTriangleAndRay(const float triangle[3][3], const float* p, const float* q) {
  const V3 p0 = Load(triangle[0]), origin = Load(p);
  const V3 e1 = Load(triangle[1]) - p0, e2 = Load(triangle[2]) - p0;
  const V3 n = Cross(e1, e2);
  if (n.x == 0 && n.y == 0 && n.z == 0) return 0;
  const V3 dir = Load(q) - origin;
  const double denominator = Dot(n, dir);
  if (denominator == 0) return 0;
  const V3 s = origin - p0;
  const double t = -Dot(n, s) / denominator;
  if (!std::isfinite(t)) return 0;
  // Barycentric coordinates (u, v) of the hit, times |n|^2, from triple products with the
  // normal: these stay accurate for slivers, where the Gram determinant cancels out.
  const V3 w = s + dir * t;
  const double n2 = Length2(n);
  const double u = Dot(Cross(w, e2), n);
  if (u < 0 || u > n2) return 0;
  const double v = Dot(Cross(e1, w), n);
  return v >= 0 && u + v < n2 ? static_cast<float>(t) : 0.0f;
}

// ---- Engine tests ----------------------------------------------------------------------------

bool Lumenar3D::CollisionSphere(int object, int frame, float radius, float x, float y, float z) {
  const POLY_FRAME* f = CollisionFrame(*this, object, frame);
  // A sphere of negative size touches nothing.
  if (!f || !(radius >= 0)) return false;
  float inverse[16];
  if (!ObjectSpaceInverse(inverse)) return false;
  radius = ObjectSpaceRadius(radius);
  float c[3] = {x, y, z};
  gTransformVector(inverse, c);
  const V3 centre = Load(c);
  const double reach = double(radius) + f->radius;
  if (Length2(centre - Load(f->centre)) > reach * reach) return false;
  const POLY_NODE* records = f->triangles.data;
  if (Length2(centre - Load(records[0].position)) <= double(radius) * radius) return true;
  float t[3][3];
  for (int i = 0, n = f->triangles.count / 3; i < n; ++i) {
    TriangleAt(records, i, t);
    if (SpherePolygonCollision(t, c, 3, radius)) return true;
  }
  return false;
}

bool Lumenar3D::CollisionAABB(int object, int frame, const float* centre, const float* a1, const float* a2,
                              const float* a3) {
  const POLY_FRAME* f = CollisionFrame(*this, object, frame);
  if (!f) return false;
  float inverse[16];
  if (!ObjectSpaceInverse(inverse)) return false;
  float c[3] = {centre[0], centre[1], centre[2]};
  gTransformVector(inverse, c);
  // Directions map by the 3 x 3 block alone.
  float axes[3][3];
  const float* given[3] = {a1, a2, a3};
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 3; ++i)
      axes[k][i] = inverse[i] * given[k][0] + inverse[4 + i] * given[k][1] + inverse[8 + i] * given[k][2];
  // Rejection by the bounding sphere against the box's farthest corner.
  const V3 u = Load(axes[0]), v = Load(axes[1]), w = Load(axes[2]);
  const double corner = std::sqrt(std::max({Length2(u + v + w), Length2(u + v - w), Length2(u - v + w), Length2(u - v - w)}));
  const double reach = corner + f->radius;
  if (Length2(Load(c) - Load(f->centre)) > reach * reach) return false;
  const POLY_NODE* records = f->triangles.data;
  for (int i = 0, n = f->triangles.count / 3; i < n; ++i) {
    const POLY_NODE* r = records + 3 * i;
    if (IntersectCuboidAndTriangle(c, axes[0], axes[1], axes[2], r[0].position, r[1].position, r[2].position))
      return true;
  }
  return false;
}

float Lumenar3D::CollisionRay(int object, int frame, float x, float y, float z, float dx, float dy, float dz) {
  const POLY_FRAME* f = CollisionFrame(*this, object, frame);
  if (!f) return 0;
  float inverse[16];
  if (!ObjectSpaceInverse(inverse)) return 0;
  float p[3] = {x, y, z};
  float d[3] = {dx, dy, dz};
  const double length = std::sqrt(Length2(Load(d)));
  if (length > 0)
    for (float& v : d) v = static_cast<float>(v / length);
  float q[3] = {x + d[0], y + d[1], z + d[2]};
  gTransformVector(inverse, p);
  gTransformVector(inverse, q);
  // A line that passes outside the bounding sphere (with a margin for rounding) hits nothing.
  const V3 dir = Load(q) - Load(p), toCentre = Load(f->centre) - Load(p);
  const double dir2 = Length2(dir);
  if (dir2 > 0) {
    const double along = Dot(toCentre, dir);
    const double miss2 = Length2(toCentre) - along * along / dir2;
    const double reach = f->radius * (1 + 1e-5) + 1e-5;
    if (miss2 > reach * reach) return 0;
  }
  float front = 0, behind = 0;
  float t[3][3];
  for (int i = 0, n = f->triangles.count / 3; i < n; ++i) {
    TriangleAt(f->triangles.data, i, t);
    const float hit = IntersectTriangleAndRay(t, p, q);
    if (hit > 0 && (front == 0 || hit < front)) front = hit;
    if (hit < 0 && (behind == 0 || hit > behind)) behind = hit;
  }
  return front != 0 ? front : behind;
}

// ---- Commands --------------------------------------------------------------------------------

namespace {
constexpr unsigned long kDebugContact = 0x0000FF;
constexpr unsigned long kDebugClear = 0x00FF00;
constexpr unsigned long kDebugBehind = 0x00FFFF;
}  // namespace

double X_COLLISION(double object, double frame, double radius, double x, double y, double z) {
  const float r = static_cast<float>(radius);
  float c[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  const bool hit = lumbo3D.CollisionSphere(TruncToInt(object), TruncToInt(frame), r, c[0], c[1], c[2]);
  if (__DG_DEBUG) lumbo3D.DrawSphereGrid(c, r, hit ? kDebugContact : kDebugClear, hit ? 1 : 5);
  return hit ? 1 : 0;
}

double X_COLLISIONAABB(double object, double frame, double x, double y, double z, double width, double height) {
  const float c[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  const float w = static_cast<float>(width / 2), h = static_cast<float>(height / 2);
  const float a1[3] = {w, 0, 0}, a2[3] = {0, 0, w}, a3[3] = {0, h, 0};
  const bool hit = lumbo3D.CollisionAABB(TruncToInt(object), TruncToInt(frame), c, a1, a2, a3);
  if (__DG_DEBUG) lumbo3D.DrawAABB(c, a1, a2, a3, hit ? kDebugContact : kDebugClear, hit ? 1 : 5);
  return hit ? 1 : 0;
}

double X_COLLISIONRAY(double object, double frame, double x, double y, double z, double dx, double dy, double dz) {
  const float p[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  const float d[3] = {static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz)};
  const float t = lumbo3D.CollisionRay(TruncToInt(object), TruncToInt(frame), p[0], p[1], p[2], d[0], d[1], d[2]);
  if (__DG_DEBUG) {
    // The line runs to the hit (forward or back), or as far as the far plane when nothing is hit.
    const double length = std::sqrt(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]);
    const double reach = t != 0 ? t : lumbo3D.farPlane;
    const double k = length > 0 ? reach / length : 0;
    const float end[3] = {static_cast<float>(p[0] + d[0] * k), static_cast<float>(p[1] + d[1] * k),
                          static_cast<float>(p[2] + d[2] * k)};
    const unsigned long colour = t == 0 ? kDebugContact : t > 0 ? kDebugClear : kDebugBehind;
    lumbo3D.DrawLine(p, end, colour, t == 0 ? 1.0f : 5.0f);
  }
  return t;
}

}  // namespace TAVELOR
