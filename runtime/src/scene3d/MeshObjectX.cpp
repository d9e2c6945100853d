// MeshObjectX: the mesh of an object slot. Triangle building, bounding spheres, the colouring
// flag and the release of its OpenGL resources.
#include <cmath>
#include <cstring>

#include "display/OpenGLLumenar.h"
#include "platform/platform.h"
#include "scene3d/MeshObject.h"

namespace TAVELOR {

MeshObjectX::~MeshObjectX() { Clear(true); }

void MeshObjectX::Clear(bool free) {
  MeshObject::Clear(free);
  ReleaseGLNames();
}

void MeshObjectX::ReleaseGLNames() {
  // Names exist only while a context does; at process exit the context may already be gone.
  const bool gl = platform::HasGLContext();
  if (gl && glDeleteBuffersArb) {
    if (staticBuffer) glDeleteBuffersArb(1, &staticBuffer);
    if (dynamicBuffer) glDeleteBuffersArb(1, &dynamicBuffer);
  }
  if (gl && celTexture) {
    GLuint name = celTexture;
    glDeleteTextures(1, &name);
  }
  staticBuffer = 0;
  dynamicBuffer = 0;
  celTexture = 0;
}

namespace {

enum class GroupKind { List, Strip, Fan };

bool GroupOf(std::uint32_t colour, GroupKind& kind) {
  switch (colour) {
    case kGroupList: kind = GroupKind::List; return true;
    case kGroupStrip: kind = GroupKind::Strip; return true;
    case kGroupFan: kind = GroupKind::Fan; return true;
    default: return false;
  }
}

}  // namespace

void MeshObjectX::PrepareFrameTriangles(POLY_FRAME& frame) const {
  frame.triangles.Empty();
  // Count first so the list is allocated once.
  std::int64_t triangleCount = 0;
  {
    GroupKind kind = GroupKind::List;
    int c = 0;
    for (const POLY_PACKED& p : frame.nodes) {
      if (GroupOf(PaletteColour(p.colourIndex), kind)) {
        c = 0;
      } else if (++c == 3) {
        ++triangleCount;
        c = kind == GroupKind::List ? 0 : 2;
      }
    }
  }
  if (!frame.triangles.Reserve(3 * triangleCount + 1)) return;

  POLY_NODE slot[3];
  GroupKind kind = GroupKind::List;
  int c = 0;
  int parity = 0;
  POLY_NODE* out = frame.triangles.data;
  for (std::int32_t k = 0; k < frame.nodes.count; ++k) {
    GroupKind marker;
    if (GroupOf(PaletteColour(frame.nodes.data[k].colourIndex), marker)) {
      kind = marker;
      c = 0;
      if (kind == GroupKind::Strip) parity = 0;
      continue;
    }
    ExpandNode(frame, k, slot[c]);
    if (++c < 3) continue;
    // Record by record: a single 264-byte block copy is slower here.
    out[0] = slot[0];
    out[1] = slot[1];
    out[2] = slot[2];
    out += 3;
    switch (kind) {
      case GroupKind::List:
        c = 0;
        break;
      case GroupKind::Strip:
        // (v0, v1, v2), (v2, v1, v3), (v2, v3, v4), ...
        parity = 1 - parity;
        slot[parity == 1 ? 0 : 1] = slot[2];
        c = 2;
        break;
      case GroupKind::Fan:
        slot[1] = slot[2];
        c = 2;
        break;
    }
  }
  frame.triangles.count = static_cast<std::int32_t>(out - frame.triangles.data);
}

void MeshObjectX::FinishTriangles() {
  scratch.Empty();
  if (frames.count > 0) scratch = frames[0].triangles;
  CheckIfColoringNeeded();
}

void MeshObjectX::PrepareTriangles() {
  for (POLY_FRAME& frame : frames) PrepareFrameTriangles(frame);
  FinishTriangles();
}

void MeshObjectX::CalcFrameRadius(POLY_FRAME& frame) {
  const Queue<POLY_NODE>& t = frame.triangles;
  // Separate sums rather than an array: the compiler keeps them in registers.
  double sx = 0, sy = 0, sz = 0;
  for (const POLY_NODE& v : t) {
    sx += v.position[0];
    sy += v.position[1];
    sz += v.position[2];
  }
  double centre[3] = {0, 0, 0};
  if (t.count > 0) {
    centre[0] = sx / t.count;
    centre[1] = sy / t.count;
    centre[2] = sz / t.count;
  }
  double best = 0;
  for (const POLY_NODE& v : t) {
    double dx = v.position[0] - centre[0];
    double dy = v.position[1] - centre[1];
    double dz = v.position[2] - centre[2];
    double d = dx * dx + dy * dy + dz * dz;
    if (d > best) best = d;
  }
  for (int i = 0; i < 3; ++i) frame.centre[i] = static_cast<float>(centre[i]);
  frame.radius = static_cast<float>(std::sqrt(best));
}

void MeshObjectX::CalcMaxRadius() {
  for (POLY_FRAME& frame : frames) CalcFrameRadius(frame);
}

void MeshObjectX::PrepareForDrawing() {
  // Frame by frame, so each frame's sphere is measured while its triangles are still cached.
  for (POLY_FRAME& frame : frames) {
    PrepareFrameTriangles(frame);
    CalcFrameRadius(frame);
  }
  FinishTriangles();
}

void MeshObjectX::CheckIfColoringNeeded() {
  colouringNeeded = 0;
  for (std::uint32_t colour : palette) {
    if (colour < kNoColour && colour != 0x00FFFFFFu) {
      colouringNeeded = 1;
      return;
    }
  }
}

}  // namespace TAVELOR
