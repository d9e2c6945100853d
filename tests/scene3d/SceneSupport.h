// Helpers of the 3D drawing tests: a window with real OpenGL, objects built through the
// commands, and GLM as the independent reference for the camera and projection maths.
#pragma once

#include <cmath>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "display/DisplaySupport.h"
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
  X_OBJADDVERTEX(0, 0, 0, 0, 0, colour);
  X_OBJADDVERTEX(w, 0, 0, 1, 0, colour);
  X_OBJADDVERTEX(0, h, 0, 0, 1, colour);
  X_OBJADDVERTEX(w, h, 0, 1, 1, colour);
  X_OBJEND();
}

// A sphere of the given radius about the origin as strips from pole to pole. Its faces are
// clockwise seen from outside, so the builder's normals point outwards and cull mode 1 shows it.
inline void BuildSphere(int object, float radius, std::uint32_t colour, int rings = 24, int segments = 32) {
  X_OBJSTART(object);
  const float pi = glm::pi<float>();
  for (int i = 0; i < rings; ++i) {
    if (i > 0) X_OBJNEWGROUP();
    for (int j = 0; j <= segments; ++j) {
      for (int k : {i + 1, i}) {
        // The last column repeats the first exactly, so the seam welds.
        const float lat = pi * static_cast<float>(k) / rings, lon = 2 * pi * static_cast<float>(j % segments) / segments;
        X_OBJADDVERTEX(radius * std::sin(lat) * std::sin(lon), radius * std::cos(lat),
                       radius * std::sin(lat) * std::cos(lon), static_cast<float>(j) / segments,
                       static_cast<float>(k) / rings, colour);
      }
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

// With TAVELOR_SAVE_FRAMES set, writes the back buffer as a PPM picture into that folder.
inline void SaveFrame(const std::string& name) {
  const char* dir = std::getenv("TAVELOR_SAVE_FRAMES");
  if (!dir) return;
  const std::vector<unsigned char> p = ReadBack(0, 0, kWidth, kHeight);
  std::ofstream out(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
  out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
  for (int row = kHeight - 1; row >= 0; --row)
    out.write(reinterpret_cast<const char*>(&p[static_cast<std::size_t>(row) * kWidth * 3]), kWidth * 3);
}

}  // namespace scene_test
