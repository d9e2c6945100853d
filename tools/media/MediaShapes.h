// Shapes of Hollerquast's media generator: triangle strips built from boxes, surfaces of
// revolution and flat pieces, checked for their facing and fed to the runtime's object builder.
//
// Objects are drawn with front faces clockwise (the game's cull mode 1), and the builder's
// normals follow the same rule, so every strip here is wound clockwise as seen from outside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double f) { return {a.x * f, a.y * f, a.z * f}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Unit(Vec3 v);

// Colour as the runtime takes it: red in the low byte.
constexpr std::uint32_t Rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b) << 16;
}

struct Vertex {
  Vec3 p;
  double u = 0, v = 0;
  std::uint32_t colour = 0xFFFFFF;
};

// A place and orientation for a shape: local x, y, z map to the three axes (a rotation:
// x cross y = z), then the origin is added.
struct Frame {
  Vec3 origin;
  Vec3 ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};
  Vec3 Map(Vec3 p) const { return origin + ax * p.x + ay * p.y + az * p.z; }
};
// A frame at `origin` whose local y runs along `axis`.
Frame AlongAxis(Vec3 origin, Vec3 axis);
// A frame at `origin` turned by `degrees` about its x axis (nose up for positive angles when
// the shape faces -z).
Frame TurnedAboutX(Vec3 origin, double degrees);

// One object in the making: strips of vertices.
class Mesh {
 public:
  // Appends a strip after checking that each of its triangles faces away from `inside` (or
  // towards it when `inward`). Throws std::runtime_error naming the part otherwise.
  void Strip(const std::vector<Vertex>& strip, Vec3 inside, const char* part, bool inward = false);
  // Vertices in groups too short to form a triangle: they only enter the palette, in order.
  // The cel shading blends between neighbouring palette rows, so shades that meet inside a
  // triangle are listed next to each other.
  void PaletteOrder(const std::vector<std::uint32_t>& colours, Vec3 at);

  // Builds the object in a slot of the runtime and writes it as a .ddd file.
  void Save(const std::string& path, int autoNormals = 2) const;

  const std::vector<std::vector<Vertex>>& Strips() const { return strips; }

 private:
  std::vector<std::vector<Vertex>> strips;
};

// A box given by its eight corners (bit 0 of the index: +x side, bit 1: +y, bit 2: +z, in the
// box's own sense); the box must be convex. One colour per face list: -x, +x, -y, +y, -z, +z.
void Hexahedron(Mesh& mesh, const Vec3 (&corner)[8], const std::uint32_t (&faceColour)[6], const char* part);
// An upright box in a frame: centre c, half sizes h.
void Box(Mesh& mesh, const Frame& frame, Vec3 c, Vec3 h, std::uint32_t colour, const char* part);

// A ring of the profile of a surface of revolution: radii along local x and z, height y,
// colour, and an optional waviness of the height (amplitude, waves per turn).
struct Ring {
  double rx, y, rz;
  std::uint32_t colour;
  double wave = 0;
  int waves = 0;
};
// Bands between consecutive rings (bottom to top) around the frame's y axis, `segments` per
// turn. A ring of radius 0 closes the surface.
void Revolve(Mesh& mesh, const Frame& frame, const std::vector<Ring>& rings, int segments, const char* part);
// An ellipsoid of radii r around the frame's origin.
void Ellipsoid(Mesh& mesh, const Frame& frame, Vec3 r, std::uint32_t colour, int segments, const char* part);
// A quad seen from its front side with the corners in counter-clockwise order.
void Quad(Mesh& mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, std::uint32_t colour, Vec3 inside, const char* part);

}  // namespace media
