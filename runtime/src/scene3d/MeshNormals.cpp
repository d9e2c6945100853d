// Normals (and tangents and binormals) of packed nodes, computed from the triangles they form.
#include <cmath>
#include <unordered_map>
#include <vector>

#include "scene3d/MeshObject.h"

namespace TAVELOR {

namespace {

void Normalise(float v[3]) {
  float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length > 0) {
    for (int i = 0; i < 3; ++i) v[i] /= length;
  }
}

void AddTo(float sum[3], const float v[3]) {
  for (int i = 0; i < 3; ++i) sum[i] += v[i];
}

// A node in the triangle window: its accumulator record, position and texture coordinate.
struct WindowEntry {
  std::int32_t record;
  float position[3];
  float u, v;
};

}  // namespace

void MeshObject::AutoNormalsAfterCompression(bool normals, bool weldByPosition, bool tangents) {
  if (frames.count == 0 || frames[0].nodes.count == 0) return;
  if (normalsValid == 1) normals = false;
  const POLY_PACKED& first = frames[0].nodes[0];
  if (first.tangentIndex != 0 || first.binormalIndex != 0) tangents = false;
  if (!normals && !tangents) return;
  normalsValid = 1;

  // Sums per key (node ordinal, or quantised position when welding), shared by all frames.
  Queue<POLY_NODE> sums;
  sums.Reserve(static_cast<std::int64_t>(frames[0].nodes.count) + 2);
  std::unordered_map<std::uint32_t, std::int32_t> recordOfKey;
  std::vector<POLY_NODE> expanded;
  std::vector<std::int32_t> recordOfNode;

  for (POLY_FRAME& frame : frames) {
    const std::int32_t n = frame.nodes.count;
    expanded.assign(static_cast<std::size_t>(n), POLY_NODE{});
    recordOfNode.assign(static_cast<std::size_t>(n), 0);
    for (std::int32_t k = 0; k < n; ++k) ExpandNode(frame, k, expanded[k]);

    WindowEntry window[3];
    int c = 0;
    int groupCount = 0;
    int parity = 0;
    std::uint32_t kind = kGroupList;
    for (std::int32_t k = 0; k < n; ++k) {
      const POLY_PACKED& p = frame.nodes[k];
      std::uint32_t colour = PaletteColour(p.colourIndex);
      if (IsGroupMarker(colour)) {
        recordOfNode[k] = 0;
        kind = colour;
        c = 0;
        groupCount = 0;
        parity = 0;
        continue;
      }
      std::uint32_t key = weldByPosition ? p.q[0] + 256u * p.q[1] + 65536u * p.q[2] : static_cast<std::uint32_t>(k);
      auto found = recordOfKey.find(key);
      std::int32_t record;
      if (found != recordOfKey.end()) {
        record = found->second;
      } else {
        POLY_NODE zero{};
        zero.colour = key;
        if (!sums.Append(zero)) return;
        record = sums.count - 1;
        recordOfKey.emplace(key, record);
      }
      recordOfNode[k] = record;
      WindowEntry& e = window[c++];
      e.record = record;
      for (int i = 0; i < 3; ++i) e.position[i] = expanded[k].position[i];
      e.u = expanded[k].u;
      e.v = expanded[k].v;
      // The first two nodes of a group share the record of the third.
      if (++groupCount == 3) recordOfNode[k - 1] = recordOfNode[k - 2] = record;
      if (c < 3) continue;

      const WindowEntry& a = window[0];
      const WindowEntry& b = window[1];
      const WindowEntry& t = window[2];
      float e1[3], e2[3];
      for (int i = 0; i < 3; ++i) {
        e1[i] = b.position[i] - a.position[i];
        e2[i] = t.position[i] - a.position[i];
      }
      if (normals) {
        float cb[3], ba[3];
        for (int i = 0; i < 3; ++i) {
          cb[i] = t.position[i] - b.position[i];
          ba[i] = e1[i];
        }
        float face[3] = {cb[1] * ba[2] - cb[2] * ba[1], cb[2] * ba[0] - cb[0] * ba[2], cb[0] * ba[1] - cb[1] * ba[0]};
        Normalise(face);
        for (const WindowEntry* w : {&a, &b, &t}) AddTo(sums[w->record].normal, face);
      }
      if (tangents) {
        float du1 = b.u - a.u, dv1 = b.v - a.v;
        float du2 = t.u - a.u, dv2 = t.v - a.v;
        float det = du1 * dv2 - dv1 * du2;
        // A triangle without texture extent gives no direction.
        if (std::fabs(det) > 1e-05f) {
          float tangent[3], binormal[3];
          for (int i = 0; i < 3; ++i) {
            tangent[i] = (dv2 * e1[i] - dv1 * e2[i]) / det;
            binormal[i] = (du1 * e2[i] - du2 * e1[i]) / det;
          }
          for (const WindowEntry* w : {&a, &b, &t}) {
            AddTo(sums[w->record].tangent, tangent);
            AddTo(sums[w->record].binormal, binormal);
          }
        }
      }
      if (kind == kGroupStrip) {
        parity = 1 - parity;
        window[parity == 1 ? 0 : 1] = window[2];
        c = 2;
      } else if (kind == kGroupFan) {
        window[1] = window[2];
        c = 2;
      } else {
        c = 0;
        groupCount = 0;
      }
    }

    // Markers point at record 0, which exists once any node has been seen.
    if (sums.count == 0) continue;
    for (std::int32_t k = 0; k < n; ++k) {
      POLY_NODE& r = sums[recordOfNode[k]];
      POLY_PACKED& p = frame.nodes[k];
      if (normals) {
        Normalise(r.normal);
        p.normalIndex = NearestVertexNormal(r.normal);
      }
      if (tangents) {
        Normalise(r.binormal);
        p.binormalIndex = NearestVertexNormal(r.binormal);
        Normalise(r.tangent);
        p.tangentIndex = NearestVertexNormal(r.tangent);
      }
    }
  }
  PrepareTriangles();
}

}  // namespace TAVELOR
