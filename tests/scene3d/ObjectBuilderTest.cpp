// The object builder, the encoder, triangle building and normals generation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include <tavelor/scene3d.h>

#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;

namespace {

using Vec = std::array<float, 3>;

Vec Unit(Vec v) {
  float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / l, v[1] / l, v[2] / l};
}

float Dot(const float* a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec Pos(const POLY_NODE& n) { return {n.position[0], n.position[1], n.position[2]}; }

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
  // Builds slot n from the vertices with the engine call so the group kind can be chosen.
  static const MeshObjectX& Build(int n, int kind, const std::vector<Vec>& vertices) {
    lumbo3D.UserObjectStart(n, kind);
    for (const Vec& v : vertices) lumbo3D.UserObjectAddVertex(v[0], v[1], v[2], 0, 0, 0x808080);
    lumbo3D.UserObjectEnd();
    return lumbo3D.meshes[n];
  }
};

// Positions on a 0..255 grid quantise exactly (scale 1 on every axis).
const std::vector<Vec> kFive = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}, {0, 0, 255}};

TEST_F(Builder, StripsFansAndListsFormTheirTriangles) {
  auto expectTriangles = [](const MeshObjectX& m, const std::vector<std::array<int, 3>>& want) {
    ASSERT_EQ(m.frames.count, 1);
    const Queue<POLY_NODE>& t = m.frames[0].triangles;
    ASSERT_EQ(t.count, static_cast<int>(3 * want.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
      for (int j = 0; j < 3; ++j) EXPECT_EQ(Pos(t[3 * i + j]), kFive[want[i][j]]) << "triangle " << i << " corner " << j;
    }
  };
  {
    SCOPED_TRACE("strip");
    expectTriangles(Build(0, 1, kFive), {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}});
  }
  {
    SCOPED_TRACE("fan");
    expectTriangles(Build(1, 2, kFive), {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}});
  }
  {
    SCOPED_TRACE("list: leftover vertices make no triangle");
    std::vector<Vec> seven = kFive;
    seven.push_back(kFive[1]);
    seven.push_back(kFive[2]);
    expectTriangles(Build(2, 0, seven), {{0, 1, 2}, {3, 4, 1}});
  }
  {
    SCOPED_TRACE("a new group restarts the window");
    lumbo3D.UserObjectStart(3, 1);
    for (int i = 0; i < 4; ++i) lumbo3D.UserObjectAddVertex(kFive[i][0], kFive[i][1], kFive[i][2], 0, 0, 0);
    lumbo3D.UserObjectNewGroup(2);
    for (int i : {4, 0, 1, 2}) lumbo3D.UserObjectAddVertex(kFive[i][0], kFive[i][1], kFive[i][2], 0, 0, 0);
    lumbo3D.UserObjectEnd();
    expectTriangles(lumbo3D.meshes[3], {{0, 1, 2}, {2, 1, 3}, {4, 0, 1}, {4, 1, 2}});
  }
  // The scratch list is a copy of frame 0's triangles.
  EXPECT_EQ(lumbo3D.meshes[3].scratch.count, lumbo3D.meshes[3].frames[0].triangles.count);
}

// Builds slot n with the commands from the corners of a unit square in one colour,
// optionally with a trailing new group.
void BuildSquare(int n, double colour, bool trailingGroup) {
  X_OBJSTART(n);
  for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, i % 2, i / 2, colour);
  if (trailingGroup) X_OBJNEWGROUP();
  X_OBJEND();
}

TEST_F(Builder, CommandsBuildStripsWithMarkersInThePalette) {
  BuildSquare(0, 0x0000FF, false);
  const MeshObjectX& m = lumbo3D.meshes[0];
  ASSERT_EQ(m.frames.count, 1);
  ASSERT_EQ(m.frames[0].nodes.count, 5);
  ASSERT_EQ(m.palette.count, 2);
  EXPECT_EQ(m.palette[0], 0xFFFFFFFEu);
  EXPECT_EQ(m.frames[0].triangles.count, 6);
  EXPECT_EQ(m.colouringNeeded, 1);
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].rgb[0], 1.0f);

  // A trailing new group adds a marker node and no triangle.
  BuildSquare(1, 0xFFFFFF, true);
  const MeshObjectX& t = lumbo3D.meshes[1];
  ASSERT_EQ(t.frames[0].nodes.count, 6);
  EXPECT_EQ(t.palette[t.frames[0].nodes[5].colourIndex], 0xFFFFFFFEu);
  EXPECT_EQ(t.frames[0].triangles.count, 6);
  EXPECT_EQ(t.colouringNeeded, 0);  // white only

  // No-colour values are drawn white; -4 is the colour 0xFFFFFFFC.
  X_OBJSTART(2);
  X_OBJADDVERTEX(0, 0, 0, 0, 0, -4);
  X_OBJADDVERTEX(1, 0, 0, 0, 0, 4294967292.0);
  X_OBJADDVERTEX(0, 1, 0, 0, 0, 0x00FF00);
  X_OBJEND();
  const POLY_NODE& white = lumbo3D.meshes[2].frames[0].triangles[0];
  EXPECT_EQ(white.colour, 0xFFFFFFFCu);
  EXPECT_FLOAT_EQ(white.rgb[1], 1.0f);
  EXPECT_EQ(lumbo3D.meshes[2].palette.count, 3);
}

TEST_F(Builder, ClosingWithFewerThanThreeVerticesLeavesTheSlotEmpty) {
  Build(0, 1, kFive);
  X_OBJSTART(0);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJEND();
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 0);
  EXPECT_EQ(lumbo3D.userObject, -1);

  // With no object open, or one outside the table, builder calls change nothing.
  X_OBJSTART(4096);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJNEWGROUP();
  X_OBJEND();
  EXPECT_EQ(lumbo3D.userObject, -1);
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 0);

  // Marker plus two vertices is enough to compress, but forms no triangle.
  X_OBJSTART(1);
  X_OBJADDVERTEX(0, 0, 0, 0, 0, 0);
  X_OBJADDVERTEX(1, 0, 0, 0, 0, 0);
  X_OBJEND();
  ASSERT_EQ(lumbo3D.meshes[1].frames.count, 1);
  EXPECT_EQ(lumbo3D.meshes[1].frames[0].nodes.count, 3);
  EXPECT_EQ(lumbo3D.meshes[1].frames[0].triangles.count, 0);
  EXPECT_EQ(lumbo3D.meshes[1].frames[0].radius, 0);
}

TEST_F(Builder, BoundingSphereCountsEachTriangleCorner) {
  const MeshObjectX& m = Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}});
  // Corners (v0 v1 v2) (v2 v1 v3): the mean of six positions.
  EXPECT_FLOAT_EQ(m.frames[0].centre[0], 127.5f);
  EXPECT_FLOAT_EQ(m.frames[0].centre[1], 127.5f);
  EXPECT_FLOAT_EQ(m.frames[0].centre[2], 0);
  EXPECT_NEAR(m.frames[0].radius, 127.5f * std::sqrt(2.0f), 1e-3);
}

TEST_F(Builder, EncoderQuantisesPerAxis) {
  MeshObject m;
  m.frames.Append(POLY_FRAME());
  auto add = [&](float x, float y, float z, std::uint32_t colour) {
    POLY_NODE v{};
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    v.colour = colour;
    m.frames[0].source.Append(v);
  };
  add(-100, 3, 7.5f, 1);
  add(155, 3, 7.5f, 1);
  add(27.9f, 3, 7.5f, 1);
  add(1000, -1000, 1000, kGroupStrip);  // markers do not widen the range
  m.Compress();
  const POLY_FRAME& f = m.frames[0];
  EXPECT_FLOAT_EQ(f.offset[0], 100.0f);
  EXPECT_FLOAT_EQ(f.scale[1], 1.0f);  // flat axis
  EXPECT_FLOAT_EQ(f.offset[1], -3.0f);
  ASSERT_EQ(f.nodes.count, 4);
  EXPECT_EQ(f.nodes[0].q[0], 0);    // the axis minimum
  EXPECT_EQ(f.nodes[1].q[0], 255);  // the maximum
  EXPECT_EQ(f.nodes[2].q[0], 127);  // 127.9 truncated, not rounded
  EXPECT_EQ(f.nodes[0].q[1], 0);
  EXPECT_EQ(f.nodes[3].q[0], 255);  // past the range: clamped
  EXPECT_EQ(f.nodes[3].q[1], 0);
}

TEST_F(Builder, PaletteReusesColoursAndWrapsAfter256) {
  lumbo3D.UserObjectStart(0, 0);
  for (std::uint32_t c = 0; c < 258; ++c) lumbo3D.UserObjectAddVertex(c % 3, c % 5, c % 7, 0, 0, 0x10000 + c);
  lumbo3D.UserObjectAddVertex(0, 0, 0, 0, 0, 0x10000 + 5);  // seen before
  lumbo3D.UserObjectEnd();
  const MeshObjectX& m = lumbo3D.meshes[0];
  ASSERT_EQ(m.palette.count, 259);  // the list marker and 258 colours
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  EXPECT_EQ(n[6].colourIndex, 6);
  EXPECT_EQ(n[259].colourIndex, 6);
  EXPECT_EQ(m.palette[256], 0x10000u + 255);
  EXPECT_EQ(n[256].colourIndex, 0);  // the 257th palette entry wraps to index 0
  EXPECT_EQ(n[257].colourIndex, 1);
}

TEST_F(Builder, EncoderPicksTheNearestTableNormal) {
  auto encode = [](Vec normal) {
    MeshObject m;
    m.frames.Append(POLY_FRAME());
    POLY_NODE v{};
    for (int i = 0; i < 3; ++i) v.normal[i] = normal[i];
    m.frames[0].source.Append(v);
    m.Compress();
    return m.frames[0].nodes[0].normalIndex;
  };
  EXPECT_EQ(encode({0, 0, 7}), 5);  // normalised first
  for (int i : {0, 37, 100, 161}) {
    EXPECT_EQ(encode({gAvertexnormals[i][0], gAvertexnormals[i][1], gAvertexnormals[i][2]}), i);
  }
  // Entries 7 and 8 are mirrored in x; the direction between them (x = 0) is equally near
  // both and nearer than any other entry: the later entry wins.
  const float* p = gAvertexnormals[8];
  ASSERT_EQ(gAvertexnormals[7][0], -p[0]);
  ASSERT_EQ(gAvertexnormals[7][1], p[1]);
  ASSERT_EQ(gAvertexnormals[7][2], p[2]);
  EXPECT_EQ(encode(Unit({0, p[1], p[2]})), 8);
}

TEST_F(Builder, NormalsPerVertexSumTheTrianglesOfTheThirdVertex) {
  X_AUTONORMALS(1);
  // Strip (v0 v1 v2) (v2 v1 v3); face normal (c - b) x (b - a).
  const MeshObjectX& m = Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}});
  EXPECT_EQ(m.normalsValid, 1);
  Vec n1 = {0, 0, -1};
  Vec n2 = Unit({1, 1, -1});
  Vec sum = Unit({n1[0] + n2[0], n1[1] + n2[1], n1[2] + n2[2]});
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  EXPECT_EQ(n[1].normalIndex, n[3].normalIndex);
  EXPECT_EQ(n[2].normalIndex, n[3].normalIndex);
  const float* first = gAvertexnormals[n[3].normalIndex];
  const float* last = gAvertexnormals[n[4].normalIndex];
  EXPECT_GT(Dot(first, sum), Dot(first, n2));
  EXPECT_GT(Dot(first, sum), 0.97f);
  EXPECT_GT(Dot(last, n2), Dot(last, sum));
  EXPECT_GT(Dot(last, n2), 0.97f);
  // The triangle lists carry the new normals.
  EXPECT_EQ(m.frames[0].triangles[0].normal[2], first[2]);
  EXPECT_EQ(m.frames[0].triangles[5].normal[0], last[0]);
}

TEST_F(Builder, NormalsPerPositionAreSharedByCoincidentVertices) {
  // Strip A is flat; strip B is bent and shares A's last position as its third vertex.
  std::vector<Vec> a = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 100, 0}};
  std::vector<Vec> b = {{100, 0, 0}, {200, 0, 0}, {100, 100, 0}, {200, 100, 200}};
  auto build = [&](int mode) {
    X_AUTONORMALS(mode);
    lumbo3D.UserObjectStart(0, 1);
    for (const Vec& v : a) lumbo3D.UserObjectAddVertex(v[0], v[1], v[2], 0, 0, 0);
    lumbo3D.UserObjectNewGroup(1);
    for (const Vec& v : b) lumbo3D.UserObjectAddVertex(v[0], v[1], v[2], 0, 0, 0);
    lumbo3D.UserObjectEnd();
    const Queue<POLY_PACKED>& n = lumbo3D.meshes[0].frames[0].nodes;
    return std::make_pair(n[4].normalIndex, n[8].normalIndex);  // A's v3, B's v2
  };
  auto [a1, b1] = build(1);
  EXPECT_NE(a1, b1);
  auto [a2, b2] = build(2);
  EXPECT_EQ(a2, b2);
}

TEST_F(Builder, AutoNormalModes) {
  X_AUTONORMALS(5);
  EXPECT_EQ(lumbo3D.autoNormalMode, 2);
  X_AUTONORMALS(3.9);
  EXPECT_EQ(lumbo3D.autoNormalMode, 0);

  // Mode 0: vertices keep the zero normal; the renderer may generate them later.
  MeshObjectX& m = lumbo3D.meshes[0];
  Build(0, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
  const float zero[3] = {0, 0, 0};
  EXPECT_EQ(m.normalsValid, 0);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, NearestVertexNormal(zero));
  m.AutoNormalsAfterCompression(true, false, false);
  EXPECT_EQ(m.normalsValid, 1);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, 84);  // (0, 0, -1)
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].normal[2], -1.0f);
  // Valid normals are not computed again.
  m.frames[0].nodes[1].normalIndex = 7;
  m.AutoNormalsAfterCompression(true, true, false);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, 7);

  X_AUTONORMALS(-1);
  Build(1, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
  EXPECT_EQ(lumbo3D.meshes[1].normalsValid, 0);
}

TEST_F(Builder, TangentsFollowTextureAxesAndSkipDegenerateTriangles) {
  // Triangle list: one mapped triangle, then one whose texture extent is too small to give
  // a direction (|det| = 1e-6).
  lumbo3D.UserObjectStart(0, 0);
  lumbo3D.UserObjectAddVertex(0, 0, 0, 0, 0, 0);
  lumbo3D.UserObjectAddVertex(255, 0, 0, 1, 0, 0);
  lumbo3D.UserObjectAddVertex(0, 255, 0, 0, 1, 0);
  lumbo3D.UserObjectAddVertex(0, 0, 255, 0.5, 0.5, 0);
  lumbo3D.UserObjectAddVertex(255, 0, 255, 0.501, 0.5, 0);
  lumbo3D.UserObjectAddVertex(0, 255, 255, 0.5, 0.501, 0);
  lumbo3D.UserObjectEnd();
  MeshObjectX& m = lumbo3D.meshes[0];
  m.AutoNormalsAfterCompression(true, false, true);
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  // v is negated on expansion, so the binormal points down the y axis.
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(n[k].tangentIndex, 52) << k;    // (1, 0, 0)
    EXPECT_EQ(n[k].binormalIndex, 104) << k;  // (0, -1, 0)
  }
  const float zero[3] = {0, 0, 0};
  std::uint8_t none = NearestVertexNormal(zero);
  ASSERT_NE(none, 52);
  for (int k = 4; k <= 6; ++k) {
    EXPECT_EQ(n[k].tangentIndex, none) << k;
    EXPECT_EQ(n[k].binormalIndex, none) << k;
  }
  EXPECT_FLOAT_EQ(m.frames[0].triangles[0].tangent[0], 1.0f);
  EXPECT_FLOAT_EQ(m.frames[0].triangles[1].binormal[1], -1.0f);
  // Tangents are made once: the marker in front now carries a non-zero index.
  m.frames[0].nodes[2].tangentIndex = 9;
  m.AutoNormalsAfterCompression(false, false, true);
  EXPECT_EQ(m.frames[0].nodes[2].tangentIndex, 9);
}

}  // namespace
