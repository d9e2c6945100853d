// Loading, drawing and colliding sprites, drawn with real OpenGL and read back.
#include <filesystem>

#include "DisplaySupport.h"
#include "display/Bitmap.h"

namespace display_test {
namespace {

constexpr std::uint32_t kOrange = 0x3264C8;  // red 200, green 100, blue 50

std::uint32_t Flat(int, int) { return kOrange; }


using SpriteTest = DisplayTest;

// Loads a picture into slot n.
void Load(int n, int w, int h, const std::function<std::uint32_t(int, int)>& colour) {
  LOADSPRITE(SaveBmp("sprite" + std::to_string(n) + ".bmp", w, h, 24, colour).c_str(), n);
}

TEST_F(SpriteTest, DrawsUprightAtImageSizeWithAnExactKey) {
  Load(1, 100, 50, Flat);
  SPRITE(1, 10, 20);
  EXPECT_EQ(Scan().box, (Box{10, 20, 110, 70}));
  EXPECT_EQ(Pixel(109, 69), kOrange);
  // Red on top, green below; left column keyed, second column near the key; higher than wide,
  // so its smallest mipmaps keep the first column.
  Load(2, 8, 16, [](int x, int y) -> std::uint32_t { return x == 0 ? 0x8000FF : x == 1 ? 0x7F00FF : y < 4 ? 0xFF : 0xFF00; });
  SPRITE(2, 100, 100);
  for (auto [x, y, c] : {std::array{100, 102, 0}, {101, 102, 0x7F00FF}, {105, 101, 0xFF}, {105, 106, 0xFF00}})
    EXPECT_EQ(Pixel(x, y), static_cast<std::uint32_t>(c)) << x << "," << y;
}

TEST_F(SpriteTest, StretchZoomRotateAndMirror) {
  Load(3, 32, 32, Flat);
  // 40 x 20: left half red, right half green.
  Load(4, 40, 20, [](int x, int) { return x < 20 ? 0x0000FFu : 0x00FF00u; });
  const std::pair<std::function<void()>, Box> cases[] = {
      {[] { ZOOMSPRITE(3, 100, 100, 2, 2); }, {84, 84, 148, 148}},
      {[] { STRETCHSPRITE(3, 10, 10, 50, 20); }, {10, 10, 60, 30}},
      {[] { STRETCHSPRITE(3, 100, 100, -32, -32); }, {68, 68, 100, 100}},  // turned by 180
      // Rotations turn counter-clockwise about the centre: the right half is now on top.
      {[] { ROTOSPRITE(4, 100, 100, 90); }, {110, 90, 130, 130}},
      {[] { ROTOZOOMSPRITE(4, 100, 100, 0, 0); }, {100, 100, 140, 120}},  // zoom 0: image size
      {[] { ROTOZOOMSPRITE(4, 100, 100, -270, 2); }, {100, 70, 140, 150}},  // -270 is +90
  };
  for (const auto& [draw, box] : cases) EXPECT_EQ(Drawn(draw).box, box) << &draw - &cases[0].first;
  EXPECT_EQ(Pixel(120, 80), 0x00FF00u);
  EXPECT_EQ(Pixel(120, 140), 0x0000FFu);
  ROTOZOOMSPRITE(4, 100, 100, -1e300, 1);  // huge angles end at once
}

TEST_F(SpriteTest, AlphaModes) {
  Load(5, 16, 16, [](int, int) { return 0x646464u; });  // grey 100
  FILLRECT(0, 0, 99, 99, 0x323232);                      // grey 50
  // Additive, clamped to 1; translucent and half as bright: 0.5 x (0.5 x 100) + 0.5 x 50;
  // opaque again; the effect draw ignores the alpha's darkening when untinted (over black).
  const std::tuple<double, int, int> cases[] = {{2, 10, 150}, {-0.5, 40, 50}, {0, 70, 100}, {-0.5, 200, 50}};
  for (auto [mode, at, grey] : cases) {
    ALPHAMODE(mode);
    if (at == 200) ROTOZOOMSPRITE(5, at, at, 0, 1);
    else SPRITE(5, at, at);
    EXPECT_NEAR(static_cast<int>(Pixel(at + 5, at + 5) & 255), grey, 1) << mode;
  }
}

TEST_F(SpriteTest, CollisionOfOpaquePixelsAndRectangles) {
  // 10 x 10, opaque in the left half only: only a's transparent half meets b's opaque half at
  // 5; rows and columns that only touch do not collide.
  Load(6, 10, 10, [](int x, int) { return x < 5 ? 0xFFFFFFu : 0x8000FFu; });
  for (auto [a, ax, b, bx, by, hit] : {std::array{6, 0, 6, 5, 0, 0}, {6, 0, 6, 3, 0, 1}, {6, 0, 6, 3, 9, 1},
                                       {6, 0, 6, 3, 10, 0}, {6, 0, 6, 10, 0, 0}, {6, 0, 4096, 0, 0, 0},
                                       {-1, 0, 6, 0, 0, 0}, {6, 0, 77, 0, 0, 0}})  // outside the table, never loaded
    EXPECT_EQ(SPRCOLL(a, ax, 0, b, bx, by), hit) << b << " at " << bx << "," << by;
  Load(6, 10, 10, Flat);  // reloading a slot replaces its mask: now wholly opaque
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 5, 0), 1);
  // Rectangles: touching edges count, negative sizes reach back.
  for (auto [r, hit] : {std::pair{std::array<double, 8>{0, 0, 10, 10, 10, 0, 5, 5}, 1.0},
                        {{0, 0, 10, 10, 10.5, 0, 5, 5}, 0}, {{10, 10, -5, -5, 6, 6, 1, 1}, 1}, {{0, 0, 10, 10, 2, 11, 1, 1}, 0}}) {
    double got = -1;
    BOXCOLL(got, r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]);
    EXPECT_EQ(got, hit) << r[4];
  }
}

TEST_F(SpriteTest, GrabbedAreaBecomesOpaqueSprite) {
  FILLRECT(5, 5, 14, 14, 0x00FF00);
  GRABSPRITE(7, 5, 5, 10, 10);
  EXPECT_EQ(std::make_tuple(Lumbo.textureWidth[7], Lumbo.textureHeight[7], Lumbo.textureNames[7][1]), std::make_tuple(32, 32, 0u));
  EXPECT_EQ(Drawn([] { SPRITE(7, 100, 200); }).box, (Box{100, 200, 110, 210}));
  EXPECT_EQ(Pixel(100, 200), 0x00FF00u);
  // Black grabbed pixels are opaque too: they collide; sizes the texture cannot hold grab nothing.
  GRABSPRITE(8, 300, 300, 4, 4);
  GRABSPRITE(9, 0, 0, -5, 10);
  EXPECT_EQ(std::make_pair(SPRCOLL(8, 0, 0, 8, 2, 2), Lumbo.textureWidth[9]), std::make_pair(1.0, -1));
}

TEST_F(SpriteTest, FailedLoadsAndNumbersOutsideTheTable) {
  // A name that resolves to nothing leaves the slot as it was, a file that is no bitmap empties
  // it, a directory is not found as a file, nor read as one.
  const std::string junk = TempPath("junk.bmp"), dir = TempPath("folder.bmp");
  WriteFile(junk, std::vector<unsigned char>(100, 'B'));
  std::filesystem::create_directories(dir);
  for (auto [path, width] : {std::pair{TempPath("no_such_file.bmp"), 8}, {junk, -1}, {dir, 8}}) {
    Load(10, 8, 8, Flat);
    LOADSPRITE(path.c_str(), 10);
    EXPECT_EQ(std::make_pair(Lumbo.textureWidth[10], Lumbo.textureNames[10][0] > 0), std::make_pair(width, width > 0)) << path;
  }
  EXPECT_FALSE(Lumbo.LoadSprite(10, dir.c_str(), kSpriteColourKey, false));
  EXPECT_EQ(Lumbo.textureWidth[10], -1);

  const std::string good = SaveBmp("good.bmp", 4, 4, 24, Flat);
  LOADSPRITE(good.c_str(), 4096);
  LOADBUMPTEXTURE(good.c_str(), 1e30);
  double w = 7, h = 7;
  GETSPRITESIZE(4096, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(0.0, 0.0));
  SPRITE(4096, 0, 0);
  ROTOZOOMSPRITE(5000, 0, 0, 0, 1);
  GRABSPRITE(4096, 0, 0, 8, 8);
  SAVESPRITE(4096, TempPath("x.bmp").c_str());
  SPRITE(3000, 0, 0);  // a slot never loaded
  // Surface numbers outside the table do nothing either.
  EXPECT_FALSE(Lumbo.LoadSurface(kSurfaces, good.c_str()));
  EXPECT_FALSE(Lumbo.GrabSurface(-1));
  Lumbo.PasteSurface(kSurfaces);
  Lumbo.FreeSurface(-1);
  Lumbo.BlendToSurface(0, kSurfaces);
  EXPECT_EQ(Scan().count, 0);
}

TEST_F(SpriteTest, BumpNormals) {
  // Bump heights (blue) 0, 60, 120, 180 over the first four columns, then flat.
  LOADBUMPTEXTURE(SaveBmp("bump.bmp", 8, 8, 24, [](int x, int) { return 0x3C0000u * std::min(x, 3); }).c_str(), 13);
  const std::vector<unsigned char> texels = TexImage(Lumbo.textureNames[13][0], 0, 8, 8);
  auto normal = [&](int x) { return std::vector<int>(&texels[(4 * 8 + x) * 4], &texels[(4 * 8 + x) * 4 + 4]); };
  EXPECT_EQ(normal(5), (std::vector<int>{127, 127, 255, 255}));  // flat: straight up, alpha kept
  EXPECT_LT(normal(1)[0], 127);  // rising to the right: leaning back, to -x
  EXPECT_EQ(normal(1)[1], 127);
}

// Consecutive sprites keep their texture state, so whatever else uses OpenGL in between must
// not leave a sprite drawn with another texture or none.
TEST_F(SpriteTest, ASpriteAfterOtherDrawingLooksAsItDoesAlone) {
  Load(1, 16, 16, [](int x, int y) -> std::uint32_t { return x < 8 ? 0x3264C8u : (y < 8 ? 0x20A040u : 0x101080u); });
  Load(2, 16, 16, Flat);
  Drawn([] { SPRITE(1, 300, 300); });
  const std::vector<unsigned char> alone = ReadBack(300, kHeight - 316, 16, 16);
  for (const auto& draw : std::vector<std::function<void()>>{
           [] { Lumbo.DrawRect(10, 10, 40, 40, 0xFFFFFF); }, [] { Lumbo.ApplyTextureSelection(2, 2, 0); },
           [] { LOADSPRITE(TempPath("sprite2.bmp").c_str(), 3); }, [] { PRINT("run", 10, 100); },
           [] { SPRITE(2, 100, 100); }}) {
    Drawn([&] { SPRITE(1, 200, 200), draw(), SPRITE(1, 300, 300); });
    EXPECT_EQ(ReadBack(300, kHeight - 316, 16, 16), alone);
  }
}

}  // namespace
}  // namespace display_test
