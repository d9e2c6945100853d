// Preparing a loaded mesh for drawing: the one-pass preparation against the separate steps, and
// large mesh arrays keeping their contents when they get huge-page advice and grow.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "MeshTestUtil.h"
#include "platform/memory.h"
#include "scene3d/MeshObject.h"

using namespace TAVELOR;
using meshtest::Bytes;

namespace {

// Three frames mixing every group kind with groups too short for a triangle, a list with two
// vertices left over, and vertices before the first marker.
std::string MixedGroupsFile() {
  const int nodes = 600;
  Bytes b;
  b.header(3, 6, nodes);
  b.u32(0xFFFFFFFFu).u32(0xFFFFFFFEu).u32(0xFFFFFFFDu).u32(0x2040C0u).u32(0x30C030u).u32(0xFFFFFFu);
  for (int i = 0; i < nodes; ++i) b.f32(static_cast<float>(i % 7) / 7.0f).f32(static_cast<float>(i % 5) / 5.0f);
  std::uint32_t seed = 99;
  for (int f = 0; f < 3; ++f) {
    b.frame(nodes, 100.5f + f, -3.0f, 7.25f, 0.3f, 1.1f + f, 0.05f);
    for (int k = 0; k < nodes; ++k) {
      seed = seed * 1664525u + 1013904223u;
      std::uint32_t r = seed >> 8;
      bool marker = k > 4 && r % 100 < 12;
      b.node(r & 0xFF, (r >> 8) & 0xFF, ((r >> 16) + f) & 0xFF, (r >> 3) % kVertexNormals,
             marker ? (r >> 5) % 3 : 3 + (r >> 7) % 3);
    }
  }
  std::string path = meshtest::TempPath("mixed_groups.ddd");
  meshtest::WriteFile(path, b.b);
  return path;
}

bool SameRecords(const Queue<POLY_NODE>& a, const Queue<POLY_NODE>& b) {
  return a.count == b.count &&
         (a.count == 0 || std::memcmp(a.data, b.data, static_cast<std::size_t>(a.count) * sizeof(POLY_NODE)) == 0);
}

}  // namespace

TEST(MeshPreparation, OnePassMatchesTheSeparateStepsExactly) {
  std::string path = MixedGroupsFile();
  MeshObjectX separate, together;
  ASSERT_TRUE(separate.Load(path.c_str(), false));
  ASSERT_TRUE(together.Load(path.c_str(), false));
  separate.PrepareTriangles();
  separate.CalcMaxRadius();
  together.PrepareForDrawing();

  ASSERT_EQ(together.frames.count, 3);
  for (int f = 0; f < 3; ++f) {
    const POLY_FRAME& a = separate.frames[f];
    const POLY_FRAME& b = together.frames[f];
    EXPECT_GT(b.triangles.count, 300) << f;
    EXPECT_EQ(b.triangles.count % 3, 0) << f;
    EXPECT_TRUE(SameRecords(a.triangles, b.triangles)) << f;
    EXPECT_GT(b.radius, 0) << f;
    EXPECT_EQ(std::memcmp(&a.radius, &b.radius, sizeof(float)), 0) << f;
    EXPECT_EQ(std::memcmp(a.centre, b.centre, sizeof(a.centre)), 0) << f;
  }
  EXPECT_TRUE(SameRecords(separate.scratch, together.scratch));
  EXPECT_TRUE(SameRecords(together.scratch, together.frames[0].triangles));
  EXPECT_EQ(together.colouringNeeded, 1);

  // Preparing again (a rebuilt object) gives the same again.
  together.PrepareForDrawing();
  for (int f = 0; f < 3; ++f) EXPECT_TRUE(SameRecords(separate.frames[f].triangles, together.frames[f].triangles)) << f;
  EXPECT_TRUE(SameRecords(separate.scratch, together.scratch));
}

TEST(MeshPreparation, LargeArraysKeepTheirContents) {
  // Well past the size that gets huge-page advice, then grown twice, once by reallocation and
  // once by appending.
  const std::int32_t n = 100000;
  Queue<POLY_NODE> q;
  ASSERT_TRUE(q.Reserve(n));
  for (std::int32_t i = 0; i < n; ++i) {
    POLY_NODE v{};
    v.position[0] = static_cast<float>(i);
    v.colour = static_cast<std::uint32_t>(i) * 2654435761u;
    ASSERT_TRUE(q.Append(v));
  }
  ASSERT_TRUE(q.Reserve(3 * static_cast<std::int64_t>(n)));
  POLY_NODE last{};
  last.colour = 7;
  ASSERT_TRUE(q.Append(last));
  std::int32_t wrong = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    if (q[i].position[0] != static_cast<float>(i) || q[i].colour != static_cast<std::uint32_t>(i) * 2654435761u) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(q[n].colour, 7u);

  // Advice on an odd, unaligned part of a block changes nothing in it or around it; an empty
  // or small block is ignored.
  std::vector<unsigned char> block(12u << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 31 + 5);
  platform::AdviseHugePages(block.data() + 12345, block.size() - 54321);
  platform::AdviseHugePages(block.data() + 1, 100);
  platform::AdviseHugePages(nullptr, block.size());
  std::size_t changed = 0;
  for (std::size_t i = 0; i < block.size(); ++i) changed += block[i] != static_cast<unsigned char>(i * 31 + 5);
  EXPECT_EQ(changed, 0u);
}
