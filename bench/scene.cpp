// Drawing objects: 200 objects of a 2,000-triangle mesh per frame with X_DRAWOBJ (frame 0,
// unshaded, from the static buffer) against the same triangles drawn from one vertex buffer
// with one glDrawArrays per object, the least any renderer of separate objects does. Both
// sides draw the same frame (checked equal pixel for pixel), run interleaved over many rounds,
// and the medians with their spread are printed with the ratio. Also the cost of a blended
// X_DRAWANIM and of a cel-shaded X_DRAWOBJ per 1,000 triangles.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "display/OpenGLLumenar.h"
#include "platform/platform.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;

namespace {

constexpr int kTriangles = 2000;
constexpr int kObjects = 200;
constexpr int kFrames = 3;  // mesh frames, for the blended draw
constexpr int kSlot = 12;
constexpr int kRounds = 21;

struct Writer {
  std::vector<unsigned char> b;
  void u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(v >> (8 * i));
  }
  void f32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
};

// A ball of small random triangles as one triangle list, in three slightly different frames.
std::string MakeMesh() {
  Writer w;
  w.u32(kDddMagic);
  std::uint64_t version;
  std::memcpy(&version, &kDddVersion, 8);
  w.u32(static_cast<std::uint32_t>(version));
  w.u32(static_cast<std::uint32_t>(version >> 32));
  const int nodes = 1 + 3 * kTriangles;
  w.u32(kFrames);
  w.u32(2);
  w.u32(nodes);
  w.u32(0xFFFFFFFFu);
  w.u32(0x00FFFFFFu);
  for (int i = 0; i < nodes; ++i) {
    w.f32(static_cast<float>(i % 7) / 7);
    w.f32(static_cast<float>(i % 5) / 5);
  }
  unsigned seed = 99;
  auto next = [&seed](int range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(range));
  };
  for (int f = 0; f < kFrames; ++f) {
    w.u32(nodes);
    for (int i = 0; i < 3; ++i) w.f32(128);
    for (int i = 0; i < 3; ++i) w.f32(1.0f / 128);
    w.u8(0), w.u8(0), w.u8(0), w.u8(0), w.u8(0);
    for (int t = 0; t < kTriangles; ++t) {
      const int cx = 20 + next(216), cy = 20 + next(216), cz = 20 + next(216);
      for (int k = 0; k < 3; ++k) {
        w.u8(cx + next(30) - 15 + f), w.u8(cy + next(30) - 15), w.u8(cz + next(30) - 15);
        w.u8(next(162)), w.u8(1);
      }
    }
  }
  const std::string path = platform::TempDir() + "bench_scene.ddd";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.b.data()), static_cast<std::streamsize>(w.b.size()));
  return path;
}

float g_positions[kObjects][3];

void BeginFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  X_MAKE3D(1, 1000, 45);
  X_CAMERA(0, 0, 40, 0, 0, 0);
  X_SETTEXTURE(-1, -1);
}

void DrawOurs() {
  for (const auto& p : g_positions) {
    X_MOVEMENT(p[0], p[1], p[2]);
    X_DRAWOBJ(kSlot, 0);
  }
}

// The reference: the same records in one buffer object, one glDrawArrays per object.
GLuint g_referenceBuffer = 0;
void DrawReference() {
  const MeshObjectX& m = lumbo3D.meshes[kSlot];
  const GLsizei count = m.frames[0].triangles.count;
  glColor4f(1, 1, 1, 1);
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, g_referenceBuffer);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(POLY_NODE), nullptr);
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, sizeof(POLY_NODE), reinterpret_cast<const void*>(offsetof(POLY_NODE, normal)));
  for (const auto& p : g_positions) {
    glPushMatrix();
    glTranslatef(p[0], p[1], p[2]);
    glDrawArrays(GL_TRIANGLES, 0, count);
    glPopMatrix();
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, 0);
}

double TimeFrame(const std::function<void()>& draw) {
  BeginFrame();
  glFinish();
  const auto start = std::chrono::steady_clock::now();
  draw();
  glFinish();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<unsigned char> Frame(const std::function<void()>& draw) {
  BeginFrame();
  draw();
  std::vector<unsigned char> p(640 * 480 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, p.data());
  return p;
}

struct Stats {
  double median, low, high;
};
Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[v.size() / 4], v[v.size() * 3 / 4]};
}

}  // namespace

int main() {
  __DG_RESX = 640;
  __DG_RESY = 480;
  char cmdline[4] = {0};
  __GlobalInit(nullptr, nullptr, cmdline, 1, "bench");
  if (!Lumbo.hasContext || !glBindBufferArb) {
    std::fprintf(stderr, "no OpenGL context with buffer objects\n");
    return 1;
  }
  const std::string path = MakeMesh();
  if (!lumbo3D.LoadObject(path.c_str(), kSlot)) {
    std::fprintf(stderr, "mesh did not load\n");
    return 1;
  }
  std::remove(path.c_str());
  const MeshObjectX& m = lumbo3D.meshes[kSlot];
  glGenBuffersArb(1, &g_referenceBuffer);
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, g_referenceBuffer);
  glBufferDataArb(GL_ARRAY_BUFFER_ARB, static_cast<long>(m.frames[0].triangles.count) * sizeof(POLY_NODE),
                  m.frames[0].triangles.data, GL_STATIC_DRAW_ARB);
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, 0);
  for (int i = 0; i < kObjects; ++i) {
    g_positions[i][0] = static_cast<float>(i % 20 - 10) * 3;
    g_positions[i][1] = static_cast<float>(i / 20 - 5) * 3;
    g_positions[i][2] = -static_cast<float>(i % 7) * 4;
  }

  if (Frame(DrawOurs) != Frame(DrawReference)) {
    std::fprintf(stderr, "FAILED: X_DRAWOBJ and the reference drew different frames\n");
    return 1;
  }

  std::vector<double> ours, reference;
  TimeFrame(DrawOurs);
  TimeFrame(DrawReference);
  for (int r = 0; r < kRounds; ++r) {
    // Alternate which side goes first, so neither always runs on a warmer cache.
    if (r % 2) {
      ours.push_back(TimeFrame(DrawOurs));
      reference.push_back(TimeFrame(DrawReference));
    } else {
      reference.push_back(TimeFrame(DrawReference));
      ours.push_back(TimeFrame(DrawOurs));
    }
  }
  const double triangles = static_cast<double>(kObjects) * kTriangles;
  const Stats o = Summarise(ours), f = Summarise(reference);
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  std::printf("%d objects x %d triangles per frame, %d rounds, median (quartiles)\n", kObjects, kTriangles, kRounds);
  std::printf("X_DRAWOBJ, static buffer:        %7.2f Mtriangles/s (%.2f .. %.2f)\n", triangles / o.median / 1e6,
              triangles / o.high / 1e6, triangles / o.low / 1e6);
  std::printf("one glDrawArrays per object:     %7.2f Mtriangles/s (%.2f .. %.2f)\n", triangles / f.median / 1e6,
              triangles / f.high / 1e6, triangles / f.low / 1e6);
  std::printf("ratio (X_DRAWOBJ / reference):   %7.3f\n", f.median / o.median);

  // Blended and cel-shaded draws, per 1,000 triangles.
  auto perThousand = [&](const std::function<void()>& draw) {
    std::vector<double> t;
    for (int r = 0; r < kRounds; ++r) t.push_back(TimeFrame(draw));
    return Summarise(t).median / (triangles / 1000) * 1e6;
  };
  const double plain = Summarise(ours).median / (triangles / 1000) * 1e6;
  const double blended = perThousand([] {
    for (const auto& p : g_positions) {
      X_MOVEMENT(p[0], p[1], p[2]);
      X_DRAWANIM(kSlot, 0, 2, 0.3, 1);
    }
  });
  const double cel = perThousand([] {
    lumbo3D.specialShading = true;
    lumbo3D.specialKind = 2;
    lumbo3D.specialLight[0] = -100;
    lumbo3D.specialLight[1] = 100;
    lumbo3D.specialLight[2] = 100;
    X_CULLMODE(1);
    for (const auto& p : g_positions) {
      X_MOVEMENT(p[0], p[1], p[2]);
      X_DRAWOBJ(kSlot, 0);
    }
    lumbo3D.LightsOff();
  });
  std::printf("microseconds per 1,000 triangles: X_DRAWOBJ %.1f, blended X_DRAWANIM %.1f, cel-shaded X_DRAWOBJ %.1f%s\n",
              plain, blended, cel, glMultiTexCoord2fArb ? "" : " (no multitexture: outline only)");
  std::printf("| `bench_scene`: %d objects of %d triangles per frame | %.2f M triangles/s; per 1,000 triangles "
              "%.0f us, blended `X_DRAWANIM` %.0f us, cel-shaded %.0f us | one `glDrawArrays` per object from a buffer "
              "object %.2f M triangles/s | %.2f (speed) |\n",
              kObjects, kTriangles, triangles / o.median / 1e6, plain, blended, cel, triangles / f.median / 1e6,
              f.median / o.median);
  return 0;
}
