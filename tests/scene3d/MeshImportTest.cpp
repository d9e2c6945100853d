// glTF and OBJ meshes written here byte by byte, loaded with X_LOADOBJ and compared vertex by
// vertex with the data written, frame by frame for a morph animation; drawn and compared with
// GLM-projected corners; from the data archive; saved as .ddd by X_SAVEOBJ and by the converter.
#include "SceneSupport.h"
#include "frame/Runtime.h"
#include "storage/ZyShoeBox.h"

namespace scene_test {
namespace {

namespace fs = std::filesystem;

constexpr int kSlot = 3001, kOther = 3002;

// A 10 x 20 quad in the xy plane; its morph target moves the right edge 5 along x.
const float kCorners[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 20, 0}, {0, 20, 0}};
const float kUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
const float kShift[4][3] = {{0, 0, 0}, {5, 0, 0}, {5, 0, 0}, {0, 0, 0}};
const int kTriangles[6] = {0, 1, 2, 0, 2, 3};

// The binary buffer of the quad: positions, normals, uvs, indices, target, key times, weights
// (0 at the start, 1 at 0.4 of the animation, 0.5 at its end); with triangles > 2, the indices
// of the quad's two triangles in turn follow.
std::vector<unsigned char> QuadBuffer(float endSeconds, int triangles = 2) {
  Bytes b;
  for (const auto& p : kCorners) b.f32(p[0]).f32(p[1]).f32(p[2]);
  for (int i = 0; i < 4; ++i) b.f32(0).f32(0).f32(1);
  for (const auto& t : kUv) b.f32(t[0]).f32(t[1]);
  for (int i : kTriangles) b.u8(i).u8(0);
  for (const auto& s : kShift) b.f32(s[0]).f32(s[1]).f32(s[2]);
  b.f32(0).f32(0.4f * endSeconds).f32(endSeconds).f32(0).f32(1).f32(0.5f);
  for (int t = 0; triangles > 2 && t < 3 * triangles; ++t) b.u8(kTriangles[t % 6]).u8(0);
  return b.b;
}

std::string Views(std::initializer_list<std::pair<int, int>> views) {
  std::string s;
  for (auto [offset, length] : views)
    s += std::string(s.empty() ? "" : ",") + R"({"buffer":0,"byteOffset":)" + std::to_string(offset) + R"(,"byteLength":)" +
         std::to_string(length) + "}";
  return s;
}
std::string Accessor(int view, int component, int count, const std::string& type, const std::string& range = "") {
  return R"(,{"bufferView":)" + std::to_string(view) + R"(,"componentType":)" + std::to_string(component) +
         R"(,"count":)" + std::to_string(count) + R"(,"type":")" + type + "\"" + range + "}";
}
// Positions, normals, uvs and indices (view 3).
std::string QuadAccessors(int indices) {
  return Accessor(0, 5126, 4, "VEC3", R"(,"min":[0,0,0],"max":[10,20,0])").substr(1) + Accessor(1, 5126, 4, "VEC3") +
         Accessor(2, 5126, 4, "VEC2") + Accessor(3, 5123, indices, "SCALAR");
}
const char* kQuadMesh = R"("POSITION":0,"NORMAL":1,"TEXCOORD_0":2)";

// With triangles > 2, the quad's two triangles are drawn that many times over in turn, their
// indices after the rest of the buffer.
std::string QuadJson(const std::string& bufferUri, float endSeconds, int triangles = 2) {
  const int extra = triangles > 2 ? 6 * triangles : 0;
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0,"name":"quad"}],)"
         R"("meshes":[{"name":"quad","weights":[0],"primitives":[{"attributes":{)" + std::string(kQuadMesh) +
         R"(},"indices":3,"material":0,"targets":[{"POSITION":4}]}]}],)"
         R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,0.6,0.2,1],"baseColorTexture":{"index":0}}}],)"
         R"("textures":[{"source":0}],"images":[{"uri":"skin.png"}],)"
         R"("animations":[{"channels":[{"sampler":0,"target":{"node":0,"path":"weights"}}],)"
         R"("samplers":[{"input":5,"output":6,"interpolation":"LINEAR"}]}],"buffers":[{)" +
         R"("uri":")" + bufferUri + R"(","byteLength":)" + std::to_string(212 + extra) +
         R"(}],"bufferViews":[)" + Views({{0, 48}, {48, 48}, {96, 32}, extra ? std::pair{212, extra} : std::pair{128, 12},
                                          {140, 48}, {188, 12}, {200, 12}}) +
         R"(],"accessors":[)" + QuadAccessors(3 * triangles) +
         Accessor(4, 5126, 4, "VEC3", R"(,"min":[0,0,0],"max":[5,0,0])") +
         Accessor(5, 5126, 3, "SCALAR", R"(,"min":[0],"max":[)" + std::to_string(endSeconds) + "]") +
         Accessor(6, 5126, 3, "SCALAR") + "]}";
}

// The quad skinned to two joints: the bottom corners follow the root joint, the top ones a
// child joint whose translation goes from 0 to (0, 10, 0) in one second.
std::vector<unsigned char> SkinBuffer() {
  Bytes b;
  b.b = QuadBuffer(1);
  b.b.resize(140);
  for (int v = 0; v < 4; ++v) b.u8(v < 2 ? 0 : 1).u8(0).u8(0).u8(0);
  for (int v = 0; v < 4; ++v) b.f32(1).f32(0).f32(0).f32(0);
  for (int i = 0; i < 32; ++i) b.f32(i % 16 % 5 == 0 ? 1 : 0);
  b.f32(0).f32(1).f32(0).f32(0).f32(0).f32(0).f32(10).f32(0);
  return b.b;
}

std::string SkinJson() {
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],)"
         R"("nodes":[{"mesh":0,"skin":0},{"name":"root","children":[2]},{"name":"tip"}],)"
         R"("skins":[{"joints":[1,2],"inverseBindMatrices":6}],"meshes":[{"primitives":[{"attributes":{)" +
         std::string(kQuadMesh) + R"(,"JOINTS_0":4,"WEIGHTS_0":5},"indices":3,"material":0}]}],)"
         R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,0.6,0.2,1]}}],)"
         R"("animations":[{"channels":[{"sampler":0,"target":{"node":2,"path":"translation"}}],)"
         R"("samplers":[{"input":7,"output":8}]}],"buffers":[{"uri":"skin.bin","byteLength":380}],"bufferViews":[)" +
         Views({{0, 48}, {48, 48}, {96, 32}, {128, 12}, {140, 16}, {156, 64}, {220, 128}, {348, 8}, {356, 24}}) +
         R"(],"accessors":[)" + QuadAccessors(6) + Accessor(4, 5121, 4, "VEC4") + Accessor(5, 5126, 4, "VEC4") +
         Accessor(6, 5126, 2, "MAT4") + Accessor(7, 5126, 2, "SCALAR", R"(,"min":[0],"max":[1])") +
         Accessor(8, 5126, 2, "VEC3") + "]}";
}

std::vector<unsigned char> Text(const std::string& s) { return {s.begin(), s.end()}; }

// Where corner c of the quad has moved at t seconds of each animation.
float Morphed(int c, int axis, float t) {
  return (t <= 0.4f ? t / 0.4f : 1 - 0.5f * (t - 0.4f) / 0.6f) * kShift[c][axis];
}
float Skinned(int c, int axis, float t) { return axis == 1 && c >= 2 ? 10 * t : 0; }

// Compares slot n with the quad: frames, and in each the six vertices of the two triangles
// (after the group marker) as the animation has moved them at k / 25 s in frame k.
void ExpectQuad(int n, int frames, float (*moved)(int, int, float) = Morphed) {
  MeshObjectX* object = lumbo3D.Object(n);
  ASSERT_EQ(object->frames.count, frames);
  for (int f = 0; f < frames; ++f) {
    ASSERT_EQ(object->frames[f].nodes.count, 7);
    for (int k = 0; k < 6; ++k) {
      POLY_NODE node;
      object->ExpandNode(object->frames[f], k + 1, node);
      const int corner = kTriangles[k];
      for (int i = 0; i < 3; ++i)  // within one quantisation step of a 30-unit range
        EXPECT_NEAR(node.position[i], kCorners[corner][i] + moved(corner, i, f / 25.0f), 30.0f / 255)
            << "frame " << f << " vertex " << k << " axis " << i;
      // Expansion negates the stored v.
      EXPECT_EQ(std::tuple(node.normal[2], node.u, node.v, node.colour),
                std::tuple(1.0f, kUv[corner][0], -kUv[corner][1], 0x3399FFu));
    }
  }
}

int RunTool(const std::string& tool, const std::string& arguments) {
  return std::system((std::string(TAVELOR_BINARY_DIR) + "/tools/" + tool + " " + arguments + " > /dev/null").c_str());
}

class MeshImportTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    fs::create_directories(dir_);
    // OBJ texture coordinates count upwards: (u, 1 - v) of the quad's.
    WriteFile(dir_ + "/box.obj", Text("mtllib box.mtl\nv 0 0 0\nv 10 0 0\nv 10 20 0\nv 0 20 0\nvt 0 1\nvt 1 1\n"
                                      "vt 1 0\nvt 0 0\nvn 0 0 1\nusemtl sky\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"));
    WriteFile(dir_ + "/box.mtl", Text("newmtl sky\nKd 1.0 0.6 0.2\nmap_Kd skin.png\n"));
    WriteFile(dir_ + "/quad.gltf", Text(QuadJson("quad.bin", 1)));
    WriteFile(dir_ + "/quad.bin", QuadBuffer(1));
    WriteFile(dir_ + "/skin.gltf", Text(SkinJson()));
    WriteFile(dir_ + "/skin.bin", SkinBuffer());
  }
  std::string dir_ = TempPath("meshes");
};

TEST_F(MeshImportTest, FormatsLoadVertexByVertexWithTheirAnimationFromDiskArchiveAndSavedCopies) {
  const struct { const char* file; int frames; float (*moved)(int, int, float); } cases[] = {
      {"quad.gltf", 26, Morphed}, {"box.obj", 1, Morphed}, {"skin.gltf", 26, Skinned}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    X_LOADOBJ((dir_ + "/" + c.file).c_str(), kSlot);
    ExpectQuad(kSlot, c.frames, c.moved);
  }
  // The pictures the materials name, for the game to load itself.
  MeshImportInfo info;
  MeshObject mesh;
  ASSERT_TRUE(ImportMesh(ReadFile(dir_ + "/quad.gltf"), MeshFormat::Gltf, DiskCompanions(dir_ + "/quad.gltf"), &mesh, &info));
  EXPECT_EQ(info.textures, std::vector<std::string>{"skin.png"});

  // The same from the data archive, and saved as .ddd.
  const std::string box = dir_ + "/models.box", away = dir_ + "/away/";
  std::string members;
  fs::create_directories(away);
  for (const char* f : {"quad.gltf", "quad.bin", "box.obj", "box.mtl"}) members += " '" + dir_ + "/" + f + "'";
  ASSERT_EQ(RunTool("pack/tavelor-pack", "create '" + box + "'" + members), 0);
  for (const char* f : {"quad.gltf", "quad.bin", "box.obj", "box.mtl"}) fs::rename(dir_ + "/" + f, away + f);
  ZyShoeBox* saved = __g_ShoeBox_Data;
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(box.c_str(), "");
  X_LOADOBJ("Models\\QUAD.GLTF", kSlot);
  X_LOADOBJ("Models\\Box.Obj", kOther);
  __g_ShoeBox_Data->Clear();
  delete __g_ShoeBox_Data;
  __g_ShoeBox_Data = saved;
  ExpectQuad(kSlot, 26);
  ExpectQuad(kOther, 1);
  // X_SAVEOBJ and the converter write the same .ddd, which loads as the same mesh.
  const std::string ddd = dir_ + "/quad.ddd", converted = dir_ + "/converted.ddd";
  X_SAVEOBJ(ddd.c_str(), kSlot);
  ASSERT_EQ(RunTool("mesh/tavelor-mesh", "convert '" + away + "quad.gltf' '" + converted + "'"), 0);
  EXPECT_EQ(ReadFile(ddd), ReadFile(converted));
  X_LOADOBJ(ddd.c_str(), kOther);
  ExpectQuad(kOther, 26);
}

TEST_F(MeshImportTest, DamagedFilesFailLikeABadDddFile) {
  std::string big = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";  // one triangle more than a frame may hold
  for (std::size_t i = 0; i <= kMaxImportTriangles; ++i) big += "f 1 2 3\n";
  const struct { std::string name; std::vector<unsigned char> bytes, buffer = {}; } cases[] = {
      {"points.obj", Text("v 0 0 0\nv 1 0 0\nv 0 1 0\n")},
      {"lines.obj", Text("v 0 0 0\nv 1 0 0\nl 1 2\n")},
      {"broken.gltf", Text(R"({"asset":{"version":"2.0"},"meshes":[)")},
      {"nobuffer.gltf", Text(QuadJson("missing.bin", 1))},
      {"cut.glb", Text(std::string("glTF\2\0\0\0\x70\0\0\0\x40\0\0\0JSON{\"asset\"", 25))},
      {"long.gltf", Text(QuadJson("long.bin", 100)), QuadBuffer(100)},  // 2501 frames: beyond the model's limit
      // 751 frames of 3001 nodes: more than all frames may hold
      {"heavy.gltf", Text(QuadJson("heavy.bin", 30, 1000)), QuadBuffer(30, 1000)},
      {"big.obj", Text(big)},
  };
  for (const auto& c : cases) {
    ResetErrorLog();
    BuildQuad(kSlot, 1, 1, 0xFFFFFF);
    WriteFile(dir_ + "/" + c.name, c.bytes);
    if (!c.buffer.empty()) WriteFile(dir_ + "/" + c.name.substr(0, c.name.find('.')) + ".bin", c.buffer);
    X_LOADOBJ((dir_ + "/" + c.name).c_str(), kSlot);
    EXPECT_EQ(lumbo3D.Object(kSlot)->frames.count, 0) << c.name;
    EXPECT_NE(ErrorLogText().find("# read error"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace scene_test
