// Pixels, lines, rectangles, polygons and the viewport, drawn with real OpenGL.
#include <array>

#include "display/Display2D.h"
#include "DisplaySupport.h"

namespace display_test {
namespace {

using PrimitiveTest = DisplayTest;
constexpr double kWhite = 0xFFFFFF;

// A polygon textured with slot n through the points {x, y, tx, ty, colour}.
void Poly(double n, std::initializer_list<std::array<double, 5>> points) {
  STARTPOLY(n);
  for (const auto& p : points) POLYVECTOR(p[0], p[1], p[2], p[3], p[4]);
  ENDPOLY();
}

TEST_F(PrimitiveTest, WhatEachPrimitiveLights) {
  const std::pair<std::function<void()>, Lit> cases[] = {
      // Rectangles cover both corners in any order; coordinates are truncated.
      {[] { FILLRECT(10, 10, 20, 20, 0x00FF00); }, {{10, 10, 21, 21}, 121}},
      {[] { FILLRECT(20.9, 20.9, 10, 10, 0x00FF00); }, {{10, 10, 21, 21}, 121}},
      {[] { FILLRECT(10, 10, 20, 10, 0x00FF00); }, {{10, 10, 21, 11}, 11}},
      {[] { FILLRECT(0, 0, kWidth, kHeight, 0x804020); }, {{0, 0, kWidth, kHeight}, kWidth * kHeight}},
      // Pixels and lines include both ends.
      {[] { SETPIXEL(5, 5, 255); }, {{5, 5, 6, 6}, 1}},
      {[] { DRAWLINE(0, 0, 0, 0, kWhite); }, {{0, 0, 1, 1}, 1}},
      {[] { DRAWLINE(5, 7, 15, 7, kWhite); }, {{5, 7, 16, 8}, 11}},
      {[] { DRAWLINE(30, 10, 30, 20, kWhite); }, {{30, 10, 31, 21}, 11}},
      // Polygons are counter-clockwise fans: clockwise on screen is culled, fewer than three
      // points draw nothing, a slot beyond the table draws vertex colours only.
      {[] { Poly(-1, {{0, 0, 0, 0, kWhite}, {100, 100, 0, 0, kWhite}, {0, 100, 0, 0, kWhite}}); }, {}},
      {[] { Poly(-1, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 0, kWhite}}); }, {}},
      // The viewport moves and clips drawing.
      {[] { VIEWPORT(100, 50, 200, 100), FILLRECT(-5, 0, 1000, 1000, 0x00FF00); }, {{100, 50, 300, 150}, 20000}},
      {[] { Poly(5000, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 1, kWhite}, {100, 100, 1, 1, kWhite}}); }, {{0, 1, 99, 100}, -1}},
  };
  for (const auto& [draw, lit] : cases) {
    Lumbo.Make2DViewport(0, 0, 0, 0);
    const Lit got = Drawn(draw);
    EXPECT_EQ(got.box, lit.box) << lit.box;
    EXPECT_EQ(lit.count < 0 ? -1 : got.count, lit.count) << lit.box;  // -1: any number
  }
  EXPECT_EQ(Pixel(10, 90), 0xFFFFFFu);
  EXPECT_EQ(Pixel(90, 10), 0u);
  VIEWPORT(10, 10, 0, 100);  // a zero size means the whole window
  EXPECT_EQ(std::make_pair(Lumbo.viewport[2], Lumbo.viewport[3]), std::make_pair(kWidth, kHeight));
  // Drawing a polygon again repeats it; a long point list keeps its points as it grows.
  glClear(GL_COLOR_BUFFER_BIT);
  ENDPOLY();
  EXPECT_EQ(Pixel(10, 90), 0xFFFFFFu);
  STARTPOLY(-1);
  for (int i = 0; i < 700; ++i) POLYVECTOR(i, 0, 0, 0, 0);
  EXPECT_EQ(g_PolyPoints.count, 700);
  EXPECT_EQ(std::make_pair(g_PolyPoints.data[1].x, g_PolyPoints.data[699].x), std::make_pair(1.0f, 699.0f));
}

TEST_F(PrimitiveTest, ColoursAlphaAndTextures) {
  // Colours keep only the low 32 bits of the number; outside the window there is nothing.
  SETPIXEL(50, 50, 4294967296.0 + 0x123456);
  EXPECT_EQ(GETPIXEL(50, 50), 0x123456);
  EXPECT_EQ(GETPIXEL(-1, 0) + GETPIXEL(0, kHeight), 0);
  // Translucent white is half colour, half alpha: (127,127,127) at alpha 127 over black and
  // over white 63 + 128; the key colour is drawn with alpha 0.
  FILLRECT(20, 0, 29, 9, 0xFFFFFF);
  ALPHAMODE(-0.5);
  FILLRECT(0, 0, 9, 9, 0xFFFFFF);
  FILLRECT(20, 0, 29, 9, 0xFFFFFF);
  ALPHAMODE(-1);
  FILLRECT(40, 0, 49, 9, 0x8000FF);
  EXPECT_EQ((std::vector<std::uint32_t>{Pixel(5, 5), Pixel(25, 5), Pixel(45, 5)}),
            (std::vector<std::uint32_t>{0x3F3F3F, 0xBFBFBF, 0}));
  // Primitives leave the 2D state as they found it.
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 1.0f);
  ALPHAMODE(0);

  // Colours are interpolated between the points.
  Poly(-1, {{200, 0, 0, 0, 0x0000FF}, {200, 100, 0, 0, 0x00FF00}, {300, 100, 0, 0, 0xFF0000}});
  for (int shift : {0, 8, 16}) EXPECT_GT((Pixel(230, 70) >> shift) & 255, 20u) << shift;
  // A textured polygon uses the whole texture, ty down: a 4 x 4 picture, top-left quadrant
  // red, the rest blue, seen away from the wrapped edges, where filtering mixes.
  LOADSPRITE(SaveBmp("quad.bmp", 4, 4, 24, [](int x, int y) { return x < 2 && y < 2 ? 0x0000FFu : 0xFF0000u; }).c_str(), 20);
  Poly(20, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 1, kWhite}, {100, 100, 1, 1, kWhite}, {100, 0, 1, 0, kWhite}});
  EXPECT_EQ(std::make_pair(Pixel(30, 30), Pixel(70, 70)), std::make_pair(0x0000FFu, 0xFF0000u));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
}  // namespace display_test
