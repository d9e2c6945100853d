// Drawing objects: frame blending, the view-cone test, cel shading with its outline, bump
// mapping and two textures, with and without the OpenGL extensions, read back as pixels.
#include <limits>
#include <map>
#include <tuple>

#include "SceneSupport.h"

namespace scene_test {
namespace {

constexpr int kAnim = 4001, kQuad = 4002, kSphere = 4003;
constexpr float kFrameStep = 10;  // frame f lies kFrameStep x f further along x

// Five frames of one triangle (25.5 units on a side), frame f shifted by kFrameStep x f in x.
TEST_F(SceneTest, AnimationBlendsFramesAsTheRangeRuleSays) {
  Bytes b;
  b.header(5, 2, 4).u32(0xFFFFFFFFu).u32(0x00FFFFFFu);
  for (int i = 0; i < 4; ++i) b.f32(0).f32(0);
  for (int f = 0; f < 5; ++f)
    b.frame(4, -kFrameStep * f / 0.1f, 0, 0, 0.1f, 0.1f, 0.1f).node(0, 0, 0, 0, 0).node(0, 0, 0, 0, 1).node(255, 0, 0, 0, 1)
        .node(0, 255, 0, 0, 1);
  WriteFile(TempPath("sliding.ddd"), b.b);
  ASSERT_TRUE(lumbo3D.LoadObject(TempPath("sliding.ddd").c_str(), kAnim));
  X_MAKE3D(1, 1000, -45);
  X_CAMERA(30, 10, 100, 30, 10, 0);
  // Left edge in pixels of the drawn triangle, and where frame x (fractional) would put it.
  auto left = [](const std::function<void()>& draw) { return DrawnAfresh(draw).box.left; };
  auto leftOfFrame = [](float x) {
    double sx, sy, sz;
    X_WORLD2SCREEN(kFrameStep * x, 0, 0, sx, sy, sz);
    return static_cast<int>(std::ceil(sx - 0.5));
  };
  for (int f = 0; f < 5; ++f) EXPECT_NEAR(left([f] { X_DRAWOBJ(kAnim, f); }), leftOfFrame(f), 1) << f;
  EXPECT_EQ(DrawnAfresh([] { X_DRAWOBJ(kAnim, 5); }).count, 0);
  const struct { double a, b, blend, smooth; float frame; } cases[] = {
      {0, 4, 0.625, 1, 2.5f}, {1, 2, 0.25, 0, 1.75f}, {0, 0, 0, 0, 0}};  // frame 0 again, from the kept buffer
  for (const auto& c : cases)
    EXPECT_NEAR(left([&] { X_DRAWANIM(kAnim, c.a, c.b, c.blend, c.smooth); }), leftOfFrame(c.frame), 1)
        << c.a << ".." << c.b << " at " << c.blend;
}

// The cone test alone: eye (1, 2, 3) looking along -z; verdicts worked out by hand (the test
// widens the cone by 5% and takes the distance's square root from the float's bits, so 10
// along the axis allows sqrt(radius^2 + 10.7625^2) to the side at a cone of tangent 1).
TEST_F(SceneTest, ViewConeAgainstHandWorkedVerdicts) {
  const struct { float dx, dy, dz, radius, coneTan; bool seen; } cases[] = {
      // On the axis; behind, away from the eye; behind, reaching the eye exactly, or not.
      {0, 0, -10, 1, 1, true}, {0, 0, 10, 1, 1, false}, {0, 0, 2, 2, 1, true}, {0, 0, 2, 1.5f, 1, false},
      // Inside only thanks to the 5%, or outside; the radius carries it in; a narrower cone.
      {10.5f, 0, -10, 1, 1, true}, {0, 10.5f, -10, 1, 1, true}, {11, 0, -10, 1, 1, false},
      {12, 0, -10, 6, 1, true}, {12, 0, -10, 5, 1, false}, {10.5f, 0, -10, 1, 0.5f, false}};
  // The same turned to look along -x and along -y; the target five units ahead, so the
  // direction is normalised.
  for (int r = 0; r < 3; ++r)
    for (const auto& c : cases) {
      auto turn = [r](float x, float y, float z) {
        return r == 0 ? glm::vec3(x, y, z) : r == 1 ? glm::vec3(z, y, -x) : glm::vec3(x, z, -y);
      };
      const glm::vec3 eye(1, 2, 3), target = eye + turn(0, 0, -5), centre = eye + turn(c.dx, c.dy, c.dz);
      EXPECT_EQ(SphereInViewCone(&eye.x, &target.x, &centre.x, c.radius, c.coneTan), c.seen)
          << r << ": " << c.dx << "," << c.dy << "," << c.dz;
    }
  // Drawn: lying flat below the eye, its centre behind the camera but the eye inside its sphere.
  BuildQuad(kQuad, 100, 100, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 0, 0, 0, -1);
  X_MOVEMENT(-50, -2, 80);
  X_ROTATION(-90, 1, 0, 0);
  EXPECT_GT(DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); }).count, 1000);
  // Far off to the side: nothing drawn and no state touched.
  X_MOVEMENT(600, 0, -100);
  glColor4f(0.25f, 0.5f, 0.75f, 1);
  EXPECT_EQ(DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); }).count, 0);
  EXPECT_EQ(CurrentMatrix(GL_CURRENT_COLOR)[0][0], 0.25f);
  // A zero-length view direction or zero scaling divides by nothing.
  X_CAMERA(0, 0, 0, 0, 0, 0);
  X_SCALING(0, 0, 0);
  DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
}

// X_DRAWANIM's frame rule alone, frames 0..4, verdicts worked out by hand.
TEST(FrameRule, RangesAndPairsResolveToTwoFramesAndAWeight) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const struct { int a, b; float blend; bool smooth; int wantA, wantB; float wantBlend; } cases[] = {
      // On frame 2 exactly: all of it; halfway from 2 to 3; the position is taken modulo 1, but
      // 1 is the range's end.
      {0, 4, 0.5f, true, 2, 3, 1}, {0, 4, 0.625f, true, 2, 3, 0.5f}, {0, 4, 1.625f, true, 2, 3, 0.5f}, {0, 4, 1, true, 4, 4, 1},
      // Backwards, and onto a whole frame: that frame.
      {4, 0, 0.625f, true, 2, 1, 0.5f}, {4, 0, 0.5f, true, 2, 2, 0}, {3, 3, 0.5f, true, 3, 3, 0}, {0, 4, inf, true, 0, 1, 1},
      // A pair: clamped, the weight kept.
      {7, -2, 0.3f, false, 4, 0, 0.3f}, {1, 2, nan, false, 1, 2, 0}};
  for (const auto& c : cases) {
    const FramePair f = ResolveFrames(c.a, c.b, c.blend, c.smooth, 4);
    EXPECT_EQ(std::tuple(f.a, f.b, f.blend), std::tuple(c.wantA, c.wantB, c.wantBlend))
        << c.a << ".." << c.b << " at " << c.blend;
  }
}

// Green levels of the drawn pixels with their counts, and the black pixels, of a sphere drawn
// on a blue background from the given distance.
struct Shades {
  std::map<int, int> green;
  int black = 0;
};
Shades SphereOnBlue(float distance) {
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(0, 0, 0, 1);
  X_CAMERA(0, 0, distance, 0, 0, 0);
  X_CULLMODE(1);
  X_DRAWOBJ(kSphere, 0);
  Shades s;
  const std::vector<unsigned char> p = ReadBack(0, 0, kWidth, kHeight);
  for (std::size_t i = 0; i < p.size(); i += 3) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 255) continue;  // background
    if (p[i] + p[i + 1] + p[i + 2] == 0) ++s.black;
    else ++s.green[p[i + 1]];
  }
  return s;
}

TEST_F(SceneTest, CelShadingBandsAndOutline) {
  BuildSphere(kSphere, 3, 0x00FF00);
  X_MAKE3D(1, 1000, 45);
  X_SPOT_LT(-2, 0, -100, 20, 20, 0, 0, 0, 180);
  Shades near = SphereOnBlue(12);
  // The ramp's levels: 100, 160, 207 and 255 of green, each a band of its own.
  int bands = 0;
  for (int level : {100, 160, 207, 255}) {
    int n = 0;
    for (int g = level - 2; g <= level + 2; ++g) n += near.green[g];
    bands += n > 100;
  }
  EXPECT_GE(bands, 3);
  EXPECT_GT(near.black, 200);  // the silhouette
  // The cel ramp does not stay on texture unit 1 for later objects.
  glActiveTextureArb(GL_TEXTURE1);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  glActiveTextureArb(GL_TEXTURE0);
  const Shades far = SphereOnBlue(200);
  EXPECT_TRUE(far.green.size() > 0 && far.black == 0);
  // Without multitexture (nor buffer objects): drawn unshaded, the outline still there.
  const auto saved = std::tuple(glGenBuffersArb, glBindBufferArb, glMapBufferArb, glActiveTextureArb, glMultiTexCoord2fArb,
                                glClientActiveTextureArb);
  glGenBuffersArb = nullptr, glBindBufferArb = nullptr, glMapBufferArb = nullptr;
  glActiveTextureArb = nullptr, glMultiTexCoord2fArb = nullptr, glClientActiveTextureArb = nullptr;
  Shades unshaded = SphereOnBlue(12);
  std::tie(glGenBuffersArb, glBindBufferArb, glMapBufferArb, glActiveTextureArb, glMultiTexCoord2fArb,
           glClientActiveTextureArb) = saved;
  EXPECT_TRUE(unshaded.black > 200 && unshaded.green[255] > 10000);
  // Plain shading has no outline.
  X_SPOT_LT(-2, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(SphereOnBlue(12).black, 0);
}

TEST_F(SceneTest, BumpMappingAndTwoTextures) {
  LOADSPRITE(SaveBmp("white.bmp", 8, 8, 24, [](int, int) { return 0xFFFFFFu; }).c_str(), 8);
  // A flat normal map: every normal straight out of the surface.
  LOADSPRITE(SaveBmp("flat.bmp", 8, 8, 24, [](int, int) { return 0xFF8080u; }).c_str(), 9);
  BuildSphere(kSphere, 3, 0xFFFFFF);
  X_MAKE3D(1, 1000, 45);
  X_SETTEXTURE(8, 9);
  X_SPOT_LT(-1, 0, 100, 0, 0, 0, 0, 0, 180);
  SphereOnBlue(12);
  double lx, rx, y, z;
  X_WORLD2SCREEN(2, 0, 2, rx, y, z);
  X_WORLD2SCREEN(-2, 0, 2, lx, y, z);
  const int lit = static_cast<int>(Pixel(int(rx), int(y)) & 255);
  EXPECT_TRUE(lit > 150 && static_cast<int>(Pixel(int(lx), int(y)) & 255) < lit - 100) << lit;
  X_SPOT_LT(-1, 0, 0, 0, 0, 0, 0, 0, 0);

  // Two textures on a plain object: each texel the product of the two pictures. Columns of two
  // texels: the first picture changes every four, the second every two.
  auto first = [](int x, int) { return x < 4 ? 0x4080FFu : 0xFFC040u; };
  auto second = [](int x, int) { return x % 4 < 2 ? 0xFFFFFFu : 0x60FF80u; };
  LOADSPRITE(SaveBmp("first.bmp", 8, 8, 24, first).c_str(), 8);
  LOADSPRITE(SaveBmp("second.bmp", 8, 8, 24, second).c_str(), 9);
  BuildQuad(kQuad, 8, 8, 0xFFFFFF);
  X_CAMERA(4, 4, 12, 4, 4, 0);
  X_SETTEXTURE(8, 9);
  DrawnAfresh([] { X_DRAWOBJ(kQuad, 0); });
  for (int x = 1; x < 8; x += 2) {
    double sx, sy, sz;
    X_WORLD2SCREEN(x, 4, 0, sx, sy, sz);
    const std::uint32_t got = Pixel(int(sx), int(sy));
    for (int c = 0; c < 24; c += 8)
      EXPECT_NEAR(int(got >> c & 255), int((first(x, 0) >> c & 255) * (second(x, 0) >> c & 255) / 255.0 + 0.5), 3) << x;
  }
}

}  // namespace
}  // namespace scene_test
