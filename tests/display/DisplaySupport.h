// Helpers of the display tests: a real window with an OpenGL context, pixel read-back and
// BMP files written independently of the runtime's own writer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

// RGB number of window pixel (x, y), y from the top, as the back buffer holds it now.
inline std::uint32_t Pixel(int x, int y) {
  unsigned char p[3] = {0, 0, 0};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
  return p[0] | p[1] << 8 | p[2] << 16;
}

// The bounding box of the pixels that are not black: left, top, right, bottom (exclusive).
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Box&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}
// The whole back buffer, rows from the bottom, 3 bytes a pixel.
inline std::vector<unsigned char> ReadFrame() {
  std::vector<unsigned char> p(static_cast<std::size_t>(kWidth) * kHeight * 3);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, p.data());
  return p;
}
inline Box LitBox() {
  const std::vector<unsigned char> p = ReadFrame();
  Box b{kWidth, kHeight, 0, 0};
  bool any = false;
  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      const unsigned char* q = &p[(static_cast<std::size_t>(row) * kWidth + x) * 3];
      if (!q[0] && !q[1] && !q[2]) continue;
      const int y = kHeight - 1 - row;
      any = true;
      b.left = std::min(b.left, x);
      b.right = std::max(b.right, x + 1);
      b.top = std::min(b.top, y);
      b.bottom = std::max(b.bottom, y + 1);
    }
  }
  return any ? b : Box{};
}
inline int LitCount() {
  const std::vector<unsigned char> p = ReadFrame();
  int n = 0;
  for (std::size_t i = 0; i < p.size(); i += 3) n += (p[i] | p[i + 1] | p[i + 2]) != 0;
  return n;
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
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}
inline std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

// BMP bytes of a width x height picture whose pixel (x, y) (y from the top) has the RGB
// number colour(x, y). 8-bit files get a palette of the colours used.
inline std::vector<unsigned char> MakeBmp(int width, int height, int bits,
                                          const std::function<std::uint32_t(int, int)>& colour,
                                          bool topDown = false) {
  std::map<std::uint32_t, int> index;
  std::vector<std::uint32_t> palette;
  if (bits == 8) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint32_t c = colour(x, y);
        if (!index.count(c)) {
          index[c] = static_cast<int>(palette.size());
          palette.push_back(c);
        }
      }
  }
  const int bpp = bits / 8;
  const int stride = (width * bpp + 3) / 4 * 4;
  const int offset = 54 + static_cast<int>(palette.size()) * 4;
  std::vector<unsigned char> b(static_cast<std::size_t>(offset) + static_cast<std::size_t>(stride) * height, 0);
  auto put = [&](int at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, static_cast<std::uint32_t>(b.size()), 4);
  put(10, offset, 4);
  put(14, 40, 4);
  put(18, width, 4);
  put(22, static_cast<std::uint32_t>(topDown ? -height : height), 4);
  put(26, 1, 2);
  put(28, bits, 2);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t c = palette[i];
    b[54 + i * 4] = static_cast<unsigned char>(c >> 16);
    b[54 + i * 4 + 1] = static_cast<unsigned char>(c >> 8);
    b[54 + i * 4 + 2] = static_cast<unsigned char>(c);
  }
  for (int y = 0; y < height; ++y) {
    const int stored = topDown ? y : height - 1 - y;
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &b[offset + static_cast<std::size_t>(stored) * stride + static_cast<std::size_t>(x) * bpp];
      const std::uint32_t c = colour(x, y);
      if (bits == 8) {
        p[0] = static_cast<unsigned char>(index[c]);
      } else {
        p[0] = static_cast<unsigned char>(c >> 16);
        p[1] = static_cast<unsigned char>(c >> 8);
        p[2] = static_cast<unsigned char>(c);
        if (bits == 32) p[3] = 0;  // the fourth byte means nothing
      }
    }
  }
  return b;
}

// Writes a one-colour picture (with colour(x, y) when given) and returns its path.
inline std::string SaveBmp(const std::string& name, int width, int height, int bits,
                           const std::function<std::uint32_t(int, int)>& colour) {
  std::string path = TempPath(name);
  WriteFile(path, MakeBmp(width, height, bits, colour));
  return path;
}

// Death tests of the program's end run in a fresh process (the parent holds a GL context
// and driver threads). That child unloads the GL driver when it ends, after which the
// driver's own allocations can no longer be told apart by library name, so leak checking
// is switched off for the child only.
inline void UseFreshChildProcesses() {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
  if (options.find("detect_leaks=0") == std::string::npos) {
    options += options.empty() ? "detect_leaks=0" : ":detect_leaks=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
  }
}

// Records an exit report on standard error so a death test can check the error code.
inline void ReportErrorAtExit() {
  std::atexit([] { std::fprintf(stderr, "error=%g line=%g\n", __g_error, __g_errorline); });
}

}  // namespace display_test
