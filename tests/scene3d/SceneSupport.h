// Helpers of the 3D tests: a window with real OpenGL, objects built through the commands, GLM
// as the independent reference for the camera and projection maths, and .ddd files written
// byte by byte.
#pragma once

#include <cmath>
#include <cstdint>
#include <bit>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <tavelor/scene3d.h>

#include "display/DisplaySupport.h"
#include "frame/ErrorLog.h"
#include "scene3d/Lumenar3D.h"

namespace scene_test {

using namespace display_test;

// A fresh frame: cleared window, 2D state, no fog, no special shading, transform reset.
class SceneTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    X_FOG(-1, 0, 0, 0);
    X_SETTEXTUREOFFSET(0, 0);
    lumbo3D.LightsOff();
    X_MIPMAPPING(0);
    X_SETTEXTURE(-1, -1);
  }
  void TearDown() override { lumbo3D.LightsOff(); }
};

inline glm::mat4 Projection(float nearPlane, float farPlane, float fov) {
  const float aspect = static_cast<float>(kWidth) / kHeight;
  const float half = std::tan(std::abs(fov) * glm::pi<float>() / 360) * nearPlane * (fov > 0 ? 1 : 100);
  return fov > 0 ? glm::frustum(-half * aspect, half * aspect, -half, half, nearPlane, farPlane)
                 : glm::ortho(-half * aspect, half * aspect, -half, half, nearPlane, farPlane);
}

inline glm::mat4 CurrentMatrix(GLenum which) {
  glm::mat4 m;
  glGetFloatv(which, glm::value_ptr(m));
  return m;
}

// Window position (y from the top) GLM gives for a world point.
inline glm::vec3 Project(const glm::vec3& p, const glm::mat4& view, const glm::mat4& proj) {
  glm::vec3 w = glm::project(p, view, proj, glm::vec4(0, 0, kWidth, kHeight));
  return {w.x, kHeight - w.y, w.z};
}

// A flat quad in the xy plane from (0, 0) to (w, h), counter-clockwise seen from +z, with
// texture coordinates 0..1.
inline void BuildQuad(int object, float w, float h, std::uint32_t colour) {
  X_OBJSTART(object);
  for (int i = 0; i < 4; ++i) X_OBJADDVERTEX(i % 2 * w, i / 2 * h, 0, i % 2, i / 2, colour);
  X_OBJEND();
}

// A sphere of the given radius about the origin as strips from pole to pole. Its faces are
// clockwise seen from outside, so the builder's normals point outwards and cull mode 1 shows it.
inline void BuildSphere(int object, float radius, std::uint32_t colour, int rings = 24, int segments = 32) {
  X_OBJSTART(object);
  const float pi = glm::pi<float>();
  for (int i = 0; i < rings; ++i) {
    if (i > 0) X_OBJNEWGROUP();
    for (int j = 0; j <= segments; ++j)
      for (int k : {i + 1, i}) {
        // The last column repeats the first exactly, so the seam welds.
        const float lat = pi * static_cast<float>(k) / rings, lon = 2 * pi * static_cast<float>(j % segments) / segments;
        X_OBJADDVERTEX(radius * std::sin(lat) * std::sin(lon), radius * std::cos(lat),
                       radius * std::sin(lat) * std::cos(lon), static_cast<float>(j) / segments,
                       static_cast<float>(k) / rings, colour);
      }
  }
  X_OBJEND();
}

// Clears colour and depth, runs draw and tells what it lit.
inline Lit DrawnAfresh(const std::function<void()>& draw) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  draw();
  return Scan();
}

// Little-endian bytes of a mesh file, appended field by field.
struct Bytes {
  std::vector<unsigned char> b;
  Bytes& u8(unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  Bytes& u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(v >> (8 * i));
    return *this;
  }
  Bytes& f32(float f) { return u32(std::bit_cast<std::uint32_t>(f)); }
  Bytes& f64(double d) {
    const auto v = std::bit_cast<std::uint64_t>(d);
    return u32(static_cast<std::uint32_t>(v)).u32(static_cast<std::uint32_t>(v >> 32));
  }
  Bytes& header(std::int32_t frames, std::int32_t palette, std::int32_t tex, double version = 1.02) {
    return u32(0x00C6B317u).f64(version).u32(frames).u32(palette).u32(tex);
  }
  Bytes& frame(std::int32_t nodes, float ox, float oy, float oz, float sx, float sy, float sz) {
    return u32(nodes).f32(ox).f32(oy).f32(oz).f32(sx).f32(sy).f32(sz);
  }
  Bytes& node(unsigned q0, unsigned q1, unsigned q2, unsigned normal, unsigned colour) {
    return u8(q0).u8(q1).u8(q2).u8(normal).u8(colour);
  }
};

inline std::string ErrorLogText() {
  std::vector<unsigned char> b = ReadFile(ErrorLogPath().c_str());
  return std::string(b.begin(), b.end());
}
inline void ResetErrorLog() { std::filesystem::remove(ErrorLogPath().c_str()); }

}  // namespace scene_test
