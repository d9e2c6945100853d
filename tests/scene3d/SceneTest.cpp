// Projection, camera, object transform, culling, texture selection, fog, lights, and 3D lines,
// axes, billboards and text, drawn with real OpenGL and checked against GLM.
#include <random>
#include <tuple>

#include <tavelor/graphics2d.h>

#include "SceneSupport.h"

namespace scene_test {
namespace {

constexpr int kQuad = 4000, kSprite = 40, kFont = 3;

void ExpectNear(const float* got, const float* want, int n, float tolerance) {
  for (int i = 0; i < n; ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "element " << i;
}
void ExpectNear(const glm::mat4& a, const glm::mat4& b, float tolerance) { ExpectNear(&a[0][0], &b[0][0], 16, tolerance); }

void ExpectBoxNear(const Box& got, glm::vec2 topLeft, glm::vec2 bottomRight) {
  EXPECT_NEAR(got.left, topLeft.x, 1.01);
  EXPECT_NEAR(got.top, topLeft.y, 1.01);
  EXPECT_NEAR(got.right, bottomRight.x, 1.01);
  EXPECT_NEAR(got.bottom, bottomRight.y, 1.01);
}

// One world unit per pixel, y up from the bottom of the window.
void PixelOrtho() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, 0, kHeight, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

TEST_F(SceneTest, ProjectionCameraAndConversionsAgreeWithGlm) {
  // Perspective from the vertical field of view, orthographic for a negative one; the view
  // cone is 5 degrees wider, at most 89.
  for (auto [near, far, fov, cone] :
       {std::tuple{1.0f, 1000.0f, 45.0f, 50.0f}, {2.0f, 500.0f, -45.0f, 89.0f}, {1.0f, 1000.0f, 88.0f, 89.0f}}) {
    X_MAKE3D(near, far, fov);
    ExpectNear(CurrentMatrix(GL_PROJECTION_MATRIX), Projection(near, far, fov), 1e-5f);
    EXPECT_NEAR(glm::degrees(std::atan(lumbo3D.viewConeTan)), cone, 1e-3);
    EXPECT_EQ(std::tuple(glIsEnabled(GL_CULL_FACE), glIsEnabled(GL_FOG), glIsEnabled(GL_DEPTH_TEST)), std::tuple(0, 0, 1));
  }

  std::mt19937 rng(7);
  std::uniform_real_distribution<float> any(-200, 200), unit(-1, 1), fovs(20, 100);
  for (int round = 0; round < 200; ++round) {
    const float fov = fovs(rng);
    X_MAKE3D(1, 1000, fov);
    const glm::vec3 eye(any(rng), any(rng), any(rng)), target(any(rng), any(rng), any(rng));
    X_CAMERA(eye.x, eye.y, eye.z, target.x, target.y, target.z);
    const glm::mat4 view = glm::lookAt(eye, target, glm::vec3(0, 1, 0)), proj = Projection(1, 1000, fov);
    ExpectNear(CurrentMatrix(GL_MODELVIEW_MATRIX), view, 1e-3f);
    // A point in front of the camera, inside the depth range, to the window and back.
    const float distance = 5 + 300 * (unit(rng) + 1);
    const glm::vec3 p =
        eye + glm::normalize(target - eye) * distance + glm::vec3(unit(rng), unit(rng), unit(rng)) * (0.2f * distance);
    const glm::vec3 want = Project(p, view, proj);
    double sx = 0, sy = 0, sz = 0, x = 0, y = 0, z = 0;
    X_WORLD2SCREEN(p.x, p.y, p.z, sx, sy, sz);
    EXPECT_NEAR(sx, want.x, 2e-3 * (1 + std::abs(want.x)));
    EXPECT_NEAR(sy, want.y, 2e-3 * (1 + std::abs(want.y)));
    EXPECT_NEAR(sz, want.z, 1e-5);
    X_SCREEN2WORLD(sx, sy, sz, x, y, z);
    EXPECT_LT(glm::distance(glm::vec3(x, y, z), p), 1e-3f * (1 + glm::length(p - eye)));
  }
  // Impossible conversions keep their outputs: a point on the camera plane, and straight down
  // (no side vector, a singular matrix).
  X_CAMERA(0, 0, 10, 0, 0, 0);
  double sx = 7, sy = 7, sz = 7;
  X_WORLD2SCREEN(5, 3, 10, sx, sy, sz);
  X_CAMERA(0, 10, 0, 0, 0, 0);
  X_SCREEN2WORLD(320, 240, 0.5, sx, sy, sz);
  EXPECT_EQ(sx + sy + sz, 21);
}

TEST_F(SceneTest, ObjectsLandWhereGlmProjectsThemAndCullModesHideTheirFaces) {
  BuildQuad(kQuad, 40, 20, 0xFFFFFF);
  X_MAKE3D(1, 1000, 60);
  const glm::vec3 eye(30, 40, 150);
  const glm::mat4 view = glm::lookAt(eye, glm::vec3(0), glm::vec3(0, 1, 0)), proj = Projection(1, 1000, 60);
  // The first rotation given reaches the vertex first; rotations given before X_MOVEMENT are
  // forgotten, the scaling stays; X_CAMERA resets the whole transform.
  const glm::mat4 scaled = glm::scale(glm::mat4(1), glm::vec3(1.5f, 0.5f, 2));
  const glm::mat4 turned = glm::rotate(glm::rotate(glm::translate(glm::mat4(1), glm::vec3(-10, 5, 8)), glm::radians(50.0f),
                                                   glm::vec3(1, 0, 0)), glm::radians(30.0f), glm::vec3(0, 1, 0)) * scaled;
  const std::pair<std::function<void()>, glm::mat4> cases[] = {
      {[] { X_MOVEMENT(-10, 5, 8), X_SCALING(1.5, 0.5, 2), X_ROTATION(30, 0, 1, 0), X_ROTATION(50, 1, 0, 0); }, turned},
      {[] { X_ROTATION(70, 0, 0, 1), X_MOVEMENT(20, -30, 0); }, glm::translate(glm::mat4(1), glm::vec3(20, -30, 0)) * scaled},
      {[&] { X_CAMERA(eye.x, eye.y, eye.z, 0, 0, 0); }, glm::mat4(1)},
  };
  X_CAMERA(eye.x, eye.y, eye.z, 0, 0, 0);
  for (const auto& [transform, model] : cases) {
    transform();
    const Lit lit = DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
    ASSERT_GT(lit.count, 0);
    glm::vec2 lo(1e9f), hi(-1e9f);
    for (const POLY_NODE& n : lumbo3D.meshes[kQuad].frames[0].triangles) {  // the corners as quantised
      const glm::vec3 w = Project(glm::vec3(model * glm::vec4(n.position[0], n.position[1], n.position[2], 1)), view, proj);
      lo = glm::min(lo, glm::vec2(w));
      hi = glm::max(hi, glm::vec2(w));
    }
    ExpectBoxNear(lit.box, lo, hi);
  }
  for (int i = 0; i < 20; ++i) X_ROTATION(5, 0, 0, 1);
  EXPECT_EQ(lumbo3D.rotationCount, 16);  // only 16 rotations count

  // Culling: the camera looks at the counter-clockwise front, then from behind.
  X_MAKE3D(1, 1000, 45);
  const struct { float cameraZ; double mode; bool drawn; int glMode; } culls[] = {
      {100, 0, true, 0}, {100, 0.5, false, 1}, {100, -3, true, -1}, {-100, -1, false, -1}, {-100, 1, true, 1}};
  for (const auto& c : culls) {
    X_CAMERA(20, 10, c.cameraZ, 20, 10, 0);  // X_CAMERA switches culling off
    EXPECT_EQ(lumbo3D.cullMode, 0);
    X_CULLMODE(c.mode);
    EXPECT_EQ(DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); }).count > 0, c.drawn) << c.cameraZ << " " << c.mode;
    if (c.mode != 0) {
      EXPECT_EQ(__current_cullmode, c.glMode) << c.mode;
    }
  }
}

TEST_F(SceneTest, TextureOffsetAndFog) {
  // Left half red, right half blue.
  LOADSPRITE(SaveBmp("halves.bmp", 64, 64, 24, [](int x, int) { return x < 32 ? 0x0000FFu : 0xFF0000u; }).c_str(), 7);
  BuildQuad(kQuad, 40, 40, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(20, 20, 60, 20, 20, 0);
  X_SETTEXTURE(7, -1);
  double lx, ly, rx, ry, z;
  X_WORLD2SCREEN(10, 20, 0, lx, ly, z);
  X_WORLD2SCREEN(30, 20, 0, rx, ry, z);
  for (double offset : {0.0, 0.5}) {
    X_SETTEXTUREOFFSET(offset, 0);
    DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
    EXPECT_EQ(std::pair(Pixel(int(lx), int(ly)), Pixel(int(rx), int(ry))),
              offset ? std::pair(0xFF0000u, 0x0000FFu) : std::pair(0x0000FFu, 0xFF0000u));
  }
  X_MAKE3D(1, 1000, 45);
  EXPECT_EQ(lumbo3D.textureOffset[0], 0);
  X_SETTEXTURE(7, -1);
  // A texture number beyond the sprite table changes nothing.
  X_SETTEXTURE(5000, -1);
  EXPECT_EQ(Lumbo.selection.slot, 7);
  X_SETTEXTURE(-1, -1);

  // Linear fog from the near to the far plane, towards its colour.
  BuildQuad(kQuad, 4000, 4000, 0xFFFFFF);
  X_CAMERA(0, 0, 0, 0, 0, -1);
  X_FOG(0x808080, 0, 0, 0);
  for (float depth : {100.0f, 500.0f, 900.0f}) {
    X_MOVEMENT(-2000, -2000, -depth);
    DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
    const float f = (1000 - depth) / 999;
    EXPECT_NEAR(static_cast<int>(Pixel(320, 240) & 255), std::lround(255 * f + 128 * (1 - f)), 3) << depth;
  }
  X_FOG(-1, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_FOG));
}

// The light's parameters one after another (the cut-off as one number).
std::vector<float> Light(int n, std::initializer_list<GLenum> whats) {
  std::vector<float> v;
  for (GLenum what : whats) {
    GLfloat f[4] = {0, 0, 0, 0};
    glGetLightfv(GL_LIGHT0 + n, what, f);
    v.insert(v.end(), f, f + (what == GL_SPOT_CUTOFF ? 1 : 4));
  }
  return v;
}

void ExpectNear(const std::vector<float>& got, const std::vector<float>& want) {
  ExpectNear(got.data(), want.data(), static_cast<int>(std::min(got.size(), want.size())), 1e-5f);
}

TEST_F(SceneTest, Lights) {
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 0, 0, 0, -1);
  // Position, ambient and diffuse colour, and the cut-off where given.
  const struct { double light, colour, x, y, z, dx, dy, dz, cutoff, shift; int n; std::vector<float> want; } cases[] = {
      // Light 9 is light 1; a spot keeps its position, colour red.
      {9, 0x0000FF, 1, 2, 3, 0, 0, -2, 90, 0, 1, {1, 2, 3, 1, 1, 0, 0, 1, 1, 0, 0, 1, 90}},
      // 90.5 is a point light; positions are taken in the model-view coordinates of the call.
      {2, 0x00FF00, 1, 2, 3, 0, 0, -1, 90.5, 10, 2, {11, 2, 3, 1, 0, 1, 0, 1, 0, 1, 0, 1, 180}},
      // Cut-off 180: directional, shining along d, ambient only.
      {3, 0xFF0000, 0, 0, 0, 0, 0, -3, 180, 0, 3, {0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1}},
      // All six zero: ambient whatever the cut-off, at (0, 0, 1, 0) in eye space.
      {0, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 45, 0, 0, {0, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    glLoadIdentity();
    glTranslatef(static_cast<float>(c.shift), 0, 0);
    X_SPOT_LT(c.light, c.colour, c.x, c.y, c.z, c.dx, c.dy, c.dz, c.cutoff);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING) && glIsEnabled(GL_LIGHT0 + c.n));
    ExpectNear(Light(c.n, {GL_POSITION, GL_AMBIENT, GL_DIFFUSE, GL_SPOT_CUTOFF}), c.want);
  }
  ExpectNear(Light(1, {GL_SPOT_DIRECTION}), {0, 0, -1, 0});  // a unit direction
  X_AMBIENT_LT(4, 0x808080);
  ExpectNear(Light(4, {GL_AMBIENT}), {128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1});
  // Switching lights off: GL_LIGHTING goes only with the last one.
  for (int n : {0, 1, 2, 3}) X_SPOT_LT(n, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_TRUE(!glIsEnabled(GL_LIGHT1) && glIsEnabled(GL_LIGHTING));
  X_SPOT_LT(4, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  // A new 3D frame starts with no lights in the mask and no special shading.
  X_SPOT_LT(5, 0xFFFFFF, 1, 1, 1, 0, 0, -1, 30);
  X_SPOT_LT(-2, 0, 1, 1, 1, 0, 0, 0, 180);
  X_MAKE3D(1, 1000, 45);
  EXPECT_TRUE(lumbo3D.lightMask == 0 && !lumbo3D.specialShading);
  glDisable(GL_LIGHT5);
  glDisable(GL_LIGHTING);
}

// Window position of an eye-space point under the 45-degree projection.
glm::vec2 Project(glm::vec3 eye) { return scene_test::Project(eye, glm::mat4(1), Projection(1, 1000, 45)); }

TEST_F(SceneTest, LinesAndAxes) {
  PixelOrtho();
  GLfloat range[2] = {1, 1};
  glGetFloatv(GL_SMOOTH_LINE_WIDTH_RANGE, range);
  const int widest = static_cast<int>(std::min(512.0f, range[1]));
  LOADSPRITE(SaveBmp("billboard.bmp", 64, 64, 24, [](int, int) { return 0x00FF00u; }).c_str(), kSprite);
  X_SETTEXTURE(kSprite, -1);  // lines are drawn untextured all the same
  for (auto [width, expected] : {std::pair{0.0, 1}, std::pair{1000.0, widest}, std::pair{7.0, 7}}) {
    const Box b = Drawn([w = width] { X_LINE(100, 240, 0, 540, 240, 0, w, 0xFFFFFF); }).box;
    EXPECT_NEAR(b.bottom - b.top, expected, 2) << "width " << width;
  }
  X_SETTEXTURE(-1, -1);

  // Axes start at the world origin of the stored camera; a leftover object transform on the
  // model-view matrix and in the engine does not move them.
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(identity, identity + 16, lumbo3D.cameraMatrix);
  glTranslatef(37, 41, 0);
  lumbo3D.movement[0] = 55;
  X_DRAWAXES(0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  X_DRAWAXES(100.5, 200.5, 0);  // through pixel centres
  const int row = kHeight - 1 - 200;
  // x: red, 20 units long; y: green, upwards.
  EXPECT_EQ(std::tuple(Pixel(110, row), Pixel(125, row), Pixel(100, row - 10), Pixel(100, row - 25)),
            std::tuple(0x0000FFu, 0u, 0x00FF00u, 0u));
  lumbo3D.movement[0] = 0;
}

TEST_F(SceneTest, BillboardsAndText) {
  LOADSPRITE(SaveBmp("billboard.bmp", 64, 64, 24, [](int, int) { return 0x00FF00u; }).c_str(), kSprite);
  // Font cells of 8 x 16 pixels: glyph 'A' white, every other cell black (transparent).
  LOADFONT(SaveBmp("font3d.bmp", 128, 128, 24, [](int x, int y) {
             return x / 8 == 'A' % 16 && y / 16 == 'A' / 16 ? 0xFFFFFFu : 0u;
           }).c_str(), kFont);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 0, 0, 0, -1);  // eye space is world space
  glDisable(GL_DEPTH_TEST);
  // 64 x 64 at scale 1: a 32 x 32 square whose bottom edge is centred on the point. With the
  // camera moved and turned, the square still faces it: the same square around the point's
  // place in eye space.
  const glm::mat4 turned = glm::lookAt(glm::vec3(10, 20, 30), glm::vec3(-30, 0, -60), glm::vec3(0, 1, 0));
  for (float scale : {1.0f, 0.5f, 1.01f}) {
    const bool moved = scale > 1;
    if (moved) X_CAMERA(10, 20, 30, -30, 0, -60), X_CLEAR_Z();
    const glm::vec3 eye(5, -10, -100), world = moved ? glm::vec3(glm::inverse(turned) * glm::vec4(eye, 1)) : eye;
    const Box b = Drawn([&] { X_SPRITE(kSprite, world.x, world.y, world.z, scale); }).box;
    const float half = 16 * scale;
    ExpectBoxNear(b, Project(eye + glm::vec3(-half, 2 * half, 0)), Project(eye + glm::vec3(half, 0, 0)));
    EXPECT_EQ(Pixel((b.left + b.right) / 2, (b.top + b.bottom) / 2), 0x00FF00u);
  }
  // The texture selection is kept, and culling is the mode last given to X_CULLMODE.
  EXPECT_EQ(std::tuple(glIsEnabled(GL_CULL_FACE), Lumbo.selection.slot), std::tuple(GL_FALSE, -1));
  X_CULLMODE(1);
  X_SPRITE(kSprite, 0, 0, -100, 1);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  X_CULLMODE(0);
  // Numbers outside the table and empty slots draw nothing.
  for (double n : {-1.0, 4096.0, 5000.0, 41.0}) EXPECT_EQ(Drawn([n] { X_SPRITE(n, 0, 0, -100, 1); }).count, 0) << n;

  // Text of size 0: the glyph at the font's pixel size, its top-left corner at the projected
  // point; a point on the camera plane draws nothing.
  X_CAMERA(0, 0, 0, 0, 0, -1);
  X_CLEAR_Z();
  SETFONT(kFont);
  const glm::vec2 p = Project(glm::vec3(3, 2, -20));
  const Box b = Drawn([&] { X_PRINT("A", 3, 2, -20, 0); }).box;
  ExpectBoxNear(b, p, p + glm::vec2(8, 16));
  EXPECT_EQ(Drawn([] { X_PRINT("A", 1, 1, 0, 0); }).count, 0);
  // In the world: glyphs (8 x size) units square, the first one's top-left at the point.
  PixelOrtho();
  glEnable(GL_CULL_FACE);
  EXPECT_EQ(Drawn([] { X_PRINT("AA", 100, 300, 0, 2); }).box, (Box{100, kHeight - 300, 132, kHeight - 284}));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(Lumbo.selection.slot, kFirstFontSlot + kFont);
  // A font number outside the table draws nothing.
  __nCurFont = 99;
  EXPECT_EQ(Drawn([] { X_PRINT("A", 100, 300, 0, 2); }).count + Drawn([] { X_PRINT("A", 100, 300, 0, 0); }).count, 0);
  SETFONT(0);
}

}  // namespace
}  // namespace scene_test
