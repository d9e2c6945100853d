// Sprites per frame: frames of 100, 1,000 and 5,000 32 x 32 SPRITE calls against the driver
// drawing the same textured quads from one vertex array with a single glDrawArrays (close to
// the most the driver can do), on the same context, positions, texture and state. Each round
// draws one frame and waits for it (glFinish); the sides alternate. Before timing, both frames
// are read back and checked pixel for pixel. Prints how many sprites fit in one 60 Hz frame
// (16.7 ms) on each side and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "Compare.h"
#include "display/OpenGLLumenar.h"
#include "platform/platform.h"

using namespace TAVELOR;

namespace {

constexpr int kMost = 5000;  // sprites in the largest frame
constexpr double kFrameSeconds = 1.0 / 60.0;
constexpr int kSlot = 1;

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
  for (int i = 0; i < kMost; ++i) {
    seed = seed * 1103515245u + 12345u;
    g_positions.push_back(static_cast<float>((seed >> 8) % (640 - 32)));
    seed = seed * 1103515245u + 12345u;
    g_positions.push_back(static_cast<float>((seed >> 8) % (480 - 32)));
  }
}

void DrawSprites(int n) {
  for (int i = 0; i < n; ++i) SPRITE(kSlot, g_positions[2 * i], g_positions[2 * i + 1]);
  glFinish();
}

// The same quads, texture coordinates and texture from one client-side array.
std::vector<float> QuadArray(int n) {
  const float u = static_cast<float>(Lumbo.imageWidth[kSlot]) / static_cast<float>(Lumbo.textureWidth[kSlot]);
  const float v = static_cast<float>(Lumbo.imageHeight[kSlot]) / static_cast<float>(Lumbo.textureHeight[kSlot]);
  std::vector<float> array;
  for (int i = 0; i < n; ++i) {
    const float x = g_positions[2 * i], y = g_positions[2 * i + 1];
    const float corners[4][4] = {{x, -(y + 32), 0, 0}, {x + 32, -(y + 32), u, 0}, {x + 32, -y, u, v}, {x, -y, 0, v}};
    for (const auto& c : corners) array.insert(array.end(), c, c + 4);
  }
  return array;
}

void DrawArray(const std::vector<float>& array) {
  glBindTexture(GL_TEXTURE_2D, Lumbo.textureNames[kSlot][0]);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 16, array.data());
  glTexCoordPointer(2, GL_FLOAT, 16, array.data() + 2);
  glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(array.size() / 4));
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glFinish();
}

void Clear() {
  glClear(GL_COLOR_BUFFER_BIT);
  glFinish();
}

std::vector<unsigned char> Pixels() {
  std::vector<unsigned char> p(640 * 480 * 4);
  glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 41;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  Setup();
  std::printf("renderer: %s\n", Lumbo.hasContext ? reinterpret_cast<const char*>(glGetString(GL_RENDERER)) : "none");
  if (!Lumbo.hasContext) return 1;
  std::printf("32 x 32 sprites per 16.7 ms frame, median (quartiles) of %d interleaved rounds\n", rounds);
  std::printf("%6s %24s %24s %18s\n", "count", "SPRITE", "one glDrawArrays", "ratio");
  std::string ours, reference, ratio;
  for (int n : {100, 1000, 5000}) {
    const std::vector<float> array = QuadArray(n);
    Clear();
    DrawSprites(n);
    const std::vector<unsigned char> mine = Pixels();
    Clear();
    DrawArray(array);
    const std::vector<unsigned char> theirs = Pixels();
    bench::Require(mine == theirs, std::to_string(n) + " sprites: the frames differ");
    bench::Comparison c = bench::Interleave(
        rounds,
        [&] {
          Clear();
          const auto t0 = std::chrono::steady_clock::now();
          DrawSprites(n);
          return bench::Seconds(t0);
        },
        [&] {
          Clear();
          const auto t0 = std::chrono::steady_clock::now();
          DrawArray(array);
          return bench::Seconds(t0);
        });
    // Sprites per frame: more is better, so the quartiles swap.
    auto perFrame = [n](const bench::Spread& s) {
      return bench::Spread{n * kFrameSeconds / s.median, n * kFrameSeconds / s.high, n * kFrameSeconds / s.low};
    };
    const bench::Spread t = c.TimeRatio();
    const bench::Spread speed{1 / t.median, 1 / t.high, 1 / t.low};
    std::printf("%6d %24s %24s %18s\n", n, bench::Format(perFrame(c.Ours()), 1, "%.0f").c_str(),
                bench::Format(perFrame(c.Reference()), 1, "%.0f").c_str(), bench::Format(speed, 1, "%.2f").c_str());
    std::fflush(stdout);
    char a[32], b[32], q[32];
    std::snprintf(a, sizeof a, "%.0f", perFrame(c.Ours()).median);
    std::snprintf(b, sizeof b, "%.0f", perFrame(c.Reference()).median);
    std::snprintf(q, sizeof q, "%.2f", speed.median);
    ours += (ours.empty() ? "" : " / ") + std::string(a);
    reference += (reference.empty() ? "" : " / ") + std::string(b);
    ratio += (ratio.empty() ? "" : " / ") + std::string(q);
  }
  std::printf("ratio target: >= 0.9 at every count\n");
  bench::Row("`bench_sprites`: 32 x 32 sprites per 16.7 ms, frames of 100 / 1,000 / 5,000", ours,
             "quads from one `glDrawArrays` " + reference, ratio + " (target >= 0.9)");
  std::fflush(stdout);
  std::_Exit(0);
}
