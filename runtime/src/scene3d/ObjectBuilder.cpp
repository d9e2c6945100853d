// The object builder: a program feeds vertices into frame 0 of a slot, grouped into strips,
// lists or fans, and closing the object quantises them and prepares it for drawing.
#include <cmath>

#include "scene3d/Lumenar3D.h"

namespace TAVELOR {

namespace {

std::uint32_t MarkerOfKind(int kind) {
  switch (kind) {
    case 0: return kGroupList;
    case 2: return kGroupFan;
    default: return kGroupStrip;
  }
}

}  // namespace

void Lumenar3D::UserObjectStart(int n, int kind) {
  MeshObjectX* object = Object(n);
  if (!object) return;
  object->Clear(false);
  userObject = n;
  object->frames.Append(POLY_FRAME());
  UserObjectNewGroup(kind);
}

void Lumenar3D::UserObjectNewGroup(int kind) {
  MeshObjectX* object = Object(userObject);
  if (!object || object->frames.count == 0) return;
  POLY_NODE marker{};
  marker.colour = MarkerOfKind(kind);
  marker.rgb[0] = marker.rgb[1] = marker.rgb[2] = 1.0f;
  object->frames[0].source.Append(marker);
}

void Lumenar3D::UserObjectAddVertex(float x, float y, float z, float u, float v, unsigned long colour) {
  MeshObjectX* object = Object(userObject);
  if (!object || object->frames.count == 0) return;
  POLY_NODE vertex{};  // no normal is given: it stays the zero vector
  vertex.position[0] = x;
  vertex.position[1] = y;
  vertex.position[2] = z;
  vertex.u = u;
  vertex.v = v;
  std::uint32_t c = static_cast<std::uint32_t>(colour);
  vertex.colour = c;
  if (c >= kNoColour) {
    vertex.rgb[0] = vertex.rgb[1] = vertex.rgb[2] = 1.0f;
  } else {
    vertex.rgb[0] = static_cast<float>(c & 0xFF) / 255.0f;
    vertex.rgb[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    vertex.rgb[2] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
  }
  object->frames[0].source.Append(vertex);
}

void Lumenar3D::UserObjectEnd() {
  MeshObjectX* object = Object(userObject);
  if (!object) return;
  userObject = -1;
  if (autoNormalMode != 0 && object->frames.count > 0) {
    for (POLY_NODE& vertex : object->frames[0].source) {
      if (IsGroupMarker(vertex.colour)) continue;
      float* n = vertex.normal;
      float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (length != 0) {
        for (int i = 0; i < 3; ++i) n[i] /= length;
      }
    }
  }
  if (object->frames.count == 0 || object->frames[0].source.count < 3) {
    object->Clear(false);
    return;
  }
  object->Compress();
  if (autoNormalMode == 1) {
    object->AutoNormalsAfterCompression(true, false, false);
  } else if (autoNormalMode == 2) {
    object->AutoNormalsAfterCompression(true, true, false);
  }
  object->PrepareForDrawing();
}

void Lumenar3D::UserObjectAutoNormalMode(long mode) { autoNormalMode = static_cast<int>(mode % 3); }

}  // namespace TAVELOR
