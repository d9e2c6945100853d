// Pixels, lines, rectangles, polygons and the viewport, drawn with real OpenGL.
#include <array>

#include "display/Display2D.h"
#include "DisplaySupport.h"

namespace display_test {
namespace {

using PrimitiveTest = DisplayTest;
constexpr double kWhite = 0xFFFFFF;

TEST_F(PrimitiveTest, FillRectCoversBothCornersInAnyOrder) {
  EXPECT_EQ(Drawn([] { FILLRECT(10, 10, 20, 20, 0x00FF00); }), (Lit{{10, 10, 21, 21}, 121}));
  EXPECT_EQ(Drawn([] { FILLRECT(20.9, 20.9, 10, 10, 0x00FF00); }), (Lit{{10, 10, 21, 21}, 121}));  // truncated
  EXPECT_EQ(Drawn([] { FILLRECT(10, 10, 20, 10, 0x00FF00); }), (Lit{{10, 10, 21, 11}, 11}));
  // The whole window, as the game paints its sky.
  FILLRECT(0, 0, kWidth, kHeight, 0x804020);
  EXPECT_EQ(Pixel(0, 0), 0x804020u);
  EXPECT_EQ(Pixel(kWidth - 1, kHeight - 1), 0x804020u);
}

TEST_F(PrimitiveTest, PixelsAndLinesIncludeBothEnds) {
  EXPECT_EQ(Drawn([] { SETPIXEL(5, 5, 255); }), (Lit{{5, 5, 6, 6}, 1}));
  EXPECT_EQ(GETPIXEL(5, 5), 255);
  EXPECT_EQ(Drawn([] { DRAWLINE(0, 0, 0, 0, kWhite); }), (Lit{{0, 0, 1, 1}, 1}));
  EXPECT_EQ(Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(Drawn([] { DRAWLINE(5, 7, 15, 7, kWhite); }), (Lit{{5, 7, 16, 8}, 11}));
  EXPECT_EQ(Drawn([] { DRAWLINE(30, 10, 30, 20, kWhite); }).box, (Box{30, 10, 31, 21}));
  // Colours keep only the low 32 bits of the number.
  SETPIXEL(50, 50, 4294967296.0 + 0x123456);
  EXPECT_EQ(GETPIXEL(50, 50), 0x123456);
  // Outside the window there is nothing to read.
  EXPECT_EQ(GETPIXEL(-1, 0), 0);
  EXPECT_EQ(GETPIXEL(0, kHeight), 0);
}

TEST_F(PrimitiveTest, TranslucentWhiteIsHalfColourHalfAlpha) {
  ALPHAMODE(-0.5);
  FILLRECT(0, 0, 9, 9, 0xFFFFFF);  // (127,127,127) at alpha 127 over black
  EXPECT_EQ(Pixel(5, 5), 0x3F3F3Fu);
  ALPHAMODE(0);
  FILLRECT(20, 0, 29, 9, 0xFFFFFF);
  ALPHAMODE(-0.5);
  FILLRECT(20, 0, 29, 9, 0xFFFFFF);  // over white: 63 + 128
  EXPECT_EQ(Pixel(25, 5), 0xBFBFBFu);
  // The key colour is drawn with alpha 0, so translucent drawing leaves nothing.
  ALPHAMODE(-1);
  FILLRECT(40, 0, 49, 9, 0x8000FF);
  EXPECT_EQ(Pixel(45, 5), 0u);
  // Primitives leave the 2D state as they found it.
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 1.0f);
}

// A polygon textured with slot n through the points {x, y, tx, ty, colour}.
void Poly(double n, std::initializer_list<std::array<double, 5>> points) {
  STARTPOLY(n);
  for (const auto& p : points) POLYVECTOR(p[0], p[1], p[2], p[3], p[4]);
  ENDPOLY();
}

TEST_F(PrimitiveTest, PolygonsAreCounterClockwiseFansWithShading) {
  Poly(-1, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 0, kWhite}, {100, 100, 0, 0, kWhite}});
  EXPECT_GT(LitCount(), 4000);
  EXPECT_EQ(Pixel(10, 90), 0xFFFFFFu);
  EXPECT_EQ(Pixel(90, 10), 0u);
  // Clockwise on screen: culled.
  EXPECT_EQ(Drawn([] { Poly(-1, {{0, 0, 0, 0, kWhite}, {100, 100, 0, 0, kWhite}, {0, 100, 0, 0, kWhite}}); }), Lit{});

  // Colours are interpolated between the points.
  Poly(-1, {{200, 0, 0, 0, 0x0000FF}, {200, 100, 0, 0, 0x00FF00}, {300, 100, 0, 0, 0xFF0000}});
  const std::uint32_t mid = Pixel(230, 70);
  EXPECT_GT(mid & 255, 20u);
  EXPECT_GT((mid >> 8) & 255, 20u);
  EXPECT_GT((mid >> 16) & 255, 20u);
  // Fewer than three points draw nothing; drawing again repeats the polygon.
  EXPECT_EQ(Drawn([] { Poly(-1, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 0, kWhite}}); }), Lit{});
  POLYVECTOR(100, 100, 0, 0, kWhite);
  ENDPOLY();
  ENDPOLY();
  EXPECT_EQ(Pixel(10, 90), 0xFFFFFFu);
  // A long point list keeps its points as it grows.
  STARTPOLY(-1);
  for (int i = 0; i < 700; ++i) POLYVECTOR(i, 0, 0, 0, 0);
  EXPECT_EQ(g_PolyPoints.count, 700);
  EXPECT_EQ(g_PolyPoints.data[1].x, 1.0f);
  EXPECT_EQ(g_PolyPoints.data[699].x, 699.0f);
}

TEST_F(PrimitiveTest, TexturedPolygonUsesWholeTextureWithTyDown) {
  // 4 x 4 picture: top-left quadrant red, the rest blue.
  const std::string path = SaveBmp("quad.bmp", 4, 4, 24, [](int x, int y) {
    return x < 2 && y < 2 ? 0x0000FFu : 0xFF0000u;
  });
  LOADSPRITE(path.c_str(), 20);
  Poly(20, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 1, kWhite}, {100, 100, 1, 1, kWhite}, {100, 0, 1, 0, kWhite}});
  // Away from the wrapped edges, where filtering mixes in the opposite side.
  EXPECT_EQ(Pixel(30, 30), 0x0000FFu);
  EXPECT_EQ(Pixel(70, 70), 0xFF0000u);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  // A slot beyond the table draws vertex colours only.
  glClear(GL_COLOR_BUFFER_BIT);
  Poly(5000, {{0, 0, 0, 0, 0x00FF00}, {0, 100, 0, 1, 0x00FF00}, {100, 100, 1, 1, 0x00FF00}});
  EXPECT_EQ(Pixel(10, 90), 0x00FF00u);
}

TEST_F(PrimitiveTest, ViewportMovesAndClipsDrawing) {
  const std::string path = SaveBmp("vp.bmp", 16, 16, 24, [](int, int) { return 0xFFFFFFu; });
  LOADSPRITE(path.c_str(), 21);
  VIEWPORT(100, 50, 200, 100);
  SPRITE(21, 0, 0);
  EXPECT_EQ(LitBox(), (Box{100, 50, 116, 66}));
  FILLRECT(0, 0, 1000, 1000, 0x00FF00);
  EXPECT_EQ(LitBox(), (Box{100, 50, 300, 150}));
  VIEWPORT(10, 10, 0, 100);  // a zero size means the whole window
  EXPECT_EQ(Lumbo.viewport[2], kWidth);
  EXPECT_EQ(Lumbo.viewport[3], kHeight);
}

}  // namespace
}  // namespace display_test
