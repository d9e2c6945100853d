// The object builder, the encoder, triangle building and normals generation.
#include <array>
#include <tuple>

#include "SceneSupport.h"

namespace scene_test {
namespace {

using Vec = std::array<float, 3>;

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
  const struct { int kind; std::vector<Vec> vertices; std::vector<int> corners; } cases[] = {
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
}

TEST_F(Builder, CommandsBuildStripsWithMarkersAndColoursInThePalette) {
  // Coloured, with a trailing new group: a marker node and no triangle more.
  X_OBJSTART(1);
  for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2, i / 2, 0, 0, 0, 0x0000FF);
  X_OBJNEWGROUP();
  X_OBJEND();
  const MeshObjectX& t = lumbo3D.meshes[1];
  ASSERT_EQ(t.frames[0].nodes.count, 6);
  EXPECT_EQ(std::tuple(t.palette[t.frames[0].nodes[5].colourIndex], t.frames[0].triangles.count, t.colouringNeeded,
                       t.frames[0].triangles[0].rgb[0]), std::tuple(0xFFFFFFFEu, 6, 1, 1.0f));
  BuildQuad(1, 1, 1, 0xFFFFFF);
  EXPECT_EQ(t.colouringNeeded, 0);  // white only
  // No-colour values are drawn white; -4 is the colour 0xFFFFFFFC.
  X_OBJSTART(2);
  X_OBJADDVERTEX(0, 0, 0, 0, 0, -4);
  X_OBJADDVERTEX(1, 0, 0, 0, 0, 4294967292.0);
  X_OBJADDVERTEX(0, 1, 0, 0, 0, 0x00FF00);
  X_OBJEND();
  const POLY_NODE& white = lumbo3D.meshes[2].frames[0].triangles[0];
  EXPECT_EQ(std::tuple(white.colour, white.rgb[1], lumbo3D.meshes[2].palette.count), std::tuple(0xFFFFFFFCu, 1.0f, 3));
  // The palette reuses colours and its index wraps after 256 entries.
  lumbo3D.UserObjectStart(0, 0);
  for (std::uint32_t c = 0; c < 258; ++c) lumbo3D.UserObjectAddVertex(c % 3, c % 5, c % 7, 0, 0, 0x10000 + c);
  lumbo3D.UserObjectAddVertex(0, 0, 0, 0, 0, 0x10000 + 5);
  lumbo3D.UserObjectEnd();
  const MeshObjectX& m = lumbo3D.meshes[0];
  ASSERT_EQ(m.palette.count, 259);  // the list marker and 258 colours
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  EXPECT_EQ(m.palette[256], 0x10000u + 255);
  EXPECT_EQ(std::tuple(n[6].colourIndex, n[259].colourIndex, n[256].colourIndex, n[257].colourIndex), std::tuple(6, 6, 0, 1));
  // Too few vertices, or an object outside the table, leave nothing.
  Build(0, 1, kFive);
  X_OBJSTART(0);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJEND();
  X_OBJSTART(4096);
  X_OBJADDVERTEX(1, 2, 3, 0, 0, 0);
  X_OBJNEWGROUP();
  X_OBJEND();
  EXPECT_EQ(std::tuple(lumbo3D.userObject, lumbo3D.meshes[0].frames.count), std::tuple(-1, 0));
  // Marker plus two vertices is enough to compress, but forms no triangle.
  const POLY_FRAME& f = Build(1, 1, {{0, 0, 0}, {1, 0, 0}}).frames[0];
  EXPECT_EQ(std::tuple(f.nodes.count, f.triangles.count, f.radius), std::tuple(3, 0, 0.0f));
}

TEST_F(Builder, EncoderQuantisesPerAxisAndPicksTheNearestNormal) {
  // x spans -100..155 (scale 1), y is flat; 127.9 truncates; a marker past the range is clamped
  // and does not widen it. Entries 7 and 8 are mirrored in x: the direction between them
  // (x = 0) is equally near both and the later entry wins; normals are normalised first.
  const float* e8 = gAvertexnormals[8];
  const struct { Vec position, normal; std::uint32_t colour; int q0, normalIndex; } vertices[] = {
      {{-100, 3, 7.5f}, {0, e8[1], e8[2]}, 1, 0, 8},
      {{155, 3, 7.5f}, {gAvertexnormals[37][0], gAvertexnormals[37][1], gAvertexnormals[37][2]}, 1, 255, 37},
      {{27.9f, 3, 7.5f}, {0, 0, 7}, 1, 127, 5},
      {{1000, -1000, 1000}, {0, 0, 1}, kGroupStrip, 255, 5}};
  ASSERT_EQ(gAvertexnormals[7][0], -e8[0]);
  MeshObject m;
  m.frames.Append(POLY_FRAME());
  for (const auto& v : vertices) {
    POLY_NODE n{};
    std::copy(v.position.begin(), v.position.end(), n.position);
    std::copy(v.normal.begin(), v.normal.end(), n.normal);
    n.colour = v.colour;
    m.frames[0].source.Append(n);
  }
  m.Compress();
  const POLY_FRAME& f = m.frames[0];
  EXPECT_EQ(std::tuple(f.offset[0], f.offset[1], f.scale[1]), std::tuple(100.0f, -3.0f, 1.0f));
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(std::tuple(f.nodes[k].q[0], f.nodes[k].q[1], f.nodes[k].normalIndex),
              std::tuple(vertices[k].q0, 0, vertices[k].normalIndex)) << k;
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
  EXPECT_EQ(std::tuple(m.normalsValid, m.frames[0].nodes[1].normalIndex), std::tuple(0, none));
  m.AutoNormalsAfterCompression(true, false, false);
  EXPECT_EQ(std::tuple(m.normalsValid, m.frames[0].nodes[1].normalIndex, m.frames[0].triangles[0].normal[2]),
            std::tuple(1, 84, -1.0f));  // entry 84 is (0, 0, -1)
  m.frames[0].nodes[1].normalIndex = 7;
  m.AutoNormalsAfterCompression(true, true, false);
  EXPECT_EQ(m.frames[0].nodes[1].normalIndex, 7);

  // Tangents of a triangle list: one mapped triangle, then one whose texture extent is too
  // small to give a direction (|det| = 1e-6).
  const float uv[6][2] = {{0, 0}, {1, 0}, {0, 1}, {0.5f, 0.5f}, {0.501f, 0.5f}, {0.5f, 0.501f}};
  lumbo3D.UserObjectStart(0, 0);
  for (int i = 0; i < 6; ++i)
    lumbo3D.UserObjectAddVertex(i % 3 == 1 ? 255 : 0, i % 3 == 2 ? 255 : 0, i / 3 * 255, uv[i][0], uv[i][1], 0);
  lumbo3D.UserObjectEnd();
  m.AutoNormalsAfterCompression(true, false, true);
  const Queue<POLY_PACKED>& n = m.frames[0].nodes;
  ASSERT_NE(none, 52);
  for (int k = 1; k <= 6; ++k) {  // v is negated on expansion, so the binormal points down y
    EXPECT_EQ(n[k].tangentIndex, k <= 3 ? 52 : none) << k;     // (1, 0, 0)
    EXPECT_EQ(n[k].binormalIndex, k <= 3 ? 104 : none) << k;  // (0, -1, 0)
  }
  EXPECT_EQ(std::tuple(m.frames[0].triangles[0].tangent[0], m.frames[0].triangles[1].binormal[1]), std::tuple(1.0f, -1.0f));
  // Tangents are made once.
  m.frames[0].nodes[2].tangentIndex = 9;
  m.AutoNormalsAfterCompression(false, false, true);
  EXPECT_EQ(m.frames[0].nodes[2].tangentIndex, 9);
}

}  // namespace
}  // namespace scene_test
