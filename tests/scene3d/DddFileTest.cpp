// The .ddd reader and writer: byte layout, round trips, rejection of bad files, the commands.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <tavelor/scene3d.h>

#include "MeshTestUtil.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;
using meshtest::Bytes;

namespace {

// Two frames of one strip (marker, three vertices), palette {strip marker, red, green}.
Bytes TwoFrameFile() {
  Bytes b;
  b.header(2, 3, 4);
  b.u32(0xFFFFFFFEu).u32(0x000000FFu).u32(0x0000FF00u);
  b.f32(0).f32(0).f32(0.25f).f32(0.5f).f32(1).f32(0.75f).f32(0.5f).f32(1);
  b.frame(4, 0, 0, 0, 1, 1, 1);
  b.node(0, 0, 0, 0, 0).node(0, 0, 0, 5, 1).node(255, 0, 0, 52, 2).node(0, 255, 0, 32, 1);
  b.frame(4, 10, 20, 30, 0.5f, 2, 4);
  b.node(0, 0, 0, 0, 0).node(10, 20, 30, 84, 1).node(12, 22, 32, 84, 2).node(14, 24, 34, 84, 2);
  return b;
}

class DddFile : public ::testing::Test {
 protected:
  void SetUp() override {
    meshtest::ResetErrorLog();
    for (int n : {0, 1, 2, 3}) lumbo3D.meshes[n].Clear(true);
  }
};

TEST_F(DddFile, HandWrittenFileLoadsAndExpands) {
  std::string path = meshtest::TempPath("two_frames.ddd");
  meshtest::WriteFile(path, TwoFrameFile().b);
  X_LOADOBJ(path.c_str(), 1.9);  // truncated to slot 1
  MeshObjectX& m = lumbo3D.meshes[1];
  ASSERT_EQ(m.frames.count, 2);
  EXPECT_EQ(m.normalsValid, 1);
  const POLY_FRAME& f1 = m.frames[1];
  ASSERT_EQ(f1.nodes.count, 4);
  EXPECT_EQ(f1.nodes[3].q[2], 34);
  EXPECT_EQ(f1.nodes[3].normalIndex, 84);
  EXPECT_EQ(f1.nodes[3].colourIndex, 2);

  // One triangle per frame from the three vertices after the marker.
  ASSERT_EQ(m.frames[0].triangles.count, 3);
  ASSERT_EQ(f1.triangles.count, 3);
  const POLY_NODE& a = m.frames[0].triangles[1];
  EXPECT_FLOAT_EQ(a.position[0], 255);
  EXPECT_FLOAT_EQ(a.normal[0], 1.0f);  // table entry 52
  EXPECT_EQ(a.colour, 0x0000FF00u);
  EXPECT_FLOAT_EQ(a.rgb[1], 1.0f);
  EXPECT_FLOAT_EQ(a.u, 1.0f);
  EXPECT_FLOAT_EQ(a.v, -0.75f);  // stored v negated
  // Positions are (q - offset) * scale per axis.
  EXPECT_FLOAT_EQ(f1.triangles[0].position[1], (20 - 20) * 2.0f);
  EXPECT_FLOAT_EQ(f1.triangles[2].position[2], (34 - 30) * 4.0f);
  EXPECT_FLOAT_EQ(f1.triangles[0].normal[2], -1.0f);  // entry 84

  // The scratch list starts as frame 0's triangles; the sphere covers frame 0's vertices.
  ASSERT_EQ(m.scratch.count, 3);
  EXPECT_FLOAT_EQ(m.scratch[2].position[1], 255);
  EXPECT_NEAR(m.frames[0].radius, std::sqrt(170.0f * 170 + 85 * 85), 1e-3);
  EXPECT_EQ(meshtest::ErrorLogText(), "");

  // Saving what was loaded gives the same bytes back.
  std::string again = meshtest::TempPath("two_frames_again.ddd");
  X_SAVEOBJ(again.c_str(), 1);
  EXPECT_EQ(meshtest::ReadFile(again), TwoFrameFile().b);
}

TEST_F(DddFile, SaveWritesTheDocumentedBytes) {
  X_OBJSTART(2);
  X_OBJADDVERTEX(0, 0, 5, 0.5, 0.25, 0x112233);
  X_OBJADDVERTEX(255, 0, 5, 1, 0, 0x112233);
  X_OBJADDVERTEX(0, 510, 5, 0, 1, 0x445566);
  X_OBJEND();
  std::string path = meshtest::TempPath("built.ddd");
  X_SAVEOBJ(path.c_str(), 2);

  const POLY_FRAME& f = lumbo3D.meshes[2].frames[0];
  Bytes want;
  want.header(1, 3, 4);
  want.u32(0xFFFFFFFEu).u32(0x112233).u32(0x445566);
  want.f32(0).f32(0).f32(0.5f).f32(0.25f).f32(1).f32(0).f32(0).f32(1);
  // x: 0..255 gives scale 1; y: 0..510 gives scale 2; z is flat: scale 1, offset -5.
  want.frame(4, -0.0f, -0.0f, -5, 1, 2, 1);  // offset = -min / scale
  want.node(0, 0, 0, f.nodes[0].normalIndex, 0);
  for (int k = 1; k < 4; ++k) {
    const POLY_PACKED& p = f.nodes[k];
    want.node(p.q[0], p.q[1], p.q[2], p.normalIndex, p.colourIndex);
  }
  EXPECT_EQ(meshtest::ReadFile(path), want.b);
  // The axis minimum gives 0, the maximum 255, a flat axis 0.
  EXPECT_EQ(f.nodes[1].q[0], 0);
  EXPECT_EQ(f.nodes[2].q[0], 255);
  EXPECT_EQ(f.nodes[3].q[1], 255);
  EXPECT_EQ(f.nodes[3].q[2], 0);
  EXPECT_EQ(f.nodes[3].colourIndex, 2);
}

TEST_F(DddFile, BuiltObjectSurvivesSaveAndLoad) {
  X_OBJSTART(0);
  for (int i = 0; i < 6; ++i) {
    X_OBJADDVERTEX(i * 1.5, (i % 2) * 3.25, -i * 0.75, i * 0.1, 1 - i * 0.1, i < 3 ? 0x0000FF : 0xFFFFFF);
  }
  X_OBJNEWGROUP();
  for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i, 10 + i, i * i, 0.5, 0.5, 0x00FF00);
  X_OBJEND();
  const MeshObjectX& built = lumbo3D.meshes[0];
  ASSERT_EQ(built.frames.count, 1);
  std::string path = meshtest::TempPath("roundtrip.ddd");
  X_SAVEOBJ(path.c_str(), 0);
  X_LOADOBJ(path.c_str(), 3);
  const MeshObjectX& loaded = lumbo3D.meshes[3];
  ASSERT_EQ(loaded.frames.count, 1);

  ASSERT_EQ(loaded.palette.count, built.palette.count);
  for (int i = 0; i < built.palette.count; ++i) EXPECT_EQ(loaded.palette[i], built.palette[i]);
  const POLY_FRAME& a = built.frames[0];
  const POLY_FRAME& b = loaded.frames[0];
  ASSERT_EQ(b.nodes.count, 12);
  for (int k = 0; k < 12; ++k) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.nodes[k].q[i], b.nodes[k].q[i]) << k;
    EXPECT_EQ(a.nodes[k].normalIndex, b.nodes[k].normalIndex) << k;
    EXPECT_EQ(a.nodes[k].colourIndex, b.nodes[k].colourIndex) << k;
  }
  // Same triangles (positions from offset and scale, texture coordinates) either way: two
  // strips of 6 and 4 vertices.
  ASSERT_EQ(b.triangles.count, 3 * (4 + 2));
  ASSERT_EQ(a.triangles.count, b.triangles.count);
  for (int i = 0; i < b.triangles.count; ++i) {
    EXPECT_EQ(0, std::memcmp(&a.triangles[i], &b.triangles[i], sizeof(POLY_NODE))) << i;
  }
}

// Each case damages a good file; every one must be rejected as a read error.
TEST_F(DddFile, DamagedFilesAreReadErrorsAndEmptyTheSlot) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  std::vector<Case> cases;
  auto good = [] { return TwoFrameFile(); };
  auto patched = [&](const char* what, std::size_t at, std::vector<unsigned char> with) {
    Bytes b = good();
    for (std::size_t i = 0; i < with.size(); ++i) b.b[at + i] = with[i];
    cases.push_back({what, b});
  };
  patched("magic", 0, {0x18});
  patched("version 1.0200001", 4, Bytes().f64(1.0200001).b);
  Bytes b = good();
  b.b.pop_back();
  cases.push_back({"last node short", b});
  cases.push_back({"header only", Bytes().header(1, 0, 0)});
  cases.push_back({"short header", Bytes().u32(0x00C6B317u).f64(1.02).u32(0)});
  patched("frame count past the data", 12, {3, 0, 0, 0});
  patched("huge frame count", 12, {0xFF, 0xFF, 0xFF, 0x7F});
  patched("negative frame count", 12, {0xFF, 0xFF, 0xFF, 0xFF});
  patched("huge palette count", 16, {0xFF, 0xFF, 0xFF, 0x7F});
  patched("huge texture count", 20, {0xFF, 0xFF, 0xFF, 0x0F});
  const std::size_t frame0 = 24 + 4 * 3 + 8 * 4;
  patched("huge node count", frame0, {0xFF, 0xFF, 0xFF, 0x7F});
  patched("negative node count", frame0, {0xFE, 0xFF, 0xFF, 0xFF});
  const std::size_t node0 = frame0 + 28;
  patched("colour index past the palette", node0 + 5 + 4, {3});
  patched("normal index past the table", node0 + 5 + 3, {162});
  // Fewer texture coordinates than nodes: T = 3 (the file is otherwise consistent).
  b = good();
  b.b[20] = 3;
  b.b.erase(b.b.begin() + 24 + 12 + 24, b.b.begin() + 24 + 12 + 32);
  cases.push_back({"fewer coordinates than nodes", b});
  // Frames of different node counts: the second frame loses its last node.
  b = good();
  b.b[node0 + 20] = 3;
  b.b.resize(b.b.size() - 5);
  cases.push_back({"frames differ in node count", b});

  std::string path = meshtest::TempPath("damaged.ddd");
  std::string goodPath = meshtest::TempPath("good.ddd");
  meshtest::WriteFile(goodPath, good().b);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    meshtest::ResetErrorLog();
    X_LOADOBJ(goodPath.c_str(), 2);
    ASSERT_EQ(lumbo3D.meshes[2].frames.count, 2);
    meshtest::WriteFile(path, c.bytes.b);
    EXPECT_FALSE(lumbo3D.LoadObject(path.c_str(), 2));
    const MeshObjectX& m = lumbo3D.meshes[2];
    EXPECT_EQ(m.frames.count, 0);
    EXPECT_EQ(m.palette.count, 0);
    EXPECT_EQ(m.textureU.count, 0);
    EXPECT_EQ(m.scratch.count, 0);
    EXPECT_EQ(meshtest::ErrorLogText(), "# read error\r\n" + path + "\r\n");
  }
}

TEST_F(DddFile, MissingEmptyAndOutOfRange) {
  // A missing file: the command leaves the slot untouched, nothing is logged.
  std::string path = meshtest::TempPath("range.ddd");
  meshtest::WriteFile(path, TwoFrameFile().b);
  X_LOADOBJ(path.c_str(), 1);
  const std::string missing = meshtest::TempPath("no_such_mesh.ddd");
  X_LOADOBJ(missing.c_str(), 1);
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 2);
  EXPECT_FALSE(lumbo3D.LoadObject(missing.c_str(), 1));  // the engine call empties it
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 0);
  EXPECT_EQ(meshtest::ErrorLogText(), "");

  // A frame without nodes stays loaded but is reported as a failure and not prepared.
  std::string empty = meshtest::TempPath("empty_frame.ddd");
  meshtest::WriteFile(empty, Bytes().header(1, 0, 0).frame(0, 0, 0, 0, 1, 1, 1).b);
  EXPECT_FALSE(lumbo3D.LoadObject(empty.c_str(), 1));
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 1);
  EXPECT_EQ(meshtest::ErrorLogText(), "");

  // Numbers outside the table do nothing; the last slot is a slot.
  EXPECT_FALSE(lumbo3D.LoadObject(path.c_str(), 4096));
  std::string out = meshtest::TempPath("never_written.ddd");
  X_SAVEOBJ(out.c_str(), 4096);
  X_SAVEOBJ(out.c_str(), -1.5);
  EXPECT_FALSE(std::filesystem::exists(out));
  X_LOADOBJ(path.c_str(), 4095.7);
  EXPECT_EQ(lumbo3D.meshes[4095].frames.count, 2);
  lumbo3D.meshes[4095].Clear(true);
  EXPECT_FALSE(lumbo3D.SaveObject((meshtest::TempPath("no_dir") + "/x.ddd").c_str(), 0));
}

TEST_F(DddFile, LoadFindsWindowsNamesOnDisk) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "Meshes";
  std::filesystem::create_directories(dir);
  meshtest::WriteFile((dir / "hag.ddd").string(), TwoFrameFile().b);
  std::string name = std::filesystem::temp_directory_path().string();
  if (name.back() != '/') name += '/';
  name += "MESHES\\Hag.DDD";
  X_LOADOBJ(name.c_str(), 0);
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 2);
}

TEST_F(DddFile, ExpandingLoadFillsTheSourceVertices) {
  std::string path = meshtest::TempPath("expand.ddd");
  meshtest::WriteFile(path, TwoFrameFile().b);
  MeshObject m;
  ASSERT_TRUE(m.Load(path.c_str(), true));
  ASSERT_EQ(m.frames[1].source.count, 4);
  EXPECT_FLOAT_EQ(m.frames[1].source[1].position[2], 0);
  EXPECT_FLOAT_EQ(m.frames[1].source[3].position[2], 16);
  EXPECT_FLOAT_EQ(m.frames[1].source[3].v, -1.0f);
  EXPECT_EQ(m.frames[0].source[0].colour, 0xFFFFFFFEu);
}

}  // namespace
