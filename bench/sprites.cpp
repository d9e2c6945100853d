// Sprites per frame: how many 32 x 32 SPRITE calls fit in one 60 Hz frame (16.7 ms), and
// the same count for the driver drawing textured quads from one vertex array with a single
// glDrawArrays (close to the most the driver can do). Both run in the same process on the
// same context, positions and texture; the figures and their ratio are printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "display/OpenGLLumenar.h"
#include "platform/platform.h"

using namespace TAVELOR;

namespace {

constexpr int kBatch = 2000;      // sprites or quads per measured batch
constexpr double kFrameMs = 1000.0 / 60.0;
constexpr int kSlot = 1;

struct Figure {
  double seconds = 0;
  long long items = 0;
  double PerFrame() const { return seconds > 0 ? items / seconds * kFrameMs / 1000.0 : 0; }
};
Figure g_sprites, g_quads;

std::vector<float> g_positions;  // x, y per item

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  __DG_RESX = 640;
  __DG_RESY = 480;
  char cmdline[4] = {0};
  __GlobalInit(nullptr, nullptr, cmdline, 1, "bench");
  // A 32 x 32 picture with a transparent corner, written as a BMP for LOADSPRITE.
  std::vector<unsigned char> bmp(54 + 32 * 32 * 3, 0);
  auto put = [&](int at, unsigned v, int n) {
    for (int i = 0; i < n; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put(2, static_cast<unsigned>(bmp.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, 32, 4);
  put(22, 32, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int i = 0; i < 32 * 32; ++i) {
    unsigned char* p = &bmp[54 + i * 3];
    const bool corner = (i % 32) < 4 && (i / 32) < 4;
    p[0] = corner ? 128 : static_cast<unsigned char>(i);
    p[1] = corner ? 0 : 200;
    p[2] = 255;
  }
  const std::string path = platform::TempDir() + "bench_sprite.bmp";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bmp.data(), 1, bmp.size(), f);
    std::fclose(f);
  }
  LOADSPRITE(path.c_str(), kSlot);
  unsigned seed = 12345;
  for (int i = 0; i < kBatch; ++i) {
    seed = seed * 1103515245u + 12345u;
    g_positions.push_back(static_cast<float>((seed >> 8) % (640 - 32)));
    seed = seed * 1103515245u + 12345u;
    g_positions.push_back(static_cast<float>((seed >> 8) % (480 - 32)));
  }
}

void BM_SpriteCalls(benchmark::State& state) {
  Setup();
  glFinish();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) SPRITE(kSlot, g_positions[2 * i], g_positions[2 * i + 1]);
    glFinish();
    g_sprites.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_sprites.items += kBatch;
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_SpriteCalls)->Unit(benchmark::kMillisecond);

void BM_OneDrawArrays(benchmark::State& state) {
  Setup();
  // The same quads, texture coordinates and texture, in one client-side array.
  const float u = static_cast<float>(Lumbo.imageWidth[kSlot]) / static_cast<float>(Lumbo.textureWidth[kSlot]);
  const float v = static_cast<float>(Lumbo.imageHeight[kSlot]) / static_cast<float>(Lumbo.textureHeight[kSlot]);
  std::vector<float> array;
  for (int i = 0; i < kBatch; ++i) {
    const float x = g_positions[2 * i], y = g_positions[2 * i + 1];
    const float corners[4][4] = {{x, -(y + 32), 0, 0}, {x + 32, -(y + 32), u, 0}, {x + 32, -y, u, v}, {x, -y, 0, v}};
    for (const auto& c : corners) array.insert(array.end(), c, c + 4);
  }
  glBindTexture(GL_TEXTURE_2D, Lumbo.textureNames[kSlot][0]);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 16, array.data());
  glTexCoordPointer(2, GL_FLOAT, 16, array.data() + 2);
  glFinish();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    glDrawArrays(GL_QUADS, 0, kBatch * 4);
    glFinish();
    g_quads.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_quads.items += kBatch;
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_OneDrawArrays)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double ours = g_sprites.PerFrame(), reference = g_quads.PerFrame();
  std::printf("renderer: %s\n", Lumbo.hasContext ? reinterpret_cast<const char*>(glGetString(GL_RENDERER)) : "none");
  std::printf("SPRITE calls per 16.7 ms frame:              %.0f\n", ours);
  std::printf("quads per 16.7 ms from one glDrawArrays:     %.0f\n", reference);
  if (reference > 0) std::printf("ratio (SPRITE / glDrawArrays):              %.3f\n", ours / reference);
  return 0;
}
