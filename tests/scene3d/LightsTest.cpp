// Lights through the OpenGL state they leave and through rendered pixels, with a projection set
// up here directly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <tavelor/scene3d.h>

#include "display/DisplaySupport.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;
using display_test::Pixel;

namespace {

// Everything lights can change, for before-and-after comparisons.
std::vector<float> LightState() {
  std::vector<float> s = {static_cast<float>(glIsEnabled(GL_LIGHTING))};
  for (int i = 0; i < 8; ++i) {
    s.push_back(static_cast<float>(glIsEnabled(GL_LIGHT0 + i)));
    for (GLenum what : {GL_POSITION, GL_AMBIENT, GL_DIFFUSE, GL_SPOT_DIRECTION, GL_SPOT_CUTOFF}) {
      GLfloat v[4] = {0, 0, 0, 0};
      glGetLightfv(GL_LIGHT0 + i, what, v);
      s.insert(s.end(), v, v + 4);
    }
  }
  return s;
}

std::vector<float> Light(int n, GLenum what) {
  GLfloat v[4] = {0, 0, 0, 0};
  glGetLightfv(GL_LIGHT0 + n, what, v);
  return {v[0], v[1], v[2], what == GL_SPOT_CUTOFF ? 0 : v[3]};
}

MATCHER_P(Near, expected, "") {
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (std::fabs(arg[i] - expected[i]) > 1e-5f) return false;
  return true;
}

void AllLightsOff() {
  for (int i = 0; i < 8; ++i) glDisable(GL_LIGHT0 + i);
  glDisable(GL_LIGHTING);
  lumbo3D.LightsOff();
}

class Lights : public ::testing::Test {
 protected:
  void SetUp() override {
    display_test::EnsureDisplay();
    ASSERT_TRUE(Lumbo.hasContext);
    AllLightsOff();
    // A 45-degree perspective looking down -z from the origin.
    glViewport(0, 0, display_test::kWidth, display_test::kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5523, 0.5523, -0.4142, 0.4142, 1, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_COLOR_MATERIAL);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  void TearDown() override {
    AllLightsOff();
    Lumbo.Make2DViewport(0, 0, 0, 0);
  }
};

// A white sphere of radius 2 at (0, 0, -10) with outward normals.
void DrawSphere() {
  glColor3f(1, 1, 1);
  const int stacks = 32, slices = 48;
  for (int i = 0; i < stacks; ++i) {
    glBegin(GL_QUAD_STRIP);
    for (int j = 0; j <= slices; ++j)
      for (int k : {i, i + 1}) {
        const double th = M_PI * k / stacks, ph = 2 * M_PI * j / slices;
        const double n[3] = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
        glNormal3dv(n);
        glVertex3d(2 * n[0], 2 * n[1], 2 * n[2] - 10);
      }
    glEnd();
  }
}

// A white 40 x 40 wall in the plane z = -10, facing the camera, in quads of 0.25 x 0.25 (the
// lighting is worked out at the corners).
void DrawWall() {
  glColor3f(1, 1, 1);
  glNormal3f(0, 0, 1);
  for (int i = 0; i < 160; ++i) {
    glBegin(GL_QUAD_STRIP);
    for (int j = 0; j <= 160; ++j) {
      glVertex3f(-20 + 0.25f * j, -20 + 0.25f * i, -10);
      glVertex3f(-20 + 0.25f * j, -20 + 0.25f * (i + 1), -10);
    }
    glEnd();
  }
}

int Brightness(std::uint32_t rgb) { return static_cast<int>((rgb & 255) + (rgb >> 8 & 255) + (rgb >> 16 & 255)); }

}  // namespace

TEST_F(Lights, KindsOfLightInTheOpenGLState) {
  // Light 9 is light 1; a spot keeps its cut-off, position and unit direction, colour red.
  X_SPOT_LT(9, 0x0000FF, 1, 2, 3, 0, 0, -2, 90);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
  EXPECT_THAT(Light(1, GL_SPOT_CUTOFF), Near(std::vector<float>{90, 0, 0, 0}));
  EXPECT_THAT(Light(1, GL_POSITION), Near(std::vector<float>{1, 2, 3, 1}));
  EXPECT_THAT(Light(1, GL_SPOT_DIRECTION), Near(std::vector<float>{0, 0, -1, 0}));
  EXPECT_THAT(Light(1, GL_DIFFUSE), Near(std::vector<float>{1, 0, 0, 1}));
  EXPECT_THAT(Light(1, GL_AMBIENT), Near(std::vector<float>{1, 0, 0, 1}));

  // 90.5 is a point light; positions are taken in the model-view coordinates of the call.
  glTranslatef(10, 0, 0);
  X_SPOT_LT(2, 0x00FF00, 1, 2, 3, 0, 0, -1, 90.5);
  EXPECT_THAT(Light(2, GL_SPOT_CUTOFF), Near(std::vector<float>{180, 0, 0, 0}));
  EXPECT_THAT(Light(2, GL_POSITION), Near(std::vector<float>{11, 2, 3, 1}));
  EXPECT_THAT(Light(2, GL_DIFFUSE), Near(std::vector<float>{0, 1, 0, 1}));

  // Cut-off 180: directional, shining along d, ambient only.
  X_SPOT_LT(3, 0xFF0000, 5, 5, 5, 0, -3, 0, 180);
  EXPECT_THAT(Light(3, GL_POSITION), Near(std::vector<float>{0, 1, 0, 0}));
  EXPECT_THAT(Light(3, GL_AMBIENT), Near(std::vector<float>{0, 0, 1, 1}));
  EXPECT_THAT(Light(3, GL_DIFFUSE), Near(std::vector<float>{0, 0, 0, 1}));

  // All six zero: ambient whatever the cut-off, positioned at (0, 0, 1, 0) in eye space.
  X_SPOT_LT(0, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 45);
  EXPECT_THAT(Light(0, GL_POSITION), Near(std::vector<float>{0, 0, 1, 0}));
  EXPECT_THAT(Light(0, GL_AMBIENT), Near(std::vector<float>{1, 1, 1, 1}));
  EXPECT_THAT(Light(0, GL_DIFFUSE), Near(std::vector<float>{0, 0, 0, 1}));
  X_AMBIENT_LT(4, 0x808080);
  EXPECT_THAT(Light(4, GL_AMBIENT), Near(std::vector<float>{128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1}));

  // Switching lights off: GL_LIGHTING goes only with the last one.
  for (int n : {0, 1, 2, 3}) X_SPOT_LT(n, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  X_SPOT_LT(4, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Lights, NegativeLightsSwitchSpecialShadingOnly) {
  X_SPOT_LT(5, 0xFFFFFF, 1, 1, 1, 0, 0, -1, 30);
  const std::vector<float> before = LightState();
  const unsigned char mask = lumbo3D.lightMask;
  X_SPOT_LT(-2, 0, -1000, 100, -1000, 1, 0.1, 1, 180);
  EXPECT_TRUE(lumbo3D.specialShading);
  EXPECT_EQ(lumbo3D.specialKind, 2);
  X_SPOT_LT(-1, 0, 1, 2, 3, 0, 0, 0, 45);
  EXPECT_EQ(lumbo3D.specialKind, 1);
  EXPECT_TRUE(lumbo3D.specialShading);
  X_SPOT_LT(-2, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(lumbo3D.specialShading);
  EXPECT_EQ(LightState(), before);
  EXPECT_EQ(lumbo3D.lightMask, mask);
  // A new 3D frame starts with no lights in the mask and no special shading.
  X_SPOT_LT(-2, 0, 1, 1, 1, 0, 0, 0, 180);
  X_MAKE3D(1, 1000, 45);
  EXPECT_EQ(lumbo3D.lightMask, 0);
  EXPECT_FALSE(lumbo3D.specialShading);
}

TEST_F(Lights, PointLightBrightensTheNearSideAndSpotConesEndDark) {
  // A dim point light to the right of the sphere, outside the view so its marker is clipped
  // (its ambient part lights every side alike).
  X_SPOT_LT(0, 0x404040, 30, 0, -2, 0, 0, 0, 100);
  DrawSphere();
  // The sphere spans about x 204..436 on screen at row 240.
  const int left = Brightness(Pixel(230, 240)), middle = Brightness(Pixel(320, 240)), right = Brightness(Pixel(410, 240));
  EXPECT_LT(left, middle);
  EXPECT_LT(middle, right);
  EXPECT_GT(right - left, 100);
  // The light's marker is coloured, but the sphere drawn after it stays grey.
  const std::uint32_t lit = Pixel(410, 240);
  EXPECT_EQ(lit & 255, lit >> 16 & 255);

  // A narrow spot from the eye onto a wall: lit inside the cone, only the scene ambient outside.
  X_SPOT_LT(0, 0, 0, 0, 0, 0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  X_SPOT_LT(1, 0xFFFFFF, 0, 0, 0, 0, 0, -1, 10);
  DrawWall();
  // (The beam marker runs along the view axis onto the centre pixel; look beside it.)
  const int centre = Brightness(Pixel(360, 240)), outside = Brightness(Pixel(320 + 150, 240));
  X_SPOT_LT(1, 0, 0, 0, 0, 0, 0, 0, 0);
  glEnable(GL_LIGHTING);  // the scene ambient alone, for comparison
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawWall();
  const int unlit = Brightness(Pixel(320 + 150, 240));
  EXPECT_GT(centre, 600);
  EXPECT_EQ(outside, unlit);
  EXPECT_LT(unlit, 200);
}
