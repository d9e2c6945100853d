// The .ddd reader and writer: byte layout, round trips, rejection of damaged files, names on
// disk; preparing a loaded mesh in one pass; large mesh arrays under huge-page advice.
#include <tuple>

#include "SceneSupport.h"

namespace scene_test {
namespace {

// Two frames of one strip (marker, three vertices), palette {strip marker, red, green}.
Bytes TwoFrameFile() {
  Bytes b;
  b.header(2, 3, 4).u32(0xFFFFFFFEu).u32(0x000000FFu).u32(0x0000FF00u);
  b.f32(0).f32(0).f32(0.25f).f32(0.5f).f32(1).f32(0.75f).f32(0.5f).f32(1);
  b.frame(4, 0, 0, 0, 1, 1, 1).node(0, 0, 0, 0, 0).node(0, 0, 0, 5, 1).node(255, 0, 0, 52, 2).node(0, 255, 0, 32, 1);
  b.frame(4, 10, 20, 30, 0.5f, 2, 4).node(0, 0, 0, 0, 0).node(10, 20, 30, 84, 1).node(12, 22, 32, 84, 2);
  return b.node(14, 24, 34, 84, 2);
}

class DddFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetErrorLog();
    for (int n : {0, 1, 2, 3}) lumbo3D.meshes[n].Clear(true);
  }
  std::string path_ = TempPath("two_frames.ddd");
};

TEST_F(DddFile, HandWrittenFileLoadsExpandsAndSavesTheSameBytes) {
  WriteFile(path_, TwoFrameFile().b);
  X_LOADOBJ(path_.c_str(), 1.9);  // truncated to slot 1
  MeshObjectX& m = lumbo3D.meshes[1];
  ASSERT_EQ(m.frames.count, 2);
  EXPECT_EQ(m.normalsValid, 1);
  // One triangle per frame from the three vertices after the marker; positions are
  // (q - offset) * scale per axis, v is negated, normals come from the table (52: +x, 84: -z).
  ASSERT_EQ(m.frames[0].triangles.count + m.frames[1].triangles.count, 6);
  const POLY_NODE &a = m.frames[0].triangles[1], &b = m.frames[1].triangles[2];
  EXPECT_EQ(std::tuple(a.position[0], a.normal[0], a.colour, a.rgb[1], a.u, a.v),
            std::tuple(255.0f, 1.0f, 0xFF00u, 1.0f, 1.0f, -0.75f));
  EXPECT_EQ(std::tuple(b.position[0], b.position[1], b.position[2], b.normal[2]), std::tuple(2.0f, 8.0f, 16.0f, -1.0f));
  const std::string again = TempPath("two_frames_again.ddd");
  X_SAVEOBJ(again.c_str(), 1);
  EXPECT_EQ(ReadFile(again), TwoFrameFile().b);
  // Saving goes through a temporary file: a save that cannot be written reports failure.
  EXPECT_FALSE(lumbo3D.SaveObject((TempPath("no_dir") + "/x.ddd").c_str(), 1));

  // A missing file: the command leaves the slot untouched, nothing is logged; the engine call
  // empties it.
  const std::string missing = TempPath("no_such_mesh.ddd");
  X_LOADOBJ(missing.c_str(), 1);
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 2);
  EXPECT_FALSE(lumbo3D.LoadObject(missing.c_str(), 1));
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 0);
  // A frame without nodes stays loaded but is reported as a failure and not prepared.
  const std::string empty = TempPath("empty_frame.ddd");
  WriteFile(empty, Bytes().header(1, 0, 0).frame(0, 0, 0, 0, 1, 1, 1).b);
  EXPECT_FALSE(lumbo3D.LoadObject(empty.c_str(), 1));
  EXPECT_EQ(lumbo3D.meshes[1].frames.count, 1);
  EXPECT_EQ(ErrorLogText(), "");

  // Numbers outside the table do nothing; the last slot is a slot.
  EXPECT_FALSE(lumbo3D.LoadObject(path_.c_str(), 4096));
  const std::string out = TempPath("never_written.ddd");
  X_SAVEOBJ(out.c_str(), 4096);
  X_SAVEOBJ(out.c_str(), -1.5);
  EXPECT_FALSE(std::filesystem::exists(out));
  X_LOADOBJ(path_.c_str(), 4095.7);
  EXPECT_EQ(lumbo3D.meshes[4095].frames.count, 2);
  lumbo3D.meshes[4095].Clear(true);

  // Windows names find the file whatever its case.
  std::filesystem::create_directories(TempPath("Meshes"));
  WriteFile(TempPath("Meshes/hag.ddd"), TwoFrameFile().b);
  X_LOADOBJ(TempPath("MESHES\\Hag.DDD").c_str(), 0);
  EXPECT_EQ(lumbo3D.meshes[0].frames.count, 2);
}

// Each case damages a good file; every one must be rejected as a read error.
TEST_F(DddFile, DamagedFilesAreReadErrorsAndEmptyTheSlot) {
  const std::size_t frame0 = 24 + 4 * 3 + 8 * 4, node0 = frame0 + 28;
  Bytes fewerCoordinates = TwoFrameFile(), frameShort = TwoFrameFile(), lastShort = TwoFrameFile();
  // Fewer texture coordinates than nodes: T = 3 (the file is otherwise consistent).
  fewerCoordinates.b[20] = 3;
  fewerCoordinates.b.erase(fewerCoordinates.b.begin() + 60, fewerCoordinates.b.begin() + 68);
  // Frames of different node counts: the second frame loses its last node.
  frameShort.b[node0 + 20] = 3;
  frameShort.b.resize(frameShort.b.size() - 5);
  lastShort.b.pop_back();
  const struct { const char* what; std::size_t at; std::vector<unsigned char> with; Bytes bytes; } cases[] = {
      {"magic", 0, {0x18}, TwoFrameFile()},
      {"version 1.0200001", 4, Bytes().f64(1.0200001).b, TwoFrameFile()},
      {"frame count past the data", 12, {3, 0, 0, 0}, TwoFrameFile()},
      {"huge frame count", 12, {0xFF, 0xFF, 0xFF, 0x7F}, TwoFrameFile()},
      {"negative frame count", 12, {0xFF, 0xFF, 0xFF, 0xFF}, TwoFrameFile()},
      {"huge palette count", 16, {0xFF, 0xFF, 0xFF, 0x7F}, TwoFrameFile()},
      {"huge texture count", 20, {0xFF, 0xFF, 0xFF, 0x0F}, TwoFrameFile()},
      {"huge node count", frame0, {0xFF, 0xFF, 0xFF, 0x7F}, TwoFrameFile()},
      {"negative node count", frame0, {0xFE, 0xFF, 0xFF, 0xFF}, TwoFrameFile()},
      {"colour index past the palette", node0 + 9, {3}, TwoFrameFile()},
      {"normal index past the table", node0 + 8, {162}, TwoFrameFile()},
      {"last node short", 0, {}, lastShort},
      {"header only", 0, {}, Bytes().header(1, 0, 0)},
      {"short header", 0, {}, Bytes().u32(0x00C6B317u).f64(1.02).u32(0)},
      {"fewer coordinates than nodes", 0, {}, fewerCoordinates},
      {"frames differ in node count", 0, {}, frameShort},
  };
  const std::string bad = TempPath("damaged.ddd");
  WriteFile(path_, TwoFrameFile().b);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetErrorLog();
    X_LOADOBJ(path_.c_str(), 2);
    ASSERT_EQ(lumbo3D.meshes[2].frames.count, 2);
    std::vector<unsigned char> bytes = c.bytes.b;
    std::copy(c.with.begin(), c.with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(c.at));
    WriteFile(bad, bytes);
    EXPECT_FALSE(lumbo3D.LoadObject(bad.c_str(), 2));
    const MeshObjectX& m = lumbo3D.meshes[2];
    EXPECT_EQ(m.frames.count + m.palette.count + m.textureU.count + m.scratch.count + m.normalsValid, 0);
    EXPECT_EQ(ErrorLogText(), "# read error\r\n" + bad + "\r\n");
  }
}

}  // namespace
}  // namespace scene_test
