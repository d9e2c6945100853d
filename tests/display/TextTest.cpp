// Bitmap fonts and text, drawn with real OpenGL and read back.
#include "DisplaySupport.h"

namespace display_test {
namespace {

// Glyph g of the test fonts is filled with a colour of its own, never black.
std::uint32_t GlyphColour(int g) { return static_cast<std::uint32_t>(0x10000 * (40 + g) + 0x100 * (255 - g) + 100); }

// A font picture of 16 x 8 cells of cw x ch pixels, each cell a solid block of its colour.
std::string MakeFont(const std::string& name, int cw, int ch) {
  return SaveBmp(name, cw * 16, ch * 8, 24, [=](int x, int y) {
    const int g = (y / ch) * 16 + std::min(x / cw, 15);
    return GlyphColour(g);
  });
}

std::pair<double, double> FontSize() {
  double w = -1, h = -1;
  GETFONTSIZE(w, h);
  return {w, h};
}

class TextTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    LOADFONT(MakeFont("font128.bmp", 8, 16).c_str(), 1);
    ASSERT_EQ(__nCurFont, 1);
  }
};

TEST_F(TextTest, GlyphCellsLandOnWholePixels) {
  EXPECT_EQ(FontSize(), std::make_pair(8.0, 16.0));
  PRINT("AB", 10.2, 5);
  EXPECT_EQ(LitBox(), (Box{11, 5, 27, 21}));
  EXPECT_EQ(Pixel(11, 5), GlyphColour('A'));
  EXPECT_EQ(Pixel(18, 20), GlyphColour('A'));
  EXPECT_EQ(Pixel(19, 5), GlyphColour('B'));
  EXPECT_EQ(Pixel(26, 20), GlyphColour('B'));
  EXPECT_EQ(Lumbo.selection.slot, kFirstFontSlot + 1);
}

TEST_F(TextTest, EveryByteIsAGlyphAndNumbersHaveNoTrailingPoint) {
  EXPECT_EQ(Drawn([] { PRINT("A\nB", 0, 0); }).box, (Box{0, 0, 24, 16}));  // no line break: glyph 10 in place
  EXPECT_EQ(Pixel(12, 8), GlyphColour(10));
  EXPECT_EQ(Pixel(20, 8), GlyphColour('B'));
  glClear(GL_COLOR_BUFFER_BIT);
  const char high[] = {static_cast<char>(255), static_cast<char>(129), 0};
  PRINT(high, 0, 100);  // 255 shows glyph 1, 129 glyph 127
  EXPECT_EQ(Pixel(4, 108), GlyphColour(1));
  EXPECT_EQ(Pixel(12, 108), GlyphColour(127));
  EXPECT_EQ(Drawn([] { PRINT(100, 0, 0); }).box, (Box{0, 0, 24, 16}));
  EXPECT_EQ(Pixel(4, 8), GlyphColour('1'));
  EXPECT_EQ(Pixel(20, 8), GlyphColour('0'));
  EXPECT_EQ(Drawn([] { PRINT(0.5, 0, 0); }).box, (Box{0, 0, 24, 16}));
  EXPECT_EQ(Pixel(12, 8), GlyphColour('.'));
}

TEST_F(TextTest, FontNumbersAreClamped) {
  SETFONT(20);
  EXPECT_EQ(__nCurFont, 15);
  SETFONT(-1);
  EXPECT_EQ(__nCurFont, 0);
  LOADFONT(MakeFont("font_hi.bmp", 8, 16).c_str(), 99);
  EXPECT_EQ(__nCurFont, 15);
  EXPECT_EQ(Lumbo.imageWidth[kFirstFontSlot + 15], 128);
  // A missing file changes the current font only.
  LOADFONT(TempPath("missing_font.bmp").c_str(), 3);
  EXPECT_EQ(__nCurFont, 3);
  EXPECT_EQ(Lumbo.textureWidth[kFirstFontSlot + 3], -1);
  // A font never loaded prints nothing and has no size.
  PRINT("ABC", 0, 0);
  EXPECT_EQ(LitCount(), 0);
  EXPECT_EQ(FontSize(), std::make_pair(0.0, 0.0));
}

TEST_F(TextTest, BlackIsTransparentAndTextFollowsTheAlphaMode) {
  const std::string path = SaveBmp("font_outline.bmp", 128, 128, 24,
                                   [](int x, int y) { return (x % 8 < 4 && y % 16 < 8) ? 0xFFFFFFu : 0u; });
  LOADFONT(path.c_str(), 2);
  FILLRECT(0, 0, 100, 100, 0x0000FF);
  PRINT("A", 10, 10);
  EXPECT_EQ(Pixel(11, 11), 0xFFFFFFu);
  EXPECT_EQ(Pixel(16, 20), 0x0000FFu);  // black glyph pixels let the red through
  ALPHAMODE(-0.5);
  PRINT("A", 50, 50);
  EXPECT_NEAR(static_cast<int>((Pixel(51, 51) >> 8) & 255), 64, 1);  // 0.5 x 0.5 x 255 over no green
}

TEST_F(TextTest, NarrowFontsUseWholePixelCells) {
  const std::string path = SaveBmp("font100w.bmp", 100, 128, 24, [](int x, int y) {
    const int g = (y / 16) * 16 + std::min(x * 16 / 100, 15);
    return GlyphColour(g);
  });
  LOADFONT(path.c_str(), 4);
  EXPECT_EQ(FontSize().first, 6);
  PRINT("AB", 0, 0);
  EXPECT_EQ(LitBox(), (Box{0, 0, 12, 16}));
}

// The default font the build generates next to the game.
TEST_F(TextTest, GeneratedDefaultFont) {
  const std::string path = std::string(TAVELOR_BINARY_DIR) + "/game/smalfont.bmp";
  if (ReadFile(path).empty()) GTEST_SKIP() << "hollerquast_media not built";
  LOADFONT(path.c_str(), 0);
  EXPECT_EQ(FontSize(), std::make_pair(8.0, 16.0));
  EXPECT_EQ(Drawn([] { PRINT(" ", 0, 0); }), Lit{});
  PRINT("H", 0, 0);
  // The H: two white uprights with a bar between them, nothing else lit.
  const Box box = LitBox();
  EXPECT_LE(box.right, 8);
  EXPECT_GE(box.bottom - box.top, 7);
  EXPECT_EQ(Pixel(box.left, (box.top + box.bottom) / 2 - 1), 0xFFFFFFu);
}

}  // namespace
}  // namespace display_test
