// glTF and OBJ meshes written here byte by byte, loaded with X_LOADOBJ and compared vertex by
// vertex with the data written, frame by frame for a morph animation; drawn and compared with
// GLM-projected corners; from the data archive; saved as .ddd by X_SAVEOBJ and by the converter.
#include <filesystem>

#include "MeshTestUtil.h"
#include "SceneSupport.h"
#include "frame/Runtime.h"
#include "storage/ZyShoeBox.h"

namespace scene_test {
namespace {

namespace fs = std::filesystem;
using meshtest::Bytes;

constexpr int kSlot = 3001, kOther = 3002;

// A 10 x 20 quad in the xy plane; its morph target moves the right edge 5 along x.
const float kCorners[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 20, 0}, {0, 20, 0}};
const float kUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
const float kShift[4][3] = {{0, 0, 0}, {5, 0, 0}, {5, 0, 0}, {0, 0, 0}};
const int kTriangles[6] = {0, 1, 2, 0, 2, 3};

// The binary buffer of the quad: positions, normals, uvs, indices, target, key times, weights
// (0 at the start, 1 at 0.4 of the animation, 0.5 at its end).
std::vector<unsigned char> QuadBuffer(float endSeconds) {
  Bytes b;
  for (const auto& p : kCorners) b.f32(p[0]).f32(p[1]).f32(p[2]);
  for (int i = 0; i < 4; ++i) b.f32(0).f32(0).f32(1);
  for (const auto& t : kUv) b.f32(t[0]).f32(t[1]);
  for (int i : kTriangles) b.u8(i).u8(0);
  for (const auto& s : kShift) b.f32(s[0]).f32(s[1]).f32(s[2]);
  b.f32(0).f32(0.4f * endSeconds).f32(endSeconds).f32(0).f32(1).f32(0.5f);
  return b.b;
}

std::string QuadJson(const std::string& bufferUri, float endSeconds) {
  const std::string views =
      R"({"buffer":0,"byteOffset":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48},)"
      R"({"buffer":0,"byteOffset":96,"byteLength":32},{"buffer":0,"byteOffset":128,"byteLength":12},)"
      R"({"buffer":0,"byteOffset":140,"byteLength":48},{"buffer":0,"byteOffset":188,"byteLength":12},)"
      R"({"buffer":0,"byteOffset":200,"byteLength":12})";
  const std::string accessors =
      R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[10,20,0]},)"
      R"({"bufferView":1,"componentType":5126,"count":4,"type":"VEC3"},)"
      R"({"bufferView":2,"componentType":5126,"count":4,"type":"VEC2"},)"
      R"({"bufferView":3,"componentType":5123,"count":6,"type":"SCALAR"},)"
      R"({"bufferView":4,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[5,0,0]},)"
      R"({"bufferView":5,"componentType":5126,"count":3,"type":"SCALAR","min":[0],"max":[)" +
      std::to_string(endSeconds) + R"(]},{"bufferView":6,"componentType":5126,"count":3,"type":"SCALAR"})";
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0,"name":"quad"}],)"
         R"("meshes":[{"name":"quad","weights":[0],"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,)"
         R"("TEXCOORD_0":2},"indices":3,"material":0,"targets":[{"POSITION":4}]}]}],)"
         R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,0.6,0.2,1],"baseColorTexture":{"index":0}}}],)"
         R"("textures":[{"source":0}],"images":[{"uri":"skin.png"}],)"
         R"("animations":[{"channels":[{"sampler":0,"target":{"node":0,"path":"weights"}}],)"
         R"("samplers":[{"input":5,"output":6,"interpolation":"LINEAR"}]}],)"
         R"("buffers":[{)" +
         (bufferUri.empty() ? "" : R"("uri":")" + bufferUri + R"(",)") + R"("byteLength":212}],"bufferViews":[)" +
         views + R"(],"accessors":[)" + accessors + "]}";
}

// The quad skinned to two joints: the bottom corners follow the root joint, the top ones a
// child joint whose translation goes from 0 to (0, 10, 0) in one second.
std::vector<unsigned char> SkinBuffer() {
  Bytes b;
  std::vector<unsigned char> quad = QuadBuffer(1);
  b.b.assign(quad.begin(), quad.begin() + 140);
  for (int v = 0; v < 4; ++v) b.u8(v < 2 ? 0 : 1).u8(0).u8(0).u8(0);
  for (int v = 0; v < 4; ++v) b.f32(1).f32(0).f32(0).f32(0);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 16; ++i) b.f32(i % 5 == 0 ? 1 : 0);
  b.f32(0).f32(1).f32(0).f32(0).f32(0).f32(0).f32(10).f32(0);
  return b.b;
}

std::string SkinJson() {
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],)"
         R"("nodes":[{"mesh":0,"skin":0},{"name":"root","children":[2]},{"name":"tip"}],)"
         R"("skins":[{"joints":[1,2],"inverseBindMatrices":6}],)"
         R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2,"JOINTS_0":4,)"
         R"("WEIGHTS_0":5},"indices":3,"material":0}]}],)"
         R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,0.6,0.2,1]}}],)"
         R"("animations":[{"channels":[{"sampler":0,"target":{"node":2,"path":"translation"}}],)"
         R"("samplers":[{"input":7,"output":8}]}],"buffers":[{"uri":"skin.bin","byteLength":380}],"bufferViews":[)"
         R"({"buffer":0,"byteOffset":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48},)"
         R"({"buffer":0,"byteOffset":96,"byteLength":32},{"buffer":0,"byteOffset":128,"byteLength":12},)"
         R"({"buffer":0,"byteOffset":140,"byteLength":16},{"buffer":0,"byteOffset":156,"byteLength":64},)"
         R"({"buffer":0,"byteOffset":220,"byteLength":128},{"buffer":0,"byteOffset":348,"byteLength":8},)"
         R"({"buffer":0,"byteOffset":356,"byteLength":24}],"accessors":[)"
         R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[10,20,0]},)"
         R"({"bufferView":1,"componentType":5126,"count":4,"type":"VEC3"},)"
         R"({"bufferView":2,"componentType":5126,"count":4,"type":"VEC2"},)"
         R"({"bufferView":3,"componentType":5123,"count":6,"type":"SCALAR"},)"
         R"({"bufferView":4,"componentType":5121,"count":4,"type":"VEC4"},)"
         R"({"bufferView":5,"componentType":5126,"count":4,"type":"VEC4"},)"
         R"({"bufferView":6,"componentType":5126,"count":2,"type":"MAT4"},)"
         R"({"bufferView":7,"componentType":5126,"count":2,"type":"SCALAR","min":[0],"max":[1]},)"
         R"({"bufferView":8,"componentType":5126,"count":2,"type":"VEC3"}]})";
}

// With triangles > 2, the quad's two triangles are drawn that many times over in turn.
std::vector<unsigned char> Glb(float endSeconds, int triangles = 2) {
  std::string json = QuadJson("", endSeconds);
  std::vector<unsigned char> bin = QuadBuffer(endSeconds);
  if (triangles > 2) {
    const std::string count = std::to_string(3 * triangles), bytes = std::to_string(6 * triangles);
    auto replace = [&](const std::string& from, const std::string& to) {
      json.replace(json.find(from), from.size(), to);
    };
    replace(R"("bufferView":3,"componentType":5123,"count":6)",
            R"("bufferView":7,"componentType":5123,"count":)" + count);
    replace(R"("byteOffset":200,"byteLength":12})",
            R"("byteOffset":200,"byteLength":12},{"buffer":0,"byteOffset":212,"byteLength":)" + bytes + "}");
    replace(R"("byteLength":212})", R"("byteLength":)" + std::to_string(212 + 6 * triangles) + "}");
    for (int t = 0; t < triangles; ++t)
      for (int k = 0; k < 3; ++k) bin.insert(bin.end(), {static_cast<unsigned char>(kTriangles[t % 2 * 3 + k]), 0});
  }
  json.resize((json.size() + 3) / 4 * 4, ' ');
  bin.resize((bin.size() + 3) / 4 * 4, 0);
  Bytes b;
  b.b.insert(b.b.end(), {'g', 'l', 'T', 'F'});
  b.u32(2).u32(static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
  b.u32(static_cast<std::uint32_t>(json.size())).b.insert(b.b.end(), {'J', 'S', 'O', 'N'});
  b.b.insert(b.b.end(), json.begin(), json.end());
  b.u32(static_cast<std::uint32_t>(bin.size())).b.insert(b.b.end(), {'B', 'I', 'N', 0});
  b.b.insert(b.b.end(), bin.begin(), bin.end());
  return b.b;
}

std::vector<unsigned char> Text(const std::string& s) { return {s.begin(), s.end()}; }

// OBJ texture coordinates count upwards: (u, 1 - v) of the quad's.
const char* kObj =
    "mtllib box.mtl\nv 0 0 0\nv 10 0 0\nv 10 20 0\nv 0 20 0\nvt 0 1\nvt 1 1\nvt 1 0\nvt 0 0\nvn 0 0 1\n"
    "usemtl sky\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n";
const char* kMtl = "newmtl sky\nKd 1.0 0.6 0.2\nmap_Kd skin.png\n";

// Writes the quad in every form into dir: quad.gltf + quad.bin, quad.glb, box.obj + box.mtl.
void WriteQuads(const std::string& dir) {
  fs::create_directories(dir);
  meshtest::WriteFile(dir + "/quad.gltf", Text(QuadJson("quad.bin", 1)));
  meshtest::WriteFile(dir + "/quad.bin", QuadBuffer(1));
  meshtest::WriteFile(dir + "/quad.glb", Glb(1));
  meshtest::WriteFile(dir + "/box.obj", Text(kObj));
  meshtest::WriteFile(dir + "/box.mtl", Text(kMtl));
  meshtest::WriteFile(dir + "/skin.gltf", Text(SkinJson()));
  meshtest::WriteFile(dir + "/skin.bin", SkinBuffer());
}

// Where corner c of the quad has moved at t seconds of each animation.
float Morphed(int c, int axis, float t) {
  const float weight = t <= 0.4f ? t / 0.4f : 1 - 0.5f * (t - 0.4f) / 0.6f;
  return weight * kShift[c][axis];
}
float Skinned(int c, int axis, float t) { return axis == 1 && c >= 2 ? 10 * t : 0; }

// Compares slot n with the quad: frames, and in each the six vertices of the two triangles
// (after the group marker) as the animation has moved them at k / 25 s in frame k.
void ExpectQuad(int n, int frames, float (*moved)(int, int, float) = Morphed) {
  MeshObjectX* object = lumbo3D.Object(n);
  ASSERT_EQ(object->frames.count, frames);
  for (int f = 0; f < frames; ++f) {
    const POLY_FRAME& frame = object->frames[f];
    ASSERT_EQ(frame.nodes.count, 7);
    const float t = static_cast<float>(f) / 25;
    for (int k = 0; k < 6; ++k) {
      POLY_NODE node;
      object->ExpandNode(frame, k + 1, node);
      const int corner = kTriangles[k];
      for (int i = 0; i < 3; ++i) {
        const float want = kCorners[corner][i] + moved(corner, i, t);
        EXPECT_NEAR(node.position[i], want, 30.0f / 255)  // one quantisation step of a 30-unit range
            << "frame " << f << " vertex " << k << " axis " << i;
      }
      EXPECT_EQ(node.normal[2], 1.0f);
      EXPECT_EQ(node.u, kUv[corner][0]);
      EXPECT_EQ(node.v, -kUv[corner][1]);  // expansion negates the stored v
      EXPECT_EQ(node.colour, 0x3399FFu);
    }
  }
}

class MeshImportTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    dir_ = TempPath("meshes");
    WriteQuads(dir_);
  }
  std::string dir_;
};

TEST_F(MeshImportTest, FormatsLoadVertexByVertexWithTheirAnimation) {
  const struct {
    const char* file;
    int frames;
    float (*moved)(int, int, float);
  } cases[] = {
      {"quad.gltf", 26, Morphed}, {"quad.glb", 26, Morphed}, {"box.obj", 1, Morphed}, {"skin.gltf", 26, Skinned}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    X_LOADOBJ((dir_ + "/" + c.file).c_str(), kSlot);
    ExpectQuad(kSlot, c.frames, c.moved);
  }
  // The pictures the materials name, for the game to load itself.
  MeshImportInfo info;
  MeshObject mesh;
  std::vector<unsigned char> bytes = meshtest::ReadFile(dir_ + "/quad.gltf");
  ASSERT_TRUE(ImportMesh(bytes, MeshFormat::Gltf, DiskCompanions(dir_ + "/quad.gltf"), &mesh, &info));
  EXPECT_EQ(info.textures, std::vector<std::string>{"skin.png"});
}

TEST_F(MeshImportTest, DrawnWhereGlmProjectsTheCorners) {
  X_LOADOBJ((dir_ + "/box.obj").c_str(), kSlot);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 0, 0, 0, -1);
  X_MOVEMENT(-5, -10, -60);
  const Box drawn = DrawnAfresh([] { X_DRAWOBJ(kSlot, 0); }).box;
  const glm::mat4 view = CurrentMatrix(GL_MODELVIEW_MATRIX), proj = Projection(1, 1000, 45);
  const glm::vec3 lo = Project({-5, -10, -60}, view, proj), hi = Project({5, 10, -60}, view, proj);
  EXPECT_NEAR(drawn.left, lo.x, 1);
  EXPECT_NEAR(drawn.right, hi.x, 1);
  EXPECT_NEAR(drawn.top, hi.y, 1);
  EXPECT_NEAR(drawn.bottom, lo.y, 1);
}

TEST_F(MeshImportTest, ArchiveMembersAndSavedCopiesLoadTheSame) {
  const std::string box = dir_ + "/models.box";
  ASSERT_EQ(
      std::system((std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack create '" + box + "' '" + dir_ +
                   "/quad.gltf' '" + dir_ + "/quad.bin' '" + dir_ + "/box.obj' '" + dir_ + "/box.mtl' > /dev/null")
                      .c_str()),
      0);
  const fs::path away = dir_ + "/away";
  fs::create_directories(away);
  for (const char* f : {"quad.gltf", "quad.bin", "box.obj", "box.mtl"}) fs::rename(dir_ + "/" + f, away / f);
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
  ASSERT_EQ(std::system((std::string(TAVELOR_BINARY_DIR) + "/tools/mesh/tavelor-mesh convert '" +
                         (away / "quad.gltf").string() + "' '" + converted + "' > /dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(meshtest::ReadFile(ddd), meshtest::ReadFile(converted));
  X_LOADOBJ(ddd.c_str(), kOther);
  ExpectQuad(kOther, 26);
}

TEST_F(MeshImportTest, DamagedFilesFailLikeABadDddFile) {
  std::vector<unsigned char> cut = Glb(1);
  cut.resize(60);
  const struct {
    const char* name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"points.obj", Text("v 0 0 0\nv 1 0 0\nv 0 1 0\n")},
      {"lines.obj", Text("v 0 0 0\nv 1 0 0\nl 1 2\n")},
      {"broken.gltf", Text(R"({"asset":{"version":"2.0"},"meshes":[)")},
      {"nobuffer.gltf", Text(QuadJson("missing.bin", 1))},
      {"cut.glb", cut},
      {"long.glb", Glb(100)},        // 2501 frames: beyond the model's limit
      {"heavy.glb", Glb(30, 1000)},  // 751 frames of 3001 nodes: more than all frames may hold
      {"big.obj", Text([] {          // one triangle more than a frame may hold
         std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
         for (std::size_t i = 0; i <= kMaxImportTriangles; ++i) obj += "f 1 2 3\n";
         return obj;
       }())},
  };
  for (const auto& c : cases) {
    meshtest::ResetErrorLog();
    BuildQuad(kSlot, 1, 1, 0xFFFFFF);
    meshtest::WriteFile(dir_ + "/" + c.name, c.bytes);
    X_LOADOBJ((dir_ + "/" + c.name).c_str(), kSlot);
    EXPECT_EQ(lumbo3D.Object(kSlot)->frames.count, 0) << c.name;
    EXPECT_NE(meshtest::ErrorLogText().find("# read error"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace scene_test
