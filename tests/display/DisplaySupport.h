// Helpers of the display tests: a real window with an OpenGL context, pixel read-back and
// BMP files written independently of the runtime's own writer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "display/OpenGLLumenar.h"
#include "platform/platform.h"

namespace display_test {

using namespace TAVELOR;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Opens the runtime's window once per test program (SDL's offscreen driver).
inline void EnsureDisplay() {
  static bool done = false;
  if (done) return;
  done = true;
  __DG_RESX = kWidth;
  __DG_RESY = kHeight;
  char cmdline[4] = {0};
  __GlobalInit(nullptr, nullptr, cmdline, 1, "test");
}

// RGB bytes of a w x h block of the back buffer whose bottom-left is (x, row), rows from the bottom.
inline std::vector<unsigned char> ReadBack(int x, int row, int w, int h) {
  std::vector<unsigned char> p(static_cast<std::size_t>(w) * h * 3);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, row, w, h, GL_RGB, GL_UNSIGNED_BYTE, p.data());
  return p;
}

// RGB number of window pixel (x, y), y from the top, as the back buffer holds it now.
inline std::uint32_t Pixel(int x, int y) {
  const std::vector<unsigned char> p = ReadBack(x, kHeight - 1 - y, 1, 1);
  return p[0] | p[1] << 8 | p[2] << 16;
}

// What is lit (not black) in the window: the bounding box of those pixels (left, top,
// right, bottom; exclusive) and their number.
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Box&) const = default;
};
struct Lit {
  Box box;
  int count = 0;
  bool operator==(const Lit&) const = default;
};
inline Lit Scan() {
  const std::vector<unsigned char> p = ReadBack(0, 0, kWidth, kHeight);
  Lit l{{kWidth, kHeight, 0, 0}, 0};
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const int x = i % kWidth, y = kHeight - 1 - i / kWidth;
    if (p[i * 3] | p[i * 3 + 1] | p[i * 3 + 2])
      l = {{std::min(l.box.left, x), std::min(l.box.top, y), std::max(l.box.right, x + 1), std::max(l.box.bottom, y + 1)},
           l.count + 1};
  }
  return l.count ? l : Lit{};
}
// Clears the frame to black, runs draw and tells what it lit.
inline Lit Drawn(const std::function<void()>& draw) {
  glClear(GL_COLOR_BUFFER_BIT);
  draw();
  return Scan();
}

// RGBA texels of level `level` (w x h) of texture name, rows from the bottom.
inline std::vector<unsigned char> TexImage(GLuint name, int level, int w, int h) {
  std::vector<unsigned char> t(static_cast<std::size_t>(w) * h * 4);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
  return t;
}

// A fresh 2D frame: window-sized viewport, opaque drawing, cleared to black, no background.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureDisplay();
    ASSERT_TRUE(Lumbo.hasContext);
    BLACKSCREEN();
    ALPHAMODE(0);
    Lumbo.Make2DViewport(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
};

// A file path in the test's temporary directory.
inline std::string TempPath(const std::string& name) { return platform::TempDir() + name; }

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
inline std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// BMP bytes of a width x height picture whose pixel (x, y) (y from the top) has the RGB
// number colour(x, y). 8-bit files get a palette of the colours used.
inline std::vector<unsigned char> MakeBmp(int width, int height, int bits,
                                          const std::function<std::uint32_t(int, int)>& colour,
                                          bool topDown = false) {
  std::map<std::uint32_t, int> index;
  std::vector<std::uint32_t> palette;
  for (int y = 0; bits == 8 && y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (index.emplace(colour(x, y), static_cast<int>(palette.size())).second) palette.push_back(colour(x, y));
  const int bpp = bits / 8;
  const int stride = (width * bpp + 3) / 4 * 4;
  const int offset = 54 + static_cast<int>(palette.size()) * 4;
  std::vector<unsigned char> b(static_cast<std::size_t>(offset) + static_cast<std::size_t>(stride) * height, 0);
  auto put = [&](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  // Files store blue, green, red; a 32-bit pixel's fourth byte means nothing and stays 0.
  auto bgr = [](std::uint32_t c) { return (c & 255) << 16 | (c & 0xFF00) | (c >> 16 & 255); };
  put(0, 'B' | 'M' << 8, 2);
  for (auto [at, v] : {std::pair{2, static_cast<std::int64_t>(b.size())}, {10, offset}, {14, 40}, {18, width},
                       {22, topDown ? -height : height}})
    put(at, static_cast<std::uint32_t>(v), 4);
  put(26, 1, 2);
  put(28, bits, 2);
  for (std::size_t i = 0; i < palette.size(); ++i) put(54 + i * 4, bgr(palette[i]), 4);
  for (int y = 0; y < height; ++y) {
    const int stored = topDown ? y : height - 1 - y;
    for (int x = 0; x < width; ++x) {
      const std::size_t at = offset + static_cast<std::size_t>(stored) * stride + static_cast<std::size_t>(x) * bpp;
      if (bits == 8) put(at, index[colour(x, y)], 1);
      else put(at, bgr(colour(x, y)), bpp);
    }
  }
  return b;
}

// Writes MakeBmp's picture into the temporary directory and returns its path.
inline std::string SaveBmp(const std::string& name, int width, int height, int bits,
                           const std::function<std::uint32_t(int, int)>& colour) {
  std::string path = TempPath(name);
  WriteFile(path, MakeBmp(width, height, bits, colour));
  return path;
}

// Expects action to end the program with error 3 at debug line `line`. It runs in a fresh
// process (the parent holds a GL context and driver threads). That child unloads the GL
// driver when it ends, after which the driver's own allocations can no longer be told apart
// by library name, so leak checking is switched off for the child only.
inline void ExpectFileErrorExit(int line, const std::function<void()>& action) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
  if (options.find("detect_leaks=0") == std::string::npos) setenv("ASAN_OPTIONS", (options + ":detect_leaks=0").c_str(), 1);
  __g_debugline = line;
  EXPECT_EXIT(
      {
        std::atexit([] { std::fprintf(stderr, "error=%g line=%g\n", __g_error, __g_errorline); });
        action();
      },
      testing::ExitedWithCode(0), "error=3 line=" + std::to_string(line));
}

}  // namespace display_test
