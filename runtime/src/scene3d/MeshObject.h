// The mesh model of the 3D engine: quantised animation frames with a shared texture-coordinate
// table and colour palette, the .ddd file reader and writer, the quantising encoder and the
// normals generation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene3d/Queue.h"

namespace TAVELOR {

constexpr int kVertexNormals = 162;
// The unit vectors that stored normal, tangent and binormal indices refer to.
extern const float gAvertexnormals[kVertexNormals][3];

// Colour values from this one upwards are no colour; the top three also start a group.
constexpr std::uint32_t kNoColour = 0xFFFFFFFCu;
constexpr std::uint32_t kGroupList = 0xFFFFFFFFu;
constexpr std::uint32_t kGroupStrip = 0xFFFFFFFEu;
constexpr std::uint32_t kGroupFan = 0xFFFFFFFDu;

inline bool IsGroupMarker(std::uint32_t colour) { return colour >= kGroupFan; }

// .ddd file header values.
constexpr std::uint32_t kDddMagic = 0x00C6B317u;
constexpr double kDddVersion = 1.02;

// A full vertex record; also the interleaved vertex layout handed to OpenGL (stride 88).
struct POLY_NODE {
  float position[3];
  float normal[3];
  float u, v;
  float work[3];      // per-vertex values of the special shading
  float tangent[3];
  float binormal[3];  // the first two also carry the cel-shading texture coordinate
  std::uint32_t colour;
  std::uint8_t colourIndex;
  std::uint8_t reserved[3];
  float rgb[3];
};
static_assert(sizeof(POLY_NODE) == 88, "POLY_NODE is 22 four-byte words");
static_assert(offsetof(POLY_NODE, u) == 24 && offsetof(POLY_NODE, work) == 32 &&
              offsetof(POLY_NODE, binormal) == 56 && offsetof(POLY_NODE, colour) == 68 &&
              offsetof(POLY_NODE, rgb) == 76, "vertex array offsets");

// A quantised node.
struct POLY_PACKED {
  std::uint8_t q[3];
  std::uint8_t normalIndex;
  std::uint8_t tangentIndex;   // 0 = not computed
  std::uint8_t binormalIndex;  // 0 = not computed
  std::uint8_t colourIndex;
};

// One animation frame.
struct POLY_FRAME {
  Queue<POLY_NODE> source;     // builder vertices, emptied by Compress
  Queue<POLY_NODE> triangles;  // three records per triangle
  Queue<POLY_PACKED> nodes;
  float offset[3] = {0, 0, 0};
  float scale[3] = {1, 1, 1};
  float radius = 0;
  float centre[3] = {0, 0, 0};

  POLY_FRAME() = default;
  POLY_FRAME(POLY_FRAME&&) noexcept = default;
  POLY_FRAME& operator=(POLY_FRAME&&) noexcept = default;
  // A copy takes the lists, the offset and the scale; the bounding sphere is recomputed.
  POLY_FRAME(const POLY_FRAME& other) { *this = other; }
  POLY_FRAME& operator=(const POLY_FRAME& other);
};

class MeshObject {
 public:
  MeshObject() = default;
  virtual ~MeshObject();
  MeshObject(const MeshObject&) = delete;
  MeshObject& operator=(const MeshObject&) = delete;

  // Builds the triangle lists used for drawing; nothing at this level.
  virtual void PrepareTriangles() {}

  // Empties every list (free = true also releases the storage); frame count 0.
  void Clear(bool free);
  // Reads a .ddd file. A missing file gives false silently; a bad one logs "# read error"
  // (or "# malloc error") and the file name, and leaves the object empty.
  bool Load(const char* name, bool expand);
  // Writes the packed data as a .ddd file; false when it cannot be written.
  bool Save(const char* name) const;
  // Quantises the source vertices of every frame into packed nodes.
  void Compress();
  // Fills normal (and tangent and binormal) indices of every packed node from the triangles.
  void AutoNormalsAfterCompression(bool normals, bool weldByPosition, bool tangents);

  // The full record of node k of a frame; v comes out negated.
  inline void ExpandNode(const POLY_FRAME& frame, std::int32_t k, POLY_NODE& out) const;
  // Palette entry of a colour index (white for an index past the palette).
  std::uint32_t PaletteColour(std::uint8_t index) const {
    return index < palette.count ? palette.data[index] : 0x00FFFFFFu;
  }

  Queue<POLY_FRAME> frames;
  Queue<POLY_NODE> scratch;
  Queue<float> textureU;
  Queue<float> textureV;
  Queue<std::uint32_t> palette;
  std::int32_t normalsValid = 0;
};

inline const float* VertexNormal(std::uint8_t index) {
  return gAvertexnormals[index < kVertexNormals ? index : 0];
}

inline void MeshObject::ExpandNode(const POLY_FRAME& frame, std::int32_t k, POLY_NODE& out) const {
  const POLY_PACKED& p = frame.nodes.data[k];
  const float* n = VertexNormal(p.normalIndex);
  const float* t = VertexNormal(p.tangentIndex);
  const float* b = VertexNormal(p.binormalIndex);
  for (int i = 0; i < 3; ++i) {
    out.position[i] = (static_cast<float>(p.q[i]) - frame.offset[i]) * frame.scale[i];
    out.normal[i] = n[i];
    out.work[i] = 0;
    out.tangent[i] = t[i];
    out.binormal[i] = b[i];
  }
  std::uint32_t colour = PaletteColour(p.colourIndex);
  out.colour = colour;
  out.colourIndex = p.colourIndex;
  out.reserved[0] = out.reserved[1] = out.reserved[2] = 0;
  out.rgb[0] = static_cast<float>(colour & 0xFF) / 255.0f;
  out.rgb[1] = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
  out.rgb[2] = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
  out.u = k < textureU.count ? textureU.data[k] : 0.0f;
  out.v = k < textureV.count ? -textureV.data[k] : 0.0f;
}

// Index of the table vector nearest to v (v is normalised first when its length is not 0).
// Equal distances take the later entry; an exact match takes the first.
std::uint8_t NearestVertexNormal(const float v[3]);

// A mesh as kept in an object slot: adds the drawing resources.
class MeshObjectX : public MeshObject {
 public:
  MeshObjectX() = default;
  ~MeshObjectX() override;

  void PrepareTriangles() override;
  // Clears the mesh and releases its OpenGL buffers and cel texture where they exist.
  void Clear(bool free);
  void ReleaseGLNames();
  // Bounding sphere of every frame's triangles.
  void CalcMaxRadius();
  // PrepareTriangles and CalcMaxRadius in one pass over the frames; the same results.
  void PrepareForDrawing();
  void CheckIfColoringNeeded();
  // Makes the cel-shading ramp texture (one row per palette entry) unless there is one.
  void MakeCelShadeTexutre();

  std::uint32_t staticBuffer = 0;
  std::uint32_t dynamicBuffer = 0;
  std::int32_t colouringNeeded = 0;
  std::uint32_t celTexture = 0;
  float celRowStep = 0;

 private:
  void PrepareFrameTriangles(POLY_FRAME& frame) const;
  static void CalcFrameRadius(POLY_FRAME& frame);
  // The scratch copy of frame 0 and the colouring flag, once every frame has its triangles.
  void FinishTriangles();
};

}  // namespace TAVELOR
