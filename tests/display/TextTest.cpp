// Bitmap fonts and text, drawn with real OpenGL and read back.
#include "DisplaySupport.h"

namespace display_test {
namespace {

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
    EXPECT_EQ(Drawn(print).box, box) << box;
    for (auto [x, y, g] : glyphs) EXPECT_EQ(Pixel(x, y), GlyphColour(g)) << x << "," << y;
  }
  EXPECT_EQ(Lumbo.selection.slot, kFirstFontSlot + 1);
  // Narrow fonts use whole-pixel cells.
  LOADFONT(MakeFont("font100w.bmp", 100).c_str(), 4);
  EXPECT_EQ(FontSize().first, 6);
  EXPECT_EQ(Drawn([] { PRINT("AB", 0, 0); }).box, (Box{0, 0, 12, 16}));
}

TEST_F(TextTest, FontNumbersBlackAndTheAlphaMode) {
  SETFONT(20);
  EXPECT_EQ(__nCurFont, 15);
  SETFONT(-1);
  EXPECT_EQ(__nCurFont, 0);
  LOADFONT(MakeFont("font_hi.bmp", 128).c_str(), 99);
  EXPECT_EQ(__nCurFont, 15);
  EXPECT_EQ(Lumbo.imageWidth[kFirstFontSlot + 15], 128);
  // A missing file changes the current font only; a font never loaded prints nothing.
  LOADFONT(TempPath("missing_font.bmp").c_str(), 3);
  EXPECT_EQ(std::make_pair(__nCurFont, Lumbo.textureWidth[kFirstFontSlot + 3]), std::make_pair(3, -1));
  EXPECT_EQ(Drawn([] { PRINT("ABC", 0, 0); }).count, 0);
  EXPECT_EQ(FontSize(), std::make_pair(0.0, 0.0));

  // Black glyph pixels are transparent; text follows the alpha mode.
  LOADFONT(SaveBmp("font_outline.bmp", 128, 128, 24, [](int x, int y) { return (x % 8 < 4 && y % 16 < 8) ? 0xFFFFFFu : 0u; }).c_str(), 2);
  FILLRECT(0, 0, 100, 100, 0x0000FF);
  PRINT("A", 10, 10);
  EXPECT_EQ(std::make_pair(Pixel(11, 11), Pixel(16, 20)), std::make_pair(0xFFFFFFu, 0x0000FFu));
  ALPHAMODE(-0.5);
  PRINT("A", 50, 50);
  EXPECT_NEAR(static_cast<int>((Pixel(51, 51) >> 8) & 255), 64, 1);  // 0.5 x 0.5 x 255 over no green
}

// The default font the build generates next to the game: an H is two white uprights with a
// bar between them, nothing else lit; a blank lights nothing.
TEST_F(TextTest, GeneratedDefaultFont) {
  const std::string path = std::string(TAVELOR_BINARY_DIR) + "/game/smalfont.bmp";
  if (ReadFile(path).empty()) GTEST_SKIP() << "hollerquast_media not built";
  LOADFONT(path.c_str(), 0);
  EXPECT_EQ(FontSize(), std::make_pair(8.0, 16.0));
  EXPECT_EQ(Drawn([] { PRINT(" ", 0, 0); }), Lit{});
  const Box box = Drawn([] { PRINT("H", 0, 0); }).box;
  EXPECT_LE(box.right, 8);
  EXPECT_GE(box.bottom - box.top, 7);
  EXPECT_EQ(Pixel(box.left, (box.top + box.bottom) / 2 - 1), 0xFFFFFFu);
}

}  // namespace
}  // namespace display_test
