// Sphere, box and ray collision against textbook geometry written here: the closest point on a
// triangle for spheres, Moeller-Trumbore for rays and a 13-axis separating-axis test for boxes,
// on triangles moved into the world by GLM. Samples that lie within a tiny tolerance of
// touching (where the reference's answer flips) are left out.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <tavelor/scene3d.h>

#include "scene3d/Collision3D.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;
using glm::dvec3;

namespace {

using Triangle = std::array<dvec3, 3>;
constexpr int kSlot = 300;

// ---- Reference geometry ----

dvec3 ClosestPointOnTriangle(dvec3 p, const Triangle& t) {
  const dvec3 a = t[0], b = t[1], c = t[2], ab = b - a, ac = c - a, ap = p - a;
  const double d1 = glm::dot(ab, ap), d2 = glm::dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const dvec3 bp = p - b;
  const double d3 = glm::dot(ab, bp), d4 = glm::dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const dvec3 cp = p - c;
  const double d5 = glm::dot(ab, cp), d6 = glm::dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const double denom = 1 / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

bool SphereTouches(const std::vector<Triangle>& mesh, dvec3 c, double r) {
  for (const Triangle& t : mesh)
    if (glm::distance(ClosestPointOnTriangle(c, t), c) < r) return true;
  return false;
}

// Moeller-Trumbore with the triangle grown (eps > 0) or shrunk (eps < 0) in barycentric terms.
bool RayTriangle(dvec3 o, dvec3 d, const Triangle& t, double eps, double& hit) {
  const dvec3 e1 = t[1] - t[0], e2 = t[2] - t[0], pv = glm::cross(d, e2);
  const double det = glm::dot(e1, pv);
  if (std::fabs(det) < 1e-12) return false;
  const dvec3 tv = o - t[0];
  const double u = glm::dot(tv, pv) / det;
  const dvec3 qv = glm::cross(tv, e1);
  const double v = glm::dot(d, qv) / det;
  if (u < -eps || v < -eps || u + v > 1 + eps) return false;
  hit = glm::dot(e2, qv) / det;
  return true;
}

// Nearest hit in front, else nearest behind, else 0 (d a unit vector, so t is a distance).
double RayDistance(const std::vector<Triangle>& mesh, dvec3 o, dvec3 d, double eps) {
  double front = 0, behind = 0, t;
  for (const Triangle& tri : mesh) {
    if (!RayTriangle(o, d, tri, eps, t)) continue;
    if (t > 0 && (front == 0 || t < front)) front = t;
    if (t < 0 && (behind == 0 || t > behind)) behind = t;
  }
  return front != 0 ? front : behind;
}

// Box of half-extents h along the world axes at c, grown by eps, against a triangle: the three
// box axes, the triangle normal and the nine edge cross products.
bool BoxTriangle(dvec3 c, dvec3 h, const Triangle& tri, double eps) {
  const Triangle t = {tri[0] - c, tri[1] - c, tri[2] - c};
  const dvec3 e[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
  const dvec3 u[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<dvec3> axes(u, u + 3);
  axes.push_back(glm::cross(e[0], e[1]));
  for (const dvec3& a : u)
    for (const dvec3& edge : e) axes.push_back(glm::cross(a, edge));
  for (const dvec3& l : axes) {
    const double r = h.x * std::fabs(l.x) + h.y * std::fabs(l.y) + h.z * std::fabs(l.z) + eps * glm::length(l);
    const double p0 = glm::dot(t[0], l), p1 = glm::dot(t[1], l), p2 = glm::dot(t[2], l);
    if (std::min({p0, p1, p2}) > r || std::max({p0, p1, p2}) < -r) return false;
  }
  return true;
}

bool BoxTouches(const std::vector<Triangle>& mesh, dvec3 c, dvec3 h, double eps) {
  for (const Triangle& t : mesh)
    if (BoxTriangle(c, h, t, eps)) return true;
  return false;
}

// ---- Meshes and transforms ----

// Puts the triangles into frame 0 of the test slot, with its bounding sphere, and returns them
// as the slot holds them (in float).
std::vector<Triangle> Install(std::vector<Triangle> mesh) {
  MeshObjectX& m = lumbo3D.meshes[kSlot];
  m.Clear(true);
  POLY_FRAME frame;
  for (Triangle& t : mesh)
    for (dvec3& v : t) {
      v = dvec3(glm::vec3(v));
      POLY_NODE node{};
      for (int a = 0; a < 3; ++a) node.position[a] = static_cast<float>(v[a]);
      frame.triangles.Append(node);
    }
  m.frames.Append(std::move(frame));
  m.CalcMaxRadius();
  return mesh;
}

// A closed, star-shaped surface around the origin: a bumpy sphere of 2 x 24 x 12 triangles.
std::vector<Triangle> ClosedMesh(std::mt19937& rng) {
  std::uniform_real_distribution<double> bump(2.5, 3.5);
  const int slices = 24, stacks = 13;
  std::vector<std::vector<dvec3>> p(stacks, std::vector<dvec3>(slices));
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const double th = M_PI * i / (stacks - 1), ph = 2 * M_PI * j / slices;
      const double r = (i == 0 || i == stacks - 1) ? 3 : bump(rng);
      p[i][j] = r * dvec3(std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph));
    }
  std::vector<Triangle> mesh;
  for (int i = 0; i + 1 < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const int k = (j + 1) % slices;
      if (i > 0) mesh.push_back({p[i][j], p[i][k], p[i + 1][j]});
      if (i + 2 < stacks) mesh.push_back({p[i][k], p[i + 1][k], p[i + 1][j]});
    }
  return mesh;
}

std::vector<Triangle> LooseTriangles(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> at(-4, 4), off(-1.5, 1.5);
  std::vector<Triangle> mesh;
  for (int i = 0; i < n; ++i) {
    const dvec3 c(at(rng), at(rng), at(rng));
    mesh.push_back({c + dvec3(off(rng), off(rng), off(rng)), c + dvec3(off(rng), off(rng), off(rng)),
                    c + dvec3(off(rng), off(rng), off(rng))});
  }
  return mesh;
}

// Gives the engine a random movement, zero to three rotations and the scaling, and returns the
// triangles as drawing would place them in the world, transformed by GLM.
std::vector<Triangle> RandomPlacement(std::mt19937& rng, const std::vector<Triangle>& local, dvec3 scale = dvec3(1)) {
  std::uniform_real_distribution<double> at(-5, 5), angle(-180, 180), axis(-1, 1);
  lumbo3D.movement[0] = static_cast<float>(at(rng));
  lumbo3D.movement[1] = static_cast<float>(at(rng));
  lumbo3D.movement[2] = static_cast<float>(at(rng));
  for (int a = 0; a < 3; ++a) lumbo3D.scaling[a] = static_cast<float>(scale[a]);
  lumbo3D.rotationCount = static_cast<int>(rng() % 4);
  for (int i = 0; i < lumbo3D.rotationCount; ++i)
    lumbo3D.rotations[i] = {static_cast<float>(angle(rng)), static_cast<float>(axis(rng)),
                            static_cast<float>(axis(rng)), static_cast<float>(axis(rng))};
  glm::dmat4 m = glm::translate(glm::dmat4(1), dvec3(lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]));
  for (int i = lumbo3D.rotationCount - 1; i >= 0; --i) {
    const Lumenar3D::Rotation& r = lumbo3D.rotations[i];
    m = glm::rotate(m, glm::radians(double(r.angle)), dvec3(r.x, r.y, r.z));
  }
  m = glm::scale(m, scale);
  std::vector<Triangle> world;
  for (const Triangle& t : local)
    world.push_back({dvec3(m * glm::dvec4(t[0], 1)), dvec3(m * glm::dvec4(t[1], 1)), dvec3(m * glm::dvec4(t[2], 1))});
  return world;
}

void ResetTransform() {
  lumbo3D.movement[0] = lumbo3D.movement[1] = lumbo3D.movement[2] = 0;
  lumbo3D.scaling[0] = lumbo3D.scaling[1] = lumbo3D.scaling[2] = 1;
  lumbo3D.rotationCount = 0;
}

constexpr double kTolerance = 1e-3;

// Runs the three commands on random shapes around the placed mesh and compares with the
// references; returns the number of contacts seen, so callers can check both answers occur.
struct Counts {
  int sphereHits = 0, boxHits = 0, rayHits = 0, compared = 0;
};
Counts CompareAll(std::mt19937& rng, const std::vector<Triangle>& world, int samples, bool spheres = true) {
  std::uniform_real_distribution<double> around(-10, 10), size(0.05, 2), unit(-1, 1);
  const dvec3 m(lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]);
  Counts n;
  for (int s = 0; s < samples; ++s) {
    const dvec3 c = m + dvec3(around(rng), around(rng), around(rng));
    const double r = size(rng);
    const bool grown = SphereTouches(world, c, r + kTolerance);
    if (spheres && grown == SphereTouches(world, c, r - kTolerance)) {
      EXPECT_EQ(X_COLLISION(kSlot, 0, r, c.x, c.y, c.z), grown ? 1 : 0) << "sphere " << c.x << " " << c.y << " " << c.z << " r " << r;
      n.sphereHits += grown;
      ++n.compared;
    }
    const double w = 2 * size(rng), h = 2 * size(rng);
    const dvec3 half(w / 2, h / 2, w / 2);
    const bool boxGrown = BoxTouches(world, c, half, kTolerance);
    if (boxGrown == BoxTouches(world, c, half, -kTolerance)) {
      EXPECT_EQ(X_COLLISIONAABB(kSlot, 0, c.x, c.y, c.z, w, h), boxGrown ? 1 : 0) << "box " << c.x << " " << c.y << " " << c.z;
      n.boxHits += boxGrown;
    }
    dvec3 d(unit(rng), unit(rng), unit(rng));
    if (glm::length(d) < 0.1) continue;
    d = glm::normalize(d);
    const double far = RayDistance(world, c, d, 1e-6), near = RayDistance(world, c, d, -1e-6);
    if (std::fabs(far - near) < kTolerance) {
      EXPECT_NEAR(X_COLLISIONRAY(kSlot, 0, c.x, c.y, c.z, d.x, d.y, d.z), far, kTolerance) << "ray " << c.x << " " << c.y << " " << c.z;
      n.rayHits += far != 0;
    }
  }
  return n;
}

}  // namespace

TEST(Collision, AgreesWithTextbookGeometryOnMovedAndRotatedObjects) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 8; ++round) {
    const std::vector<Triangle> world = RandomPlacement(rng, Install(round % 2 ? ClosedMesh(rng) : LooseTriangles(rng, 40)));
    const Counts n = CompareAll(rng, world, 500);
    EXPECT_GT(n.compared, 450);
    EXPECT_GT(n.sphereHits, 10);
    EXPECT_LT(n.sphereHits, 490);
    EXPECT_GT(n.boxHits, 10);
    EXPECT_GT(n.rayHits, 10);
  }
  ResetTransform();
}

TEST(Collision, TouchingIsNoContact) {
  ResetTransform();
  Install({Triangle{dvec3(0, 0, 0), dvec3(4, 0, 0), dvec3(0, 4, 0)}});
  // |distance to the plane| = r: no contact; a little less: contact.
  EXPECT_EQ(X_COLLISION(kSlot, 0, 0.5, 1, 1, 0.5), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 0, 0.5, 1, 1, -0.5), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 0, 0.5, 1, 1, 0.499), 1);
  // Centre in the plane, inside, farther than r from every edge.
  EXPECT_EQ(X_COLLISION(kSlot, 0, 0.25, 1, 1, 0), 1);
  // A ray through the edge from corner 1 to corner 2 misses; through the other edges it hits.
  EXPECT_EQ(X_COLLISIONRAY(kSlot, 0, 2, 2, 1, 0, 0, -1), 0);
  EXPECT_FLOAT_EQ(X_COLLISIONRAY(kSlot, 0, 2, 0, 1, 0, 0, -1), 1);
  EXPECT_FLOAT_EQ(X_COLLISIONRAY(kSlot, 0, 0, 2, 1, 0, 0, -1), 1);
  // A box whose face lies in the triangle's plane touches it.
  EXPECT_EQ(X_COLLISIONAABB(kSlot, 0, 1, 1, 1, 2, 2), 1);
}

TEST(Collision, RayDistancesInFrontAndBehind) {
  ResetTransform();
  // A square in the plane x = -1, moved to x = 9.
  Install({Triangle{dvec3(-1, -1, -1), dvec3(-1, 1, -1), dvec3(-1, 1, 1)},
           Triangle{dvec3(-1, -1, -1), dvec3(-1, 1, 1), dvec3(-1, -1, 1)}});
  lumbo3D.movement[0] = 10;
  EXPECT_FLOAT_EQ(X_COLLISIONRAY(kSlot, 0, 0, 0.3, 0.2, 2, 0, 0), 9);    // aimed at it
  EXPECT_FLOAT_EQ(X_COLLISIONRAY(kSlot, 0, 0, 0.3, 0.2, -1, 0, 0), -9);  // aimed away
  EXPECT_EQ(X_COLLISIONRAY(kSlot, 0, 0, 5, 0, 1, 0, 0), 0);              // passes above
  // Object numbers outside the table, frames past the object and bad frames: no contact.
  EXPECT_EQ(X_COLLISIONRAY(-1, 0, 0, 0.3, 0.2, 1, 0, 0), 0);
  EXPECT_EQ(X_COLLISIONRAY(4096, 0, 0, 0.3, 0.2, 1, 0, 0), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 1, 100, 10, 0, 0), 0);
  EXPECT_EQ(X_COLLISION(kSlot, -1, 100, 10, 0, 0), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 0, 100, 10, 0, 0), 1);
  ResetTransform();
}

// Scaled objects collide where they are drawn. A uniform scaling is exact for all three
// shapes; under a non-uniform one boxes and rays still are (spheres follow a rule of their own).
TEST(Collision, ScaledObjectsCollideWhereTheyAreDrawn) {
  std::mt19937 rng(7);
  for (dvec3 scale : {dvec3(2), dvec3(3), dvec3(-2), dvec3(2, 0.5, 1.5), dvec3(1, 1, 3)}) {
    SCOPED_TRACE(scale.x + 10 * scale.y + 100 * scale.z);
    const bool uniform = scale.x == scale.y && scale.y == scale.z;
    const std::vector<Triangle> world = RandomPlacement(rng, Install(ClosedMesh(rng)), scale);
    const Counts n = CompareAll(rng, world, 300, uniform);
    EXPECT_GT(n.boxHits, 10);
    EXPECT_GT(n.rayHits, 10);
    if (uniform) EXPECT_GT(n.sphereHits, 10);
  }
  // A scale factor of 0 leaves nothing to touch.
  lumbo3D.scaling[1] = 0;
  EXPECT_EQ(X_COLLISION(kSlot, 0, 100, lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]), 0);
  ResetTransform();
}

TEST(Collision, DegenerateTrianglesGiveNoFalseOrNaNContacts) {
  ResetTransform();
  float line[3][3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  float point[3][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
  float near[3] = {1.5f, 0.2f, 0}, far[3] = {1.5f, 0.4f, 0}, onPoint[3] = {1, 1, 1.2f};
  EXPECT_TRUE(SpherePolygonCollision(line, near, 3, 0.3f));
  EXPECT_FALSE(SpherePolygonCollision(line, far, 3, 0.3f));
  EXPECT_TRUE(SpherePolygonCollision(point, onPoint, 3, 0.3f));
  EXPECT_FALSE(SpherePolygonCollision(point, far, 3, 0.3f));
  const float p[3] = {1, 0, 1}, q[3] = {1, 0, 0};
  EXPECT_EQ(IntersectTriangleAndRay(line, p, q), 0);
  EXPECT_EQ(IntersectTriangleAndRay(point, p, q), 0);
  // A sliver at a pole of a ball mesh, 1e-16 wide, that a ray passes 0.1 from.
  const float sliver[3][3] = {{0.0602209f, -10.2265f, 0.315689f}, {2.29476e-16f, -10, 1.20295e-15f},
                              {3.04557e-16f, -10, 1.18617e-15f}};
  const float o[3] = {-5.79279518f, 6.59286499f, 1.21586037f};
  const float o2[3] = {o[0] - 0.111679092f, o[1] - 0.851122558f, o[2] - 0.51295054f};
  EXPECT_EQ(IntersectTriangleAndRay(sliver, o, o2), 0);
  const float half[3] = {0.5f, 0, 0}, depth[3] = {0, 0, 0.5f}, height[3] = {0, 0.5f, 0};
  const float box[3] = {1.5f, 0.6f, 0}, touching[3] = {1.5f, 0.4f, 0};
  EXPECT_FALSE(IntersectCuboidAndTriangle(box, half, height, depth, line[0], line[1], line[2]));
  EXPECT_TRUE(IntersectCuboidAndTriangle(touching, half, height, depth, line[0], line[1], line[2]));
  // A box of no size is a point: it touches a triangle only where the triangle is.
  const float none[3] = {0, 0, 0}, inside[3] = {0.2f, 0.2f, 0}, beside[3] = {0.8f, 0.8f, 0};
  const float t0[3] = {0, 0, 0}, t1[3] = {1, 0, 0}, t2[3] = {0, 1, 0};
  EXPECT_TRUE(IntersectCuboidAndTriangle(inside, none, none, none, t0, t1, t2));
  EXPECT_FALSE(IntersectCuboidAndTriangle(beside, none, none, none, t0, t1, t2));
}
