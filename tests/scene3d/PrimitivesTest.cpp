// 3D lines, axes, billboards and text, drawn with real OpenGL and read back; expected places
// come from GLM's projection of the same scene.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <tavelor/graphics2d.h>
#include <tavelor/scene3d.h>

#include "display/DisplaySupport.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;
using display_test::Box;
using display_test::Drawn;
using display_test::kHeight;
using display_test::kWidth;
using display_test::Pixel;

namespace {

constexpr int kSprite = 40;
constexpr int kFont = 3;
const glm::mat4 kFrustum = glm::frustum(-0.5523f, 0.5523f, -0.4142f, 0.4142f, 1.0f, 1000.0f);

// Window position (x, y from the top) of an eye-space point under kFrustum.
glm::vec2 Project(glm::vec3 eye) {
  const glm::vec4 c = kFrustum * glm::vec4(eye, 1);
  return {(c.x / c.w + 1) / 2 * kWidth, kHeight - (c.y / c.w + 1) / 2 * kHeight};
}

void ExpectBoxNear(const Box& got, float left, float top, float right, float bottom) {
  EXPECT_NEAR(got.left, left, 1);
  EXPECT_NEAR(got.top, top, 1);
  EXPECT_NEAR(got.right, right, 1);
  EXPECT_NEAR(got.bottom, bottom, 1);
}

class Primitives : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_test::EnsureDisplay();
    LOADSPRITE(display_test::SaveBmp("billboard.bmp", 64, 64, 24, [](int, int) { return 0x00FF00u; }).c_str(), kSprite);
    // Font cells of 8 x 16 pixels: glyph 'A' white, every other cell black (transparent).
    LOADFONT(display_test::SaveBmp("font3d.bmp", 128, 128, 24, [](int x, int y) {
               return x / 8 == 'A' % 16 && y / 16 == 'A' / 16 ? 0xFFFFFFu : 0u;
             }).c_str(), kFont);
  }
  void SetUp() override {
    ASSERT_TRUE(Lumbo.hasContext);
    glViewport(0, 0, kWidth, kHeight);
    for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST}) glDisable(cap);
    Lumbo.ApplyTextureSelection(-1, -1, 0);
    glColor4f(1, 1, 1, 1);
    Perspective();
  }
  void TearDown() override { Lumbo.Make2DViewport(0, 0, 0, 0); }
  // 45 degrees vertical, the camera at the origin looking down -z: eye space is world space.
  static void Perspective() {
    X_MAKE3D(1, 1000, 45);
    X_CAMERA(0, 0, 0, 0, 0, -1);
    glDisable(GL_DEPTH_TEST);
  }
  // One world unit per pixel, y up from the bottom of the window.
  static void PixelOrtho() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
};

}  // namespace

TEST_F(Primitives, LineWidthsAreClampedToOneAnd512) {
  PixelOrtho();
  GLfloat range[2] = {1, 1};
  glGetFloatv(GL_SMOOTH_LINE_WIDTH_RANGE, range);
  const int widest = static_cast<int>(std::min(512.0f, range[1]));
  for (auto [width, expected] : {std::pair{0.0, 1}, std::pair{1000.0, widest}, std::pair{7.0, 7}}) {
    const Box b = Drawn([w = width] { X_LINE(100, 240, 0, 540, 240, 0, w, 0xFFFFFF); }).box;
    EXPECT_NEAR(b.bottom - b.top, expected, 2) << "width " << width;
  }
  EXPECT_GE(widest, 64);
  // Colour, texture selection and line width are left as they were.
  GLfloat colour[4], width = 0;
  glGetFloatv(GL_CURRENT_COLOR, colour);
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(colour[0], Lumbo.currentAlpha);
  EXPECT_EQ(width, 1);
  EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
}

TEST_F(Primitives, AxesStartAtTheWorldOriginOfTheStoredCamera) {
  PixelOrtho();
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(identity, identity + 16, lumbo3D.cameraMatrix);
  // A leftover object transform on the model-view matrix and in the engine does not move them.
  glTranslatef(37, 41, 0);
  lumbo3D.movement[0] = 55;
  X_DRAWAXES(0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  X_DRAWAXES(100.5, 200.5, 0);  // through pixel centres
  const int row = kHeight - 1 - 200;
  EXPECT_EQ(Pixel(110, row), 0x0000FFu);  // x: red, 20 units long
  EXPECT_EQ(Pixel(125, row), 0u);
  EXPECT_EQ(Pixel(100, row - 10), 0x00FF00u);  // y: green, upwards
  EXPECT_EQ(Pixel(100, row - 25), 0u);
  lumbo3D.movement[0] = 0;
}

TEST_F(Primitives, BillboardCoversItsProjectedSquare) {
  // 64 x 64 at scale 1: a 32 x 32 square whose bottom edge is centred on the point.
  for (float scale : {1.0f, 0.5f}) {
    const Box b = Drawn([scale] { X_SPRITE(kSprite, 5, -10, -100, scale); }).box;
    const float half = 16 * scale;
    const glm::vec2 lo = Project({5 - half, -10, -100}), hi = Project({5 + half, -10 + 2 * half, -100});
    ExpectBoxNear(b, lo.x, hi.y, hi.x, lo.y);
    EXPECT_EQ(Pixel((b.left + b.right) / 2, (b.top + b.bottom) / 2), 0x00FF00u);
  }
  // With the camera moved and turned, the square still faces it: the same square around the
  // point's place in eye space.
  X_CAMERA(10, 20, 30, -30, 0, -60);
  X_CLEAR_Z();
  const glm::mat4 view = glm::lookAt(glm::vec3(10, 20, 30), glm::vec3(-30, 0, -60), glm::vec3(0, 1, 0));
  const glm::vec3 eye(10, -5, -100);
  const glm::vec3 world = glm::vec3(glm::inverse(view) * glm::vec4(eye, 1));
  const Box b = Drawn([&] { X_SPRITE(kSprite, world.x, world.y, world.z, 1); }).box;
  const glm::vec2 lo = Project(eye + glm::vec3(-16, 0, 0)), hi = Project(eye + glm::vec3(16, 32, 0));
  ExpectBoxNear(b, lo.x, hi.y, hi.x, lo.y);
  // The texture selection is kept, and culling is the mode last given to X_CULLMODE.
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(Lumbo.selection.slot, -1);
  X_CULLMODE(1);
  X_SPRITE(kSprite, 0, 0, -100, 1);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(lumbo3D.cullMode, 1);
  X_CULLMODE(0);
  // Numbers outside the table and empty slots draw nothing.
  for (double n : {-1.0, 4096.0, 5000.0, 41.0})
    EXPECT_EQ(Drawn([n] { X_SPRITE(n, 0, 0, -100, 1); }).count, 0) << n;
}

TEST_F(Primitives, TextAtAProjectedPointAndInTheWorld) {
  SETFONT(kFont);
  // Size 0: the glyph at the font's pixel size, its top-left corner at the projected point.
  const glm::vec3 at(3, 2, -20);
  const glm::vec2 p = Project(at);
  const Box b = Drawn([&] { X_PRINT("A", at.x, at.y, at.z, 0); }).box;
  ExpectBoxNear(b, p.x, p.y, p.x + 8, p.y + 16);
  EXPECT_EQ(b.right - b.left, 8);
  EXPECT_EQ(b.bottom - b.top, 16);
  // A point on the camera plane draws nothing.
  EXPECT_EQ(Drawn([] { X_PRINT("A", 1, 1, 0, 0); }).count, 0);
  // In the world: glyphs (8 x size) units square, the first one's top-left at the point.
  PixelOrtho();
  glEnable(GL_CULL_FACE);
  EXPECT_EQ(Drawn([] { X_PRINT("AA", 100, 300, 0, 2); }).box, (Box{100, kHeight - 300, 132, kHeight - 284}));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(Lumbo.selection.slot, kFirstFontSlot + kFont);
  // A font number outside the table draws nothing.
  __nCurFont = 99;
  EXPECT_EQ(Drawn([] { X_PRINT("A", 100, 300, 0, 2); }).count, 0);
  EXPECT_EQ(Drawn([] { X_PRINT("A", 100, 300, 0, 0); }).count, 0);
  SETFONT(0);
}
