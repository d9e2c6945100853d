// Hollerquast's generated media: every mesh loads into an object slot and has the size the
// world's layout expects, and the pictures read back with the sizes and transparency they need.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <cmath>
#include <string>
#include <vector>

#include "display/Bitmap.h"
#include "scene3d/Lumenar3D.h"

namespace {

using namespace TAVELOR;

const std::string kDir = std::string(TAVELOR_BINARY_DIR) + "/game/";

struct Bounds {
  float lo[3] = {1e9f, 1e9f, 1e9f};
  float hi[3] = {-1e9f, -1e9f, -1e9f};
  int triangles = 0;
  float Size(int a) const { return hi[a] - lo[a]; }
};

// Loads a mesh the way X_LOADOBJ does and measures the triangles it will draw.
Bounds Measure(const char* name) {
  constexpr int kSlot = 4000;
  Bounds b;
  EXPECT_TRUE(lumbo3D.LoadObject((kDir + name).c_str(), kSlot)) << name;
  const MeshObjectX& mesh = lumbo3D.meshes[kSlot];
  EXPECT_LE(mesh.palette.count, 256) << name;
  if (mesh.frames.count == 0) return b;
  const POLY_FRAME& frame = mesh.frames[0];
  b.triangles = frame.triangles.count / 3;
  for (const POLY_NODE& v : frame.triangles)
    for (int a = 0; a < 3; ++a) {
      b.lo[a] = std::min(b.lo[a], v.position[a]);
      b.hi[a] = std::max(b.hi[a], v.position[a]);
    }
  return b;
}

TEST(GeneratedMedia, MeshesFitTheWorldLayout) {
  // The ground, scaled by 10, lies at height 0. The game keeps its middle within half a
  // pattern period (160) of the camera, so it reaches past the far plane (1500) all round, and
  // its colours repeat with that period (32 mesh units), so they stay put on the land.
  const Bounds ground = Measure("ground.ddd");
  EXPECT_EQ(std::make_pair(ground.lo[1], ground.hi[1]), std::make_pair(0.0f, 0.0f));
  for (int a : {0, 2}) EXPECT_GE(std::min(-ground.lo[a], ground.hi[a]) * 10, 1500 + 160) << a;
  std::map<std::pair<float, float>, int> shade;
  for (const POLY_NODE& v : lumbo3D.meshes[4000].frames[0].triangles)
    shade[{v.position[0], v.position[2]}] = v.colourIndex;
  int repeats = 0;
  for (const auto& [at, index] : shade)
    for (const auto& next : {std::pair{at.first + 32, at.second}, std::pair{at.first, at.second + 32}})
      if (std::max(std::fabs(at.first), std::fabs(at.second)) <= 16 && shade.count(next)) {
        EXPECT_EQ(shade[next], index) << at.first << ", " << at.second;
        ++repeats;
      }
  EXPECT_GT(repeats, 500);

  // The witch is about 2 units and faces -z: the broom's stick reaches further forward than its
  // bristles backward.
  const Bounds hag = Measure("hag.ddd");
  EXPECT_NEAR(std::max({hag.Size(0), hag.Size(1), hag.Size(2)}), 2.2, 0.6);
  EXPECT_LT(hag.lo[2], -1.1);

  // The sky box is the upper half of a unit box around its origin (the ground hides the rest);
  // scaled by 900 it stays inside the far plane of 1500 along every wall's middle (the 8-bit
  // quantisation may cut one step off the top).
  const Bounds sky = Measure("skybox.ddd");
  for (int a = 0; a < 3; ++a) {
    EXPECT_FLOAT_EQ(sky.lo[a], a == 1 ? 0 : -1);
    EXPECT_NEAR(sky.hi[a], 1, 2.0 / 255);
  }
}

TEST(GeneratedMedia, PicturesHaveTheirSizesAndTransparency) {
  constexpr std::uint32_t kKey = 0x8000FF;
  // Textures mapped by whole coordinates need power-of-two sides.
  std::map<std::string, BmpFile> bmp;
  for (auto [name, side] : {std::pair{"moon", 48}, {"skybox", 512}, {"cloud", 256}}) {
    ASSERT_TRUE(ReadBmpFile((kDir + name + ".bmp").c_str(), &bmp[name])) << name;
    EXPECT_EQ(std::make_pair(bmp[name].header.width, bmp[name].header.height), std::make_pair(side, side)) << name;
  }
  // The moon: a round disc, transparent outside.
  EXPECT_EQ((std::array{BmpPixel(bmp["moon"], 0, 0), BmpPixel(bmp["moon"], 24, 0)}), (std::array{kKey, kKey}));
  EXPECT_NE(BmpPixel(bmp["moon"], 24, 24), kKey);
  // Clouds: each of the nine cells holds some cloud, mostly transparent, and nothing outside
  // the box the game's slabs show (0.12..0.88 across, 0.25..0.75 up).
  for (int cell = 0; cell < 9; ++cell) {
    const int x0 = 256 * (cell % 3) / 3, y0 = 256 * (cell / 3) / 3;
    int opaque = 0, outside = 0;
    for (int y = 0; y < 85; ++y)
      for (int x = 0; x < 85; ++x) {
        const bool key = BmpPixel(bmp["cloud"], x0 + x, y0 + y) == kKey;
        outside += !key && (x <= 11 || y <= 21 || x >= 74 || y >= 63);
        opaque += !key;
      }
    EXPECT_EQ(outside, 0) << cell;
    EXPECT_GT(opaque, 85 * 85 / 30) << cell;
    EXPECT_LT(opaque, 85 * 85 / 2) << cell;
  }
}

}  // namespace
