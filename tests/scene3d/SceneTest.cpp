// Projection, camera, object transform, culling, texture selection and fog, drawn with real
// OpenGL and checked against GLM.
#include <random>

#include "SceneSupport.h"

namespace scene_test {
namespace {

constexpr int kQuad = 4000;

void ExpectNear(const glm::mat4& a, const glm::mat4& b, float tolerance) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_NEAR(a[c][r], b[c][r], tolerance) << "element " << c << "," << r;
}

TEST_F(SceneTest, ProjectionFromFieldOfViewAndOrthographicBox) {
  X_MAKE3D(1, 1000, 45);
  const glm::mat4 p = CurrentMatrix(GL_PROJECTION_MATRIX);
  ExpectNear(p, glm::frustum(-0.5523f, 0.5523f, -0.4142f, 0.4142f, 1.0f, 1000.0f), 2e-4f);
  EXPECT_NEAR(lumbo3D.viewConeTan, std::tan(glm::radians(50.0f)), 1e-5);
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_FOG));

  X_MAKE3D(2, 500, -45);
  ExpectNear(CurrentMatrix(GL_PROJECTION_MATRIX), Projection(2, 500, -45), 1e-6f);
  EXPECT_NEAR(lumbo3D.viewConeTan, std::tan(glm::radians(89.0f)), 1e-3);
  X_MAKE3D(1, 1000, 88);
  EXPECT_NEAR(lumbo3D.viewConeTan, std::tan(glm::radians(89.0f)), 1e-3);
}

TEST_F(SceneTest, CameraAndConversionsAgreeWithGlmAndInvertEachOther) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> any(-200, 200), unit(-1, 1), fovs(20, 100);
  for (int round = 0; round < 200; ++round) {
    const float fov = fovs(rng);
    X_MAKE3D(1, 1000, fov);
    const glm::vec3 eye(any(rng), any(rng), any(rng)), target(any(rng), any(rng), any(rng));
    X_CAMERA(eye.x, eye.y, eye.z, target.x, target.y, target.z);
    const glm::mat4 view = glm::lookAt(eye, target, glm::vec3(0, 1, 0));
    const glm::mat4 proj = Projection(1, 1000, fov);
    ExpectNear(CurrentMatrix(GL_MODELVIEW_MATRIX), view, 1e-3f);
    // A point in front of the camera, inside the depth range.
    const glm::vec3 ahead = glm::normalize(target - eye);
    const float distance = 5 + 300 * (unit(rng) + 1);
    const glm::vec3 p = eye + ahead * distance + glm::vec3(unit(rng), unit(rng), unit(rng)) * (0.2f * distance);
    const glm::vec3 want = Project(p, view, proj);
    double sx = 0, sy = 0, sz = 0;
    X_WORLD2SCREEN(p.x, p.y, p.z, sx, sy, sz);
    EXPECT_NEAR(sx, want.x, 2e-3 * (1 + std::abs(want.x)));
    EXPECT_NEAR(sy, want.y, 2e-3 * (1 + std::abs(want.y)));
    EXPECT_NEAR(sz, want.z, 1e-5);
    // Back again: the point itself, and what GLM unprojects.
    double x = 0, y = 0, z = 0;
    X_SCREEN2WORLD(sx, sy, sz, x, y, z);
    const glm::vec3 glmBack = glm::unProject(glm::vec3(sx, kHeight - sy, sz), view, proj, glm::vec4(0, 0, kWidth, kHeight));
    const float scale = 1e-3f * (1 + glm::length(p - eye));
    EXPECT_NEAR(x, p.x, scale);
    EXPECT_NEAR(y, p.y, scale);
    EXPECT_NEAR(z, p.z, scale);
    EXPECT_NEAR(x, glmBack.x, scale);
    EXPECT_NEAR(z, glmBack.z, scale);
  }
}

TEST_F(SceneTest, ConversionsKeepOutputsWhenImpossible) {
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 10, 0, 0, 0);
  double sx = 7, sy = 7, sz = 7;
  X_WORLD2SCREEN(5, 3, 10, sx, sy, sz);  // on the camera plane
  EXPECT_EQ(sx + sy + sz, 21);
  X_CAMERA(0, 10, 0, 0, 0, 0);  // straight down: no side vector, a singular matrix
  X_SCREEN2WORLD(320, 240, 0.5, sx, sy, sz);
  EXPECT_EQ(sx + sy + sz, 21);
}

// The lit box of the quad drawn with the current transform against GLM's projection of its
// corners under the given model matrix.
void ExpectQuadWhereGlmPutsIt(const glm::mat4& model, const glm::mat4& view, const glm::mat4& proj) {
  const Lit lit = DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
  ASSERT_GT(lit.count, 0);
  float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
  // The corners as quantised into the mesh.
  for (const POLY_NODE& n : lumbo3D.meshes[kQuad].frames[0].triangles) {
    const glm::vec3 c(n.position[0], n.position[1], n.position[2]);
    const glm::vec3 w = Project(glm::vec3(model * glm::vec4(c, 1)), view, proj);
    left = std::min(left, w.x);
    right = std::max(right, w.x);
    top = std::min(top, w.y);
    bottom = std::max(bottom, w.y);
  }
  EXPECT_NEAR(lit.box.left, left, 1.01);
  EXPECT_NEAR(lit.box.right, right, 1.01);
  EXPECT_NEAR(lit.box.top, top, 1.01);
  EXPECT_NEAR(lit.box.bottom, bottom, 1.01);
}

TEST_F(SceneTest, ObjectsLandWhereGlmProjectsThem) {
  BuildQuad(kQuad, 40, 20, 0xFFFFFF);
  X_MAKE3D(1, 1000, 60);
  const glm::vec3 eye(30, 40, 150);
  X_CAMERA(eye.x, eye.y, eye.z, 0, 0, 0);
  const glm::mat4 view = glm::lookAt(eye, glm::vec3(0), glm::vec3(0, 1, 0));
  const glm::mat4 proj = Projection(1, 1000, 60);

  X_MOVEMENT(-10, 5, 8);
  X_SCALING(1.5, 0.5, 2);
  X_ROTATION(30, 0, 1, 0);
  X_ROTATION(50, 1, 0, 0);
  // The first rotation given reaches the vertex first, then the second.
  glm::mat4 model = glm::translate(glm::mat4(1), glm::vec3(-10, 5, 8));
  model = glm::rotate(model, glm::radians(50.0f), glm::vec3(1, 0, 0));
  model = glm::rotate(model, glm::radians(30.0f), glm::vec3(0, 1, 0));
  model = glm::scale(model, glm::vec3(1.5f, 0.5f, 2));
  ExpectQuadWhereGlmPutsIt(model, view, proj);

  // Rotations given before X_MOVEMENT are forgotten; the scaling stays.
  X_ROTATION(70, 0, 0, 1);
  X_MOVEMENT(20, -30, 0);
  ExpectQuadWhereGlmPutsIt(glm::scale(glm::translate(glm::mat4(1), glm::vec3(20, -30, 0)), glm::vec3(1.5f, 0.5f, 2)),
                           view, proj);
  // X_CAMERA resets the whole transform.
  X_CAMERA(eye.x, eye.y, eye.z, 0, 0, 0);
  ExpectQuadWhereGlmPutsIt(glm::mat4(1), view, proj);
  // Only 16 rotations count.
  for (int i = 0; i < 20; ++i) X_ROTATION(5, 0, 0, 1);
  EXPECT_EQ(lumbo3D.rotationCount, 16);
}

TEST_F(SceneTest, CullModesHideTheirFaces) {
  BuildQuad(kQuad, 40, 20, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(20, 10, 100, 20, 10, 0);  // looks at the counter-clockwise front
  auto drawn = [](double mode) {
    X_CULLMODE(mode);
    return DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); }).count;
  };
  EXPECT_GT(drawn(0), 0);
  EXPECT_EQ(drawn(0.5), 0);  // front faces clockwise: this one counts as a back face
  EXPECT_EQ(__current_cullmode, 1);
  EXPECT_GT(drawn(-3), 0);
  EXPECT_EQ(__current_cullmode, -1);
  X_CAMERA(20, 10, -100, 20, 10, 0);  // from behind; X_CAMERA switches culling off
  EXPECT_EQ(lumbo3D.cullMode, 0);
  EXPECT_EQ(__current_cullmode, -1);
  EXPECT_EQ(drawn(-1), 0);
  EXPECT_GT(drawn(1), 0);
}

TEST_F(SceneTest, TextureAndOffset) {
  // Left half red, right half blue.
  const std::string path = SaveBmp("halves.bmp", 64, 64, 24, [](int x, int) { return x < 32 ? 0x0000FFu : 0xFF0000u; });
  LOADSPRITE(path.c_str(), 7);
  BuildQuad(kQuad, 40, 40, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(20, 20, 60, 20, 20, 0);
  X_SETTEXTURE(7, -1);
  double lx, ly, rx, ry, z;
  X_WORLD2SCREEN(10, 20, 0, lx, ly, z);
  X_WORLD2SCREEN(30, 20, 0, rx, ry, z);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  X_DRAWOBJ(kQuad, 0);
  EXPECT_EQ(Pixel(static_cast<int>(lx), static_cast<int>(ly)), 0x0000FFu);
  EXPECT_EQ(Pixel(static_cast<int>(rx), static_cast<int>(ry)), 0xFF0000u);
  X_SETTEXTUREOFFSET(0.5, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  X_DRAWOBJ(kQuad, 0);
  EXPECT_EQ(Pixel(static_cast<int>(lx), static_cast<int>(ly)), 0xFF0000u);
  EXPECT_EQ(Pixel(static_cast<int>(rx), static_cast<int>(ry)), 0x0000FFu);
  X_MAKE3D(1, 1000, 45);
  EXPECT_EQ(lumbo3D.textureOffset[0], 0);
  // A texture number beyond the sprite table changes nothing.
  X_SETTEXTURE(7, -1);
  X_SETTEXTURE(5000, -1);
  EXPECT_EQ(Lumbo.selection.slot, 7);
  X_SETTEXTURE(-1, -1);
  EXPECT_EQ(Lumbo.selection.slot, -1);
}

TEST_F(SceneTest, LinearFogBlendsTowardsItsColourWithDistance) {
  BuildQuad(kQuad, 4000, 4000, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 0, 0, 0, -1);
  X_FOG(0x808080, 0, 0, 0);
  GLfloat start = 0, end = 0;
  glGetFloatv(GL_FOG_START, &start);
  glGetFloatv(GL_FOG_END, &end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 1000);
  for (float depth : {100.0f, 500.0f, 900.0f}) {
    X_MOVEMENT(-2000, -2000, -depth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    X_DRAWOBJ(kQuad, 0);
    const float f = (1000 - depth) / 999;
    const int want = static_cast<int>(std::lround(255 * f + 128 * (1 - f)));
    EXPECT_NEAR(static_cast<int>(Pixel(320, 240) & 255), want, 3) << depth;
  }
  X_FOG(-1, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_FOG));
}

}  // namespace
}  // namespace scene_test
