// Pixels, lines, rectangles, polygons, the viewport and bitmap-font text, drawn with real
// OpenGL and read back.
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
      {[] { FILLRECT(20.9, 20.9, 10, 10, 0x00FF00); }, {{10, 10, 21, 21}, 121}},
      // Pixels and lines include both ends.
      {[] { SETPIXEL(5, 5, 255); }, {{5, 5, 6, 6}, 1}},
      {[] { DRAWLINE(5, 7, 15, 7, kWhite); }, {{5, 7, 16, 8}, 11}},
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
    EXPECT_EQ(got.box, lit.box);
    EXPECT_EQ(lit.count < 0 ? -1 : got.count, lit.count);  // -1: any number
  }
  EXPECT_EQ(Pixel(10, 90), 0xFFFFFFu);
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
  ALPHAMODE(0);

  // A textured polygon uses the whole texture, ty down: a 4 x 4 picture, top-left quadrant
  // red, the rest blue, seen away from the wrapped edges, where filtering mixes.
  LOADSPRITE(SaveBmp("quad.bmp", 4, 4, 24, [](int x, int y) { return x < 2 && y < 2 ? 0x0000FFu : 0xFF0000u; }).c_str(), 20);
  Poly(20, {{0, 0, 0, 0, kWhite}, {0, 100, 0, 1, kWhite}, {100, 100, 1, 1, kWhite}, {100, 0, 1, 0, kWhite}});
  EXPECT_EQ(std::make_pair(Pixel(30, 30), Pixel(70, 70)), std::make_pair(0x0000FFu, 0xFF0000u));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

// Glyph g of the test fonts is filled with a colour of its own, never black.
std::uint32_t GlyphColour(int g) { return static_cast<std::uint32_t>(0x10000 * (40 + g) + 0x100 * (255 - g) + 100); }

// A font picture of 16 x 8 cells, each cell a solid block of its colour; width/16 pixels wide.
std::string MakeFont(const std::string& name, int width) {
  return SaveBmp(name, width, 128, 24, [=](int x, int y) { return GlyphColour((y / 16) * 16 + std::min(x * 16 / width, 15)); });
}

std::pair<double, double> FontSize() {
  double w = -1, h = -1;
  GETFONTSIZE(w, h);
  return {w, h};
}

using TextTest = DisplayTest;

TEST_F(TextTest, GlyphsLandOnWholePixelCells) {
  LOADFONT(MakeFont("font128.bmp", 128).c_str(), 1);
  ASSERT_EQ(__nCurFont, 1);
  EXPECT_EQ(FontSize(), std::make_pair(8.0, 16.0));
  const char high[] = {static_cast<char>(255), static_cast<char>(129), 0};  // glyphs 1 and 127
  // Every byte is a glyph (no line break), numbers have no trailing point; {x, y, glyph}.
  const std::tuple<std::function<void()>, Box, std::vector<std::array<int, 3>>> cases[] = {
      {[] { PRINT("AB", 10.2, 5); }, {11, 5, 27, 21}, {{11, 5, 'A'}, {18, 20, 'A'}, {19, 5, 'B'}, {26, 20, 'B'}}},
      {[] { PRINT("A\nB", 0, 0); }, {0, 0, 24, 16}, {{12, 8, 10}, {20, 8, 'B'}}},
      {[&] { PRINT(high, 0, 100); }, {0, 100, 16, 116}, {{4, 108, 1}, {12, 108, 127}}},
      {[] { PRINT(100, 0, 0); }, {0, 0, 24, 16}, {{4, 8, '1'}, {20, 8, '0'}}},
      {[] { PRINT(0.5, 0, 0); }, {0, 0, 24, 16}, {{12, 8, '.'}}},
  };
  for (const auto& [print, box, glyphs] : cases) {
    EXPECT_EQ(Drawn(print).box, box);
    for (auto [x, y, g] : glyphs) EXPECT_EQ(Pixel(x, y), GlyphColour(g)) << x << "," << y;
  }
  EXPECT_EQ(Lumbo.selection.slot, kFirstFontSlot + 1);
  Lumbo.Text3D(1, nullptr, 0, 0, 0, 1);  // no text: nothing
  // Narrow fonts use whole-pixel cells.
  LOADFONT(MakeFont("font100w.bmp", 100).c_str(), 4);
  EXPECT_EQ(FontSize().first, 6);
  EXPECT_EQ(Drawn([] { PRINT("AB", 0, 0); }).box, (Box{0, 0, 12, 16}));
}

TEST_F(TextTest, FontNumbersAndBlackGlyphPixels) {
  SETFONT(20);
  EXPECT_EQ(__nCurFont, 15);
  SETFONT(-1);
  EXPECT_EQ(__nCurFont, 0);
  // Black glyph pixels are transparent.
  LOADFONT(SaveBmp("font_outline.bmp", 128, 128, 24, [](int x, int y) { return (x % 8 < 4 && y % 16 < 8) ? 0xFFFFFFu : 0u; }).c_str(), 2);
  FILLRECT(0, 0, 100, 100, 0x0000FF);
  PRINT("A", 10, 10);
  EXPECT_EQ(std::make_pair(Pixel(11, 11), Pixel(16, 20)), std::make_pair(0xFFFFFFu, 0x0000FFu));
}

}  // namespace
}  // namespace display_test
