// The object builder, the encoder, triangle building and normals generation.
#include <array>

#include "SceneSupport.h"

namespace scene_test {
namespace {

using Vec = std::array<float, 3>;

Vec Unit(Vec v) {
  const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / l, v[1] / l, v[2] / l};
}
float Dot(const float* a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    X_AUTONORMALS(2);
    for (int n : {0, 1, 2, 3}) lumbo3D.meshes[n].Clear(true);
  }
  void TearDown() override {
    X_OBJEND();
    X_AUTONORMALS(2);
  }
  // Builds slot n with the engine calls so the group kind can be chosen; kind < 0 in the list
  // starts a new group of kind -kind - 1.
  static MeshObjectX& Build(int n, int kind, const std::vector<Vec>& vertices, std::uint32_t colour = 0x808080) {
    lumbo3D.UserObjectStart(n, kind);
    for (const Vec& v : vertices) {
      if (v[0] < 0) lumbo3D.UserObjectNewGroup(static_cast<int>(-v[0]) - 1);
      else lumbo3D.UserObjectAddVertex(v[0], v[1], v[2], 0, 0, colour);
    }
    lumbo3D.UserObjectEnd();
    return lumbo3D.meshes[n];
  }
};

// Positions on a 0..255 grid quantise exactly (scale 1 on every axis).
const std::vector<Vec> kFive = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}, {0, 0, 255}};

TEST_F(Builder, StripsFansAndListsFormTheirTriangles) {
  std::vector<Vec> seven = kFive, regrouped(kFive.begin(), kFive.begin() + 4);
  seven.insert(seven.end(), {kFive[1], kFive[2]});  // a list's leftover vertices make no triangle
  regrouped.insert(regrouped.end(), {{-3, 0, 0}, kFive[4], kFive[0], kFive[1], kFive[2]});  // a new fan
  const struct {
    int kind;
    std::vector<Vec> vertices;
    std::vector<int> corners;
  } cases[] = {
      {1, kFive, {0, 1, 2, 2, 1, 3, 2, 3, 4}},
      {2, kFive, {0, 1, 2, 0, 2, 3, 0, 3, 4}},
      {0, seven, {0, 1, 2, 3, 4, 1}},
      {1, regrouped, {0, 1, 2, 2, 1, 3, 4, 0, 1, 4, 1, 2}},
  };
  for (const auto& c : cases) {
    const MeshObjectX& m = Build(0, c.kind, c.vertices);
    ASSERT_EQ(m.frames.count, 1);
    const Queue<POLY_NODE>& t = m.frames[0].triangles;
    ASSERT_EQ(t.count, static_cast<int>(c.corners.size())) << c.kind;
    for (int i = 0; i < t.count; ++i)
      EXPECT_EQ(Vec({t[i].position[0], t[i].position[1], t[i].position[2]}), kFive[c.corners[i]]) << c.kind << " " << i;
    EXPECT_EQ(m.scratch.count, t.count);  // a copy of frame 0's triangles
  }
  // The bounding sphere counts each triangle corner: (v0 v1 v2) (v2 v1 v3), six positions.
  const MeshObjectX& m = Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}});
  EXPECT_EQ(Vec({m.frames[0].centre[0], m.frames[0].centre[1], m.frames[0].centre[2]}), Vec({127.5f, 127.5f, 0}));
  EXPECT_NEAR(m.frames[0].radius, 127.5f * std::sqrt(2.0f), 1e-3);
}

TEST_F(Builder, CommandsBuildStripsWithMarkersAndColoursInThePalette) {
  BuildQuad(0, 1, 1, 0x0000FF);
  const MeshObjectX& m = lumbo3D.meshes[0];
  ASSERT_EQ(m.frames[0].nodes.count, 5);
  ASSERT_EQ(m.palette.count, 2);
  EXPECT_EQ(m.palette[0], 0xFFFFFFFEu);
  EXPECT_EQ(m.frames[0].triangles.count, 6);
  EXPECT_EQ(m.colouringNeeded, 1);
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].rgb[0], 1.0f);
  // A trailing new group adds a marker node and no triangle; white only needs no colouring.
  X_OBJSTART(1);
  for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0xFFFFFF);
  X_OBJNEWGROUP();
  X_OBJEND();
  const MeshObjectX& t = lumbo3D.meshes[1];
  ASSERT_EQ(t.frames[0].nodes.count, 6);
  EXPECT_EQ(t.palette[t.frames[0].nodes[5].colourIndex], 0xFFFFFFFEu);
  EXPECT_EQ(t.frames[0].triangles.count, 6);
  EXPECT_EQ(t.colouringNeeded, 0);
  // No-colour values are drawn white; -4 is the colour 0xFFFFFFFC.
  X_OBJSTART(2);
  X_OBJADDVERTEX(0, 0, 0, 0, 0, -4);
  X_OBJADDVERTEX(1, 0, 0, 0, 0, 4294967292.0);
  X_OBJADDVERTEX(0, 1, 0, 0, 0, 0x00FF00);
  X_OBJEND();
  EXPECT_EQ(lumbo3D.meshes[2].frames[0].triangles[0].colour, 0xFFFFFFFCu);
  EXPECT_FLOAT_EQ(lumbo3D.meshes[2].frames[0].triangles[0].rgb[1], 1.0f);
  EXPECT_EQ(lumbo3D.meshes[2].palette.count, 3);
  // The palette reuses colours and its index wraps after 256 entries.
  lumbo3D.UserObjectStart(0, 0);
  for (std::uint32_t c = 0; c < 258; ++c) lumbo3D.UserObjectAddVertex(c % 3, c % 5, c % 7, 0, 0, 0x10000 + c);
  lumbo3D.UserObjectAddVertex(0, 0, 0, 0, 0, 0x10000 + 5);
  lumbo3D.UserObjectEnd();
  ASSERT_EQ(m.palette.count, 259);  // the list marker and 258 colours
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  EXPECT_EQ(n[6].colourIndex, 6);
  EXPECT_EQ(n[259].colourIndex, 6);
  EXPECT_EQ(m.palette[256], 0x10000u + 255);
  EXPECT_EQ(n[256].colourIndex, 0);
  EXPECT_EQ(n[257].colourIndex, 1);
}

TEST_F(Builder, TooFewVerticesAndObjectsOutsideTheTableLeaveNothing) {
  Build(0, 1, kFive);
  X_OBJSTART(0);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJEND();
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 0);
  EXPECT_EQ(lumbo3D.userObject, -1);
  X_OBJSTART(4096);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJNEWGROUP();
  X_OBJEND();
  EXPECT_EQ(lumbo3D.userObject, -1);
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 0);
  // Marker plus two vertices is enough to compress, but forms no triangle.
  const MeshObjectX& m = Build(1, 1, {{0, 0, 0}, {1, 0, 0}});
  ASSERT_EQ(m.frames.count, 1);
  EXPECT_EQ(m.frames[0].nodes.count, 3);
  EXPECT_EQ(m.frames[0].triangles.count, 0);
  EXPECT_EQ(m.frames[0].radius, 0);
}

TEST_F(Builder, EncoderQuantisesPerAxisAndPicksTheNearestNormal) {
  MeshObject m;
  m.frames.Append(POLY_FRAME());
  const struct {
    Vec position, normal;
    std::uint32_t colour;
  } vertices[] = {{{-100, 3, 7.5f}, {0, gAvertexnormals[8][1], gAvertexnormals[8][2]}, 1},
                  {{155, 3, 7.5f}, {gAvertexnormals[37][0], gAvertexnormals[37][1], gAvertexnormals[37][2]}, 1},
                  {{27.9f, 3, 7.5f}, {gAvertexnormals[161][0], gAvertexnormals[161][1], gAvertexnormals[161][2]}, 1},
                  {{1000, -1000, 1000}, {0, 0, 7}, kGroupStrip}};
  for (const auto& v : vertices) {
    POLY_NODE n{};
    std::copy(v.position.begin(), v.position.end(), n.position);
    std::copy(v.normal.begin(), v.normal.end(), n.normal);
    n.colour = v.colour;
    m.frames[0].source.Append(n);
  }
  m.Compress();
  const POLY_FRAME& f = m.frames[0];
  EXPECT_FLOAT_EQ(f.offset[0], 100.0f);
  EXPECT_FLOAT_EQ(f.scale[1], 1.0f);  // flat axis
  EXPECT_FLOAT_EQ(f.offset[1], -3.0f);
  ASSERT_EQ(f.nodes.count, 4);
  // The axis minimum, the maximum, 127.9 truncated, and a marker past the range (markers do
  // not widen it) clamped.
  const int want[4][3] = {{0, 0, 8}, {255, 0, 37}, {127, 0, 161}, {255, 0, -1}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(f.nodes[k].q[0], want[k][0]) << k;
    EXPECT_EQ(f.nodes[k].q[1], want[k][1]) << k;
    // Entries 7 and 8 are mirrored in x; the direction between them (x = 0) is equally near
    // both: the later entry wins.
    if (want[k][2] >= 0) {
      EXPECT_EQ(f.nodes[k].normalIndex, want[k][2]) << k;
    }
  }
  ASSERT_EQ(gAvertexnormals[7][0], -gAvertexnormals[8][0]);
  // Normals are normalised first.
  POLY_NODE v{};
  v.normal[2] = 7;
  m.frames[0].source.Empty();
  m.frames[0].source.Append(v);
  m.Compress();
  EXPECT_EQ(m.frames[0].nodes[0].normalIndex, 5);
}

TEST_F(Builder, NormalsPerVertexAndPerPosition) {
  X_AUTONORMALS(1);
  // Strip (v0 v1 v2) (v2 v1 v3); face normal (c - b) x (b - a).
  const MeshObjectX& m = Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}});
  EXPECT_EQ(m.normalsValid, 1);
  const Vec n1 = {0, 0, -1}, n2 = Unit({1, 1, -1}), sum = Unit({n1[0] + n2[0], n1[1] + n2[1], n1[2] + n2[2]});
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  EXPECT_EQ(n[1].normalIndex, n[3].normalIndex);
  EXPECT_EQ(n[2].normalIndex, n[3].normalIndex);
  const float *first = gAvertexnormals[n[3].normalIndex], *last = gAvertexnormals[n[4].normalIndex];
  EXPECT_GT(Dot(first, sum), Dot(first, n2));
  EXPECT_GT(Dot(first, sum), 0.97f);
  EXPECT_GT(Dot(last, n2), Dot(last, sum));
  EXPECT_GT(Dot(last, n2), 0.97f);
  EXPECT_EQ(m.frames[0].triangles[0].normal[2], first[2]);
  EXPECT_EQ(m.frames[0].triangles[5].normal[0], last[0]);

  // Strip A is flat; strip B is bent and shares A's last position as its third vertex: per
  // position (mode 2) they share one normal, per vertex (mode 1) they do not.
  for (int mode : {1, 2}) {
    X_AUTONORMALS(mode);
    const MeshObjectX& s = Build(0, 1, {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 100, 0}, {-2, 0, 0},
                                        {100, 0, 0}, {200, 0, 0}, {100, 100, 0}, {200, 100, 200}});
    EXPECT_EQ(s.frames[0].nodes[4].normalIndex == s.frames[0].nodes[8].normalIndex, mode == 2);
  }
}

TEST_F(Builder, AutoNormalModesAndTangents) {
  X_AUTONORMALS(5);
  EXPECT_EQ(lumbo3D.autoNormalMode, 2);
  X_AUTONORMALS(-1);
  EXPECT_EQ(Build(1, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}}).normalsValid, 0);
  X_AUTONORMALS(3.9);
  EXPECT_EQ(lumbo3D.autoNormalMode, 0);
  // Mode 0: vertices keep the zero normal; the renderer may generate them later, once.
  const float zero[3] = {0, 0, 0};
  const std::uint8_t none = NearestVertexNormal(zero);
  MeshObjectX& m = Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
  EXPECT_EQ(m.normalsValid, 0);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, none);
  m.AutoNormalsAfterCompression(true, false, false);
  EXPECT_EQ(m.normalsValid, 1);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, 84);  // (0, 0, -1)
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].normal[2], -1.0f);
  m.frames[0].nodes[1].normalIndex = 7;
  m.AutoNormalsAfterCompression(true, true, false);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, 7);

  // Tangents of a triangle list: one mapped triangle, then one whose texture extent is too
  // small to give a direction (|det| = 1e-6).
  const float uv[6][2] = {{0, 0}, {1, 0}, {0, 1}, {0.5f, 0.5f}, {0.501f, 0.5f}, {0.5f, 0.501f}};
  lumbo3D.UserObjectStart(0, 0);
  for (int i = 0; i < 6; ++i) lumbo3D.UserObjectAddVertex(i % 3 == 1 ? 255 : 0, i % 3 == 2 ? 255 : 0, i / 3 * 255, uv[i][0], uv[i][1], 0);
  lumbo3D.UserObjectEnd();
  m.AutoNormalsAfterCompression(true, false, true);
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  ASSERT_NE(none, 52);
  for (int k = 1; k <= 6; ++k) {  // v is negated on expansion, so the binormal points down y
    EXPECT_EQ(n[k].tangentIndex, k <= 3 ? 52 : none) << k;     // (1, 0, 0)
    EXPECT_EQ(n[k].binormalIndex, k <= 3 ? 104 : none) << k;  // (0, -1, 0)
  }
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].tangent[0], 1.0f);
  EXPECT_FLOAT_EQ(m.frames[0].triangles[1].binormal[1], -1.0f);
  // Tangents are made once.
  m.frames[0].nodes[2].tangentIndex = 9;
  m.AutoNormalsAfterCompression(false, false, true);
  EXPECT_EQ(m.frames[0].nodes[2].tangentIndex, 9);
}

}  // namespace
}  // namespace scene_test
