// Strips for boxes, surfaces of revolution and quads, their facing check, and the hand-over to
// the runtime's object builder.
#include "MediaShapes.h"

#include <tavelor/scene3d.h>

#include <cmath>
#include <stdexcept>

namespace media {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Vec3 Unit(Vec3 v) {
  const double l = std::sqrt(Dot(v, v));
  return l > 0 ? v * (1 / l) : v;
}

Frame AlongAxis(Vec3 origin, Vec3 axis) {
  Frame f;
  f.origin = origin;
  f.ay = Unit(axis);
  const Vec3 helper = std::fabs(f.ay.y) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  f.ax = Unit(Cross(f.ay, helper));
  f.az = Cross(f.ax, f.ay);
  return f;
}

Frame TurnedAboutX(Vec3 origin, double degrees) {
  const double a = degrees / 180 * kPi;
  Frame f;
  f.origin = origin;
  f.ay = {0, std::cos(a), std::sin(a)};
  f.az = {0, -std::sin(a), std::cos(a)};
  return f;
}

void Mesh::Strip(const std::vector<Vertex>& strip, Vec3 inside, const char* part, bool inward) {
  // The renderer's strip rule: (v0, v1, v2), (v2, v1, v3), (v2, v3, v4), ...; a clockwise
  // triangle (a, b, c) has its front towards (c - b) x (b - a).
  for (std::size_t k = 2; k < strip.size(); ++k) {
    const bool odd = (k - 2) % 2 == 1;
    const Vec3 a = strip[odd ? k - 1 : k - 2].p;
    const Vec3 b = strip[odd ? k - 2 : k - 1].p;
    const Vec3 c = strip[k].p;
    const Vec3 n = Cross(c - b, b - a);
    if (Dot(n, n) < 1e-18) continue;  // degenerate, as at the tip of a cone
    const Vec3 centroid = (a + b + c) * (1.0 / 3);
    const double facing = Dot(n, centroid - inside);
    if (inward ? facing > 0 : facing < 0) throw std::runtime_error(std::string("wrong facing in ") + part);
  }
  strips.push_back(strip);
}

void Mesh::PaletteOrder(const std::vector<std::uint32_t>& colours, Vec3 at) {
  for (std::uint32_t c : colours) strips.push_back({Vertex{at, 0, 0, c}});
}

void Mesh::Save(const std::string& path, int autoNormals) const {
  using namespace TAVELOR;
  constexpr int kSlot = 0;
  X_AUTONORMALS(autoNormals);
  X_OBJSTART(kSlot);
  bool first = true;
  for (const std::vector<Vertex>& strip : strips) {
    if (!first) X_OBJNEWGROUP();
    first = false;
    for (const Vertex& v : strip) X_OBJADDVERTEX(v.p.x, v.p.y, v.p.z, v.u, v.v, v.colour);
  }
  X_OBJEND();
  X_SAVEOBJ(path.c_str(), kSlot);
}

void Quad(Mesh& mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, std::uint32_t colour, Vec3 inside, const char* part) {
  mesh.Strip({{a, 0, 0, colour}, {d, 0, 0, colour}, {b, 0, 0, colour}, {c, 0, 0, colour}}, inside, part);
}

void Hexahedron(Mesh& mesh, const Vec3 (&k)[8], const std::uint32_t (&faceColour)[6], const char* part) {
  Vec3 centre;
  for (const Vec3& p : k) centre = centre + p * 0.125;
  // Each face counter-clockwise as seen from outside.
  static constexpr int kFaces[6][4] = {{0, 4, 6, 2}, {5, 1, 3, 7}, {0, 1, 5, 4},
                                       {6, 7, 3, 2}, {1, 0, 2, 3}, {4, 5, 7, 6}};
  for (int f = 0; f < 6; ++f) {
    const int* q = kFaces[f];
    Quad(mesh, k[q[0]], k[q[1]], k[q[2]], k[q[3]], faceColour[f], centre, part);
  }
}

void Box(Mesh& mesh, const Frame& frame, Vec3 c, Vec3 h, std::uint32_t colour, const char* part) {
  Vec3 corner[8];
  for (int i = 0; i < 8; ++i) {
    const Vec3 local{c.x + (i & 1 ? h.x : -h.x), c.y + (i & 2 ? h.y : -h.y), c.z + (i & 4 ? h.z : -h.z)};
    corner[i] = frame.Map(local);
  }
  const std::uint32_t colours[6] = {colour, colour, colour, colour, colour, colour};
  Hexahedron(mesh, corner, colours, part);
}

void Revolve(Mesh& mesh, const Frame& frame, const std::vector<Ring>& rings, int segments, const char* part) {
  const Vec3 inside = frame.Map({0, (rings.front().y + rings.back().y) / 2, 0});
  auto at = [&](const Ring& r, int i) {
    const double a = 2 * kPi * i / segments;
    const double y = r.y + (r.waves ? r.wave * std::sin(a * r.waves) : 0);
    return frame.Map({r.rx * std::sin(a), y, r.rz * std::cos(a)});
  };
  for (std::size_t k = 0; k + 1 < rings.size(); ++k) {
    std::vector<Vertex> strip;
    for (int i = 0; i <= segments; ++i) {
      // Bottom then top, turning so that the next pair lies to the right seen from outside.
      strip.push_back({at(rings[k], i), 0, 0, rings[k].colour});
      strip.push_back({at(rings[k + 1], i), 0, 0, rings[k + 1].colour});
    }
    mesh.Strip(strip, inside, part);
  }
}

void Ellipsoid(Mesh& mesh, const Frame& frame, Vec3 r, std::uint32_t colour, int segments, const char* part) {
  std::vector<Ring> rings;
  const int stacks = segments / 2;
  for (int j = 0; j <= stacks; ++j) {
    const double a = kPi * j / stacks;
    rings.push_back({r.x * std::sin(a), -r.y * std::cos(a), r.z * std::sin(a), colour});
  }
  Revolve(mesh, frame, rings, segments, part);
}

}  // namespace media
