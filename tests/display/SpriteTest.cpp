// Loading, drawing and colliding sprites, drawn with real OpenGL and read back.
#include <filesystem>

#include "DisplaySupport.h"
#include "display/Bitmap.h"

namespace display_test {
namespace {

constexpr std::uint32_t kOrange = 0x3264C8;  // red 200, green 100, blue 50

std::uint32_t Flat(int, int) { return kOrange; }

std::pair<double, double> SpriteSize(double n) {
  double w = 7, h = 7;
  GETSPRITESIZE(n, w, h);
  return {w, h};
}

class SpriteTest : public DisplayTest {
 protected:
  // Loads a picture into slot n and checks it arrived.
  void Load(int n, int w, int h, const std::function<std::uint32_t(int, int)>& colour) {
    const std::string path = SaveBmp("sprite" + std::to_string(n) + ".bmp", w, h, 24, colour);
    LOADSPRITE(path.c_str(), n);
    ASSERT_EQ(Lumbo.imageWidth[n], w);
    ASSERT_NE(Lumbo.textureNames[n][0], 0u);
  }
};

TEST_F(SpriteTest, LoadsIntoPowerOfTwoTextureAndDrawsAtImageSize) {
  Load(1, 100, 50, Flat);
  EXPECT_EQ(Lumbo.textureWidth[1], 128);
  EXPECT_EQ(Lumbo.textureHeight[1], 64);
  EXPECT_EQ(SpriteSize(1), std::make_pair(100.0, 50.0));
  SPRITE(1, 10, 20);
  EXPECT_EQ(LitBox(), (Box{10, 20, 110, 70}));
  EXPECT_EQ(Pixel(10, 20), kOrange);
  EXPECT_EQ(Pixel(109, 69), kOrange);
  EXPECT_EQ(Lumbo.selection.slot, 1);
  EXPECT_EQ(Lumbo.selection.secondSlot, -1);
}

TEST_F(SpriteTest, PictureIsUprightAndKeyIsExact) {
  // Top half blue-ish, bottom half green; left column keyed, second column near the key.
  Load(2, 8, 8, [](int x, int y) -> std::uint32_t {
    if (x == 0) return 0x8000FF;
    if (x == 1) return 0x7F00FF;
    return y < 4 ? 0xFF0000u : 0x00FF00u;
  });
  SPRITE(2, 100, 100);
  EXPECT_EQ(Pixel(100, 102), 0u);         // transparent
  EXPECT_EQ(Pixel(101, 102), 0x7F00FFu);  // opaque
  EXPECT_EQ(Pixel(105, 101), 0xFF0000u);
  EXPECT_EQ(Pixel(105, 106), 0x00FF00u);
}

TEST_F(SpriteTest, StretchZoomAndMirroring) {
  Load(3, 32, 32, Flat);
  EXPECT_EQ(Drawn([] { ZOOMSPRITE(3, 100, 100, 2, 2); }).box, (Box{84, 84, 148, 148}));
  EXPECT_EQ(Drawn([] { ZOOMSPRITE(3, 100, 100, -2, -2); }).box, (Box{84, 84, 148, 148}));
  EXPECT_EQ(Drawn([] { STRETCHSPRITE(3, 10, 10, 50, 20); }).box, (Box{10, 10, 60, 30}));
  EXPECT_EQ(Drawn([] { STRETCHSPRITE(3, 100, 100, -32, 32); }), Lit{});  // turned clockwise: culled
  EXPECT_EQ(Drawn([] { STRETCHSPRITE(3, 100, 100, -32, -32); }).box, (Box{68, 68, 100, 100}));  // turned by 180
}

TEST_F(SpriteTest, RotationsTurnCounterClockwiseAboutTheCentre) {
  // 40 x 20: left half red, right half green.
  Load(4, 40, 20, [](int x, int) { return x < 20 ? 0x0000FFu : 0x00FF00u; });
  EXPECT_EQ(Drawn([] { ROTOSPRITE(4, 100, 100, 90); }).box, (Box{110, 90, 130, 130}));
  EXPECT_EQ(Pixel(120, 95), 0x00FF00u);  // the right half is now on top
  EXPECT_EQ(Pixel(120, 125), 0x0000FFu);
  EXPECT_EQ(Drawn([] { ROTOZOOMSPRITE(4, 100, 100, 0, 0); }).box, (Box{100, 100, 140, 120}));  // zoom 0: image size
  EXPECT_EQ(Drawn([] { ROTOZOOMSPRITE(4, 100, 100, -270, 2); }).box, (Box{100, 70, 140, 150}));  // -270 is +90
  EXPECT_EQ(Pixel(120, 80), 0x00FF00u);
  ROTOZOOMSPRITE(4, 100, 100, -1e300, 1);  // huge angles end at once
}

TEST_F(SpriteTest, AlphaModes) {
  Load(5, 16, 16, [](int, int) { return 0x646464u; });  // grey 100
  FILLRECT(0, 0, 99, 99, 0x323232);                      // grey 50
  ALPHAMODE(2);                                          // additive, clamped to 1
  SPRITE(5, 10, 10);
  EXPECT_EQ(Pixel(15, 15), 0x969696u);
  ALPHAMODE(-0.5);  // translucent and half as bright: 0.5 x (0.5 x 100) + 0.5 x 50
  SPRITE(5, 40, 40);
  EXPECT_NEAR(static_cast<int>(Pixel(45, 45) & 255), 50, 1);
  ALPHAMODE(0);  // opaque again: no blending with the grey below
  SPRITE(5, 70, 70);
  EXPECT_EQ(Pixel(75, 75), 0x646464u);
  // The effect draw ignores the alpha's darkening when untinted.
  ALPHAMODE(-0.5);
  ROTOZOOMSPRITE(5, 200, 200, 0, 1);
  EXPECT_NEAR(static_cast<int>(Pixel(205, 205) & 255), 50, 1);  // 0.5 x 100 over black
}

TEST_F(SpriteTest, PixelCollisionUsesOpaquePixelsOnly) {
  // 10 x 10, opaque in the left half only.
  Load(6, 10, 10, [](int x, int) { return x < 5 ? 0xFFFFFFu : 0x8000FFu; });
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 5, 0), 0);  // only a's transparent half meets b's opaque half
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 3, 0), 1);
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 3, 9), 1);
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 3, 10), 0);  // touching rows
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 10, 0), 0);  // touching columns
  // Slots outside the table or never loaded never collide.
  EXPECT_EQ(SPRCOLL(6, 0, 0, 4096, 0, 0), 0);
  EXPECT_EQ(SPRCOLL(-1, 0, 0, 6, 0, 0), 0);
  EXPECT_EQ(SPRCOLL(6, 0, 0, 77, 0, 0), 0);
  // Reloading a slot replaces its mask: now wholly opaque.
  Load(6, 10, 10, Flat);
  EXPECT_EQ(SPRCOLL(6, 0, 0, 6, 5, 0), 1);

  // Rectangles: touching edges count, negative sizes reach back.
  auto box = [](auto... a) {
    double r = -1;
    BOXCOLL(r, a...);
    return r;
  };
  EXPECT_EQ(box(0, 0, 10, 10, 10, 0, 5, 5), 1);
  EXPECT_EQ(box(0, 0, 10, 10, 10.5, 0, 5, 5), 0);
  EXPECT_EQ(box(10, 10, -5, -5, 6, 6, 1, 1), 1);
  EXPECT_EQ(box(0, 0, 10, 10, 2, 11, 1, 1), 0);
}

TEST_F(SpriteTest, GrabbedAreaBecomesOpaqueSprite) {
  FILLRECT(5, 5, 14, 14, 0x00FF00);
  GRABSPRITE(7, 5, 5, 10, 10);
  EXPECT_EQ(Lumbo.textureWidth[7], 32);
  EXPECT_EQ(Lumbo.textureHeight[7], 32);
  EXPECT_EQ(Lumbo.textureNames[7][1], 0u);
  EXPECT_EQ(Drawn([] { SPRITE(7, 100, 200); }).box, (Box{100, 200, 110, 210}));
  EXPECT_EQ(Pixel(100, 200), 0x00FF00u);
  // Black grabbed pixels are opaque too: they collide.
  glClear(GL_COLOR_BUFFER_BIT);
  GRABSPRITE(8, 300, 300, 4, 4);
  EXPECT_EQ(SPRCOLL(8, 0, 0, 8, 2, 2), 1);
  // Sizes the texture cannot hold grab nothing.
  GRABSPRITE(9, 0, 0, 0, 10);
  GRABSPRITE(9, 0, 0, -5, 10);
  EXPECT_EQ(Lumbo.textureWidth[9], -1);
}

TEST_F(SpriteTest, FailedLoadsAndNumbersOutsideTheTable) {
  Load(10, 8, 8, Flat);
  const GLuint before = Lumbo.textureNames[10][0];
  LOADSPRITE(TempPath("no_such_file.bmp").c_str(), 10);  // unresolved: unchanged
  EXPECT_EQ(Lumbo.textureNames[10][0], before);
  const std::string junk = TempPath("junk.bmp");
  WriteFile(junk, std::vector<unsigned char>(100, 'B'));
  LOADSPRITE(junk.c_str(), 10);  // not a bitmap: emptied
  EXPECT_EQ(Lumbo.textureWidth[10], -1);
  EXPECT_EQ(Lumbo.textureNames[10][0], 0u);
  const std::string dir = TempPath("folder.bmp");
  std::filesystem::create_directories(dir);
  Load(10, 8, 8, Flat);
  LOADSPRITE(dir.c_str(), 10);  // a directory is not found as a file
  EXPECT_EQ(Lumbo.textureWidth[10], 8);
  EXPECT_FALSE(Lumbo.LoadSprite(10, dir.c_str(), kSpriteColourKey, false));  // nor read as one
  EXPECT_EQ(Lumbo.textureWidth[10], -1);
  // Names are found whatever their letter case.
  SaveBmp("winname.bmp", 4, 4, 24, Flat);
  LOADSPRITE(TempPath("WinName.BMP").c_str(), 15);
  EXPECT_EQ(Lumbo.imageWidth[15], 4);

  const std::string good = SaveBmp("good.bmp", 4, 4, 24, Flat);
  LOADSPRITE(good.c_str(), 4096);
  LOADSPRITE(good.c_str(), -1);
  LOADBUMPTEXTURE(good.c_str(), 1e30);
  EXPECT_EQ(SpriteSize(4096), std::make_pair(0.0, 0.0));
  SPRITE(4096, 0, 0);
  SPRITE(-5, 0, 0);
  ROTOSPRITE(99999, 0, 0, 10);
  ZOOMSPRITE(-1, 0, 0, 2, 2);
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
  EXPECT_EQ(LitCount(), 0);
}

// Width and height of a level of texture name.
std::pair<int, int> LevelSize(GLuint name, int level) {
  GLint w = 0, h = 0;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  return {w, h};
}

TEST_F(SpriteTest, MipmappedTwinHasTheWholeChain) {
  Load(11, 64, 32, Flat);
  ASSERT_NE(Lumbo.textureNames[11][1], 0u);
  std::vector<std::pair<int, int>> levels;
  for (int level = 0; level < 7; ++level) levels.push_back(LevelSize(Lumbo.textureNames[11][1], level));
  EXPECT_EQ(levels, (std::vector<std::pair<int, int>>{{64, 32}, {32, 16}, {16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}}));
  // The smallest level of a uniform picture keeps its colour.
  const std::vector<unsigned char> texel = TexImage(Lumbo.textureNames[11][1], 6, 1, 1);
  EXPECT_EQ(texel[0], 200);
  EXPECT_EQ(texel[3], 255);
  // A texture higher than wide: levels 2x8, 1x4, 1x2, 1x1.
  Load(12, 2, 8, Flat);
  EXPECT_EQ(LevelSize(Lumbo.textureNames[12][1], 3), std::make_pair(1, 1));
}

TEST_F(SpriteTest, BumpTextureHoldsNormals) {
  // Height (blue) 0, 60, 120, 180 over the first four columns, then flat.
  const std::string path = SaveBmp("bump.bmp", 8, 8, 24, [](int x, int) { return 0x3C0000u * std::min(x, 3); });
  LOADBUMPTEXTURE(path.c_str(), 13);
  ASSERT_NE(Lumbo.textureNames[13][0], 0u);
  const std::vector<unsigned char> texels = TexImage(Lumbo.textureNames[13][0], 0, 8, 8);
  auto normal = [&](int x) { return std::vector<int>(&texels[(4 * 8 + x) * 4], &texels[(4 * 8 + x) * 4 + 4]); };
  EXPECT_EQ(normal(5), (std::vector<int>{127, 127, 255, 255}));  // flat: straight up, alpha kept
  EXPECT_LT(normal(1)[0], 127);  // rising to the right: leaning back, to -x
  EXPECT_EQ(normal(1)[1], 127);
}

}  // namespace
}  // namespace display_test
