// Sphere, box and ray collision against textbook geometry written here: the closest point on a
// triangle for spheres, Moeller-Trumbore for rays and a 13-axis separating-axis test for boxes,
// on triangles moved into the world by GLM. Samples that lie within a tiny tolerance of
// touching (where the reference's answer flips) are left out.
#include <array>
#include <random>
#include <tuple>

#include "SceneSupport.h"
#include "scene3d/Collision3D.h"

namespace scene_test {
namespace {

using glm::dvec3;
using Triangle = std::array<dvec3, 3>;
constexpr int kSlot = 300;
constexpr double kTolerance = 1e-3;

// Distance from p to the triangle: to its plane where p lies over it, else to its nearest edge.
double Distance(dvec3 p, const Triangle& t) {
  const dvec3 n = glm::normalize(glm::cross(t[1] - t[0], t[2] - t[0])), q = p - n * glm::dot(p - t[0], n);
  bool over = true;
  double edge = 1e300;
  for (int i = 0; i < 3; ++i) {
    const dvec3 a = t[i], ab = t[(i + 1) % 3] - a;
    over = over && glm::dot(glm::cross(ab, q - a), n) >= 0;
    edge = std::min(edge, glm::distance(p, a + ab * glm::clamp(glm::dot(p - a, ab) / glm::dot(ab, ab), 0.0, 1.0)));
  }
  return over ? glm::distance(p, q) : edge;
}

// Moeller-Trumbore with the triangle grown (eps > 0) or shrunk (eps < 0) in barycentric terms.
bool RayTriangle(dvec3 o, dvec3 d, const Triangle& t, double eps, double& hit) {
  const dvec3 e1 = t[1] - t[0], e2 = t[2] - t[0], pv = glm::cross(d, e2), tv = o - t[0], qv = glm::cross(tv, e1);
  const double det = glm::dot(e1, pv);
  if (std::fabs(det) < 1e-12) return false;
  const double u = glm::dot(tv, pv) / det, v = glm::dot(d, qv) / det;
  if (u < -eps || v < -eps || u + v > 1 + eps) return false;
  hit = glm::dot(e2, qv) / det;
  return true;
}

// Box of half-extents h along the world axes at c, grown by eps, against a triangle: the three
// box axes, the triangle normal and the nine edge cross products.
bool BoxTriangle(dvec3 c, dvec3 h, const Triangle& tri, double eps) {
  const Triangle t = {tri[0] - c, tri[1] - c, tri[2] - c};
  const dvec3 e[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
  const dvec3 u[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<dvec3> axes = {u[0], u[1], u[2], glm::cross(e[0], e[1])};
  for (const dvec3& a : u)
    for (const dvec3& edge : e) axes.push_back(glm::cross(a, edge));
  for (const dvec3& l : axes) {
    const double r = h.x * std::fabs(l.x) + h.y * std::fabs(l.y) + h.z * std::fabs(l.z) + eps * glm::length(l);
    const double p0 = glm::dot(t[0], l), p1 = glm::dot(t[1], l), p2 = glm::dot(t[2], l);
    if (std::min({p0, p1, p2}) > r || std::max({p0, p1, p2}) < -r) return false;
  }
  return true;
}

struct Reference {
  std::vector<Triangle> world;
  bool Sphere(dvec3 c, double r) const {
    return std::any_of(world.begin(), world.end(), [&](const Triangle& t) { return Distance(c, t) < r; });
  }
  bool Box(dvec3 c, dvec3 h, double eps) const {
    return std::any_of(world.begin(), world.end(), [&](const Triangle& t) { return BoxTriangle(c, h, t, eps); });
  }
  // Nearest hit in front, else nearest behind, else 0 (d a unit vector, so t is a distance).
  double Ray(dvec3 o, dvec3 d, double eps) const {
    double front = 0, behind = 0, t;
    for (const Triangle& tri : world) {
      if (!RayTriangle(o, d, tri, eps, t)) continue;
      if (t > 0 && (front == 0 || t < front)) front = t;
      if (t < 0 && (behind == 0 || t > behind)) behind = t;
    }
    return front != 0 ? front : behind;
  }
};

// Puts the triangles into frame 0 of the test slot, with its bounding sphere, and returns them
// as the slot holds them (in float).
std::vector<Triangle> Install(std::vector<Triangle> mesh) {
  MeshObjectX& m = lumbo3D.meshes[kSlot];
  m.Clear(true);
  m.frames.Append(POLY_FRAME());
  for (Triangle& t : mesh)
    for (dvec3& v : t) {
      POLY_NODE node{};
      std::copy(&v.x, &v.x + 3, node.position);
      v = dvec3(node.position[0], node.position[1], node.position[2]);
      m.frames[0].triangles.Append(node);
    }
  m.CalcMaxRadius();
  return mesh;
}

// A closed, star-shaped bumpy sphere around the origin.
std::vector<Triangle> RandomMesh(std::mt19937& rng) {
  std::uniform_real_distribution<double> bump(2.5, 3.5);
  std::vector<Triangle> mesh;
  const int slices = 24, stacks = 13;
  std::vector<std::vector<dvec3>> p(stacks, std::vector<dvec3>(slices));
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const double th = M_PI * i / (stacks - 1), ph = 2 * M_PI * j / slices;
      const double r = (i == 0 || i == stacks - 1) ? 3 : bump(rng);
      p[i][j] = r * dvec3(std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph));
    }
  for (int i = 0; i + 1 < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const int k = (j + 1) % slices;
      if (i > 0) mesh.push_back({p[i][j], p[i][k], p[i + 1][j]});
      if (i + 2 < stacks) mesh.push_back({p[i][k], p[i + 1][k], p[i + 1][j]});
    }
  return mesh;
}

void SetTransform(dvec3 movement, dvec3 scale, std::vector<Lumenar3D::Rotation> rotations = {}) {
  for (int a = 0; a < 3; ++a) {
    lumbo3D.movement[a] = static_cast<float>(movement[a]);
    lumbo3D.scaling[a] = static_cast<float>(scale[a]);
  }
  lumbo3D.rotationCount = static_cast<int>(rotations.size());
  std::copy(rotations.begin(), rotations.end(), lumbo3D.rotations);
}

// Gives the engine a random movement, zero to three rotations and the scaling, and returns the
// triangles as drawing would place them in the world, transformed by GLM.
Reference RandomPlacement(std::mt19937& rng, const std::vector<Triangle>& local, dvec3 scale) {
  std::uniform_real_distribution<double> at(-5, 5), angle(-180, 180), axis(-1, 1);
  std::vector<Lumenar3D::Rotation> rotations(rng() % 4);
  for (auto& r : rotations) r = {float(angle(rng)), float(axis(rng)), float(axis(rng)), float(axis(rng))};
  const dvec3 movement = dvec3(glm::vec3(at(rng), at(rng), at(rng)));
  SetTransform(movement, scale, rotations);
  glm::dmat4 m = glm::translate(glm::dmat4(1), movement);
  for (auto r = rotations.rbegin(); r != rotations.rend(); ++r)
    m = glm::rotate(m, glm::radians(double(r->angle)), dvec3(r->x, r->y, r->z));
  m = glm::scale(m, scale);
  Reference ref;
  for (const Triangle& t : local)
    ref.world.push_back({dvec3(m * glm::dvec4(t[0], 1)), dvec3(m * glm::dvec4(t[1], 1)), dvec3(m * glm::dvec4(t[2], 1))});
  return ref;
}

// A uniform scaling is exact for all three shapes; under a non-uniform one boxes and rays still
// are (spheres follow a rule of their own, so they are not compared there).
TEST(Collision, AgreesWithTextbookGeometryOnMovedRotatedAndScaledObjects) {
  std::mt19937 rng(20261206);
  std::vector<dvec3> scales(8, dvec3(1));
  scales.insert(scales.end(), {dvec3(2), dvec3(3), dvec3(-2), dvec3(2, 0.5, 1.5), dvec3(0.5, 1, 1), dvec3(1, 1, 3)});
  std::uniform_real_distribution<double> around(-10, 10), size(0.05, 2), unit(-1, 1);
  for (std::size_t round = 0; round < scales.size(); ++round) {
    const dvec3 scale = scales[round];
    SCOPED_TRACE(round);
    const bool uniform = scale.x == scale.y && scale.y == scale.z;
    const Reference ref = RandomPlacement(rng, Install(RandomMesh(rng)), scale);
    const dvec3 m(lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]);
    int sphereHits = 0, boxHits = 0, rayHits = 0, compared = 0;
    for (int s = 0; s < 400; ++s) {
      const dvec3 c = m + dvec3(around(rng), around(rng), around(rng));
      const double r = size(rng);
      const bool grown = ref.Sphere(c, r + kTolerance);
      if (uniform && grown == ref.Sphere(c, r - kTolerance)) {
        EXPECT_EQ(X_COLLISION(kSlot, 0, r, c.x, c.y, c.z), grown ? 1 : 0) << "sphere " << c.x << " " << c.y << " " << c.z;
        sphereHits += grown;
        ++compared;
      }
      const dvec3 half(size(rng), size(rng), 0);
      const bool boxGrown = ref.Box(c, dvec3(half.x, half.y, half.x), kTolerance);
      if (boxGrown == ref.Box(c, dvec3(half.x, half.y, half.x), -kTolerance)) {
        EXPECT_EQ(X_COLLISIONAABB(kSlot, 0, c.x, c.y, c.z, 2 * half.x, 2 * half.y), boxGrown ? 1 : 0) << "box " << c.x;
        boxHits += boxGrown;
      }
      dvec3 d(unit(rng), unit(rng), unit(rng));
      if (glm::length(d) < 0.1) continue;
      d = glm::normalize(d);
      const double far = ref.Ray(c, d, 1e-6), near = ref.Ray(c, d, -1e-6);
      if (std::fabs(far - near) < kTolerance) {
        EXPECT_NEAR(X_COLLISIONRAY(kSlot, 0, c.x, c.y, c.z, d.x, d.y, d.z), far, kTolerance) << "ray " << c.x;
        rayHits += far != 0;
      }
    }
    EXPECT_GT(std::min(boxHits, rayHits), 10);
    EXPECT_TRUE(!uniform || (compared > 360 && sphereHits > 10 && sphereHits < 390)) << compared << " " << sphereHits;
  }
  // A scale factor of 0 leaves nothing to touch.
  SetTransform(dvec3(lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]), dvec3(1, 0, 1));
  EXPECT_EQ(X_COLLISION(kSlot, 0, 100, lumbo3D.movement[0], lumbo3D.movement[1], lumbo3D.movement[2]), 0);
  SetTransform(dvec3(0), dvec3(1));
}

TEST(Collision, TouchingFramesAndDistancesBehind) {
  SetTransform(dvec3(0), dvec3(1));
  Install({Triangle{dvec3(0, 0, 0), dvec3(4, 0, 0), dvec3(0, 4, 0)}});
  // |distance to the plane| = r: no contact; a little less: contact; the centre in the plane,
  // far from the edges: contact.
  EXPECT_EQ(std::tuple(X_COLLISION(kSlot, 0, 0.5, 1, 1, 0.5), X_COLLISION(kSlot, 0, 0.5, 1, 1, -0.5),
                       X_COLLISION(kSlot, 0, 0.5, 1, 1, 0.499), X_COLLISION(kSlot, 0, 0.25, 1, 1, 0)),
            std::tuple(0, 0, 1, 1));
  // A ray through the edge from corner 1 to corner 2 misses; through the other edges it hits.
  EXPECT_EQ(std::tuple(X_COLLISIONRAY(kSlot, 0, 2, 2, 1, 0, 0, -1), X_COLLISIONRAY(kSlot, 0, 2, 0, 1, 0, 0, -1),
                       X_COLLISIONRAY(kSlot, 0, 0, 2, 1, 0, 0, -1)), std::tuple(0, 1, 1));
  EXPECT_EQ(X_COLLISIONAABB(kSlot, 0, 1, 1, 1, 2, 2), 1);  // a face in the triangle's plane

  // Moved to z = 9, a ray aimed away gives the distance behind.
  SetTransform(dvec3(0, 0, 9), dvec3(1));
  EXPECT_FLOAT_EQ(X_COLLISIONRAY(kSlot, 0, 1, 1, 0, 0, 0, -1), -9);
  // Object numbers outside the table, frames past the object and bad frames: no contact.
  EXPECT_EQ(X_COLLISIONRAY(-1, 0, 0, 1, 1, 1, 0, 0) + X_COLLISIONRAY(4096, 0, 0, 1, 1, 1, 0, 0), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 1, 100, 10, 0, 0) + X_COLLISION(kSlot, -1, 100, 10, 0, 0), 0);
  EXPECT_EQ(X_COLLISION(kSlot, 0, 100, 10, 0, 0), 1);
  SetTransform(dvec3(0), dvec3(1));
}

TEST(Collision, DegenerateTrianglesGiveNoFalseOrNaNContacts) {
  float line[3][3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, point[3][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
  float near[3] = {1.5f, 0.2f, 0}, far[3] = {1.5f, 0.4f, 0}, onPoint[3] = {1, 1, 1.2f};
  EXPECT_EQ(std::tuple(SpherePolygonCollision(line, near, 3, 0.3f), SpherePolygonCollision(line, far, 3, 0.3f),
                       SpherePolygonCollision(point, onPoint, 3, 0.3f), SpherePolygonCollision(point, far, 3, 0.3f)),
            std::tuple(true, false, true, false));
  const float p[3] = {1, 0, 1}, q[3] = {1, 0, 0};
  EXPECT_EQ(IntersectTriangleAndRay(line, p, q) + IntersectTriangleAndRay(point, p, q), 0);
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

}  // namespace
}  // namespace scene_test
