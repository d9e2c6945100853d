// Hollerquast's pictures and its crash sound, drawn from fixed random seeds so every build writes
// the same files. Pictures are written by the runtime's own BMP writer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "MediaFiles.h"
#include "display/Bitmap.h"

namespace media {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Colour {
  double r, g, b;
};
Colour Mix(Colour a, Colour b, double f) {
  f = std::clamp(f, 0.0, 1.0);
  return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}
double Smooth(double f) {
  f = std::clamp(f, 0.0, 1.0);
  return f * f * (3 - 2 * f);
}
constexpr Colour kKey{255, 0, 128};  // transparent

// A picture with rows from the top.
struct Picture {
  int width, height;
  std::vector<unsigned char> bgr;
  Picture(int w, int h, Colour fill) : width(w), height(h), bgr(static_cast<std::size_t>(w) * h * 3) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Set(x, y, fill);
  }
  void Set(int x, int y, Colour c) {
    unsigned char* p = &bgr[(static_cast<std::size_t>(y) * width + x) * 3];
    p[0] = static_cast<unsigned char>(std::lround(std::clamp(c.b, 0.0, 255.0)));
    p[1] = static_cast<unsigned char>(std::lround(std::clamp(c.g, 0.0, 255.0)));
    p[2] = static_cast<unsigned char>(std::lround(std::clamp(c.r, 0.0, 255.0)));
  }
  void Save(const std::string& path) const {
    const std::vector<unsigned char> file = TAVELOR::EncodeBmp24(bgr.data(), width, height, width, true);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
  }
};

double Uniform(std::mt19937& rng) { return rng() / 4294967296.0; }

}  // namespace

void WriteMoon(const std::string& path) {
  // 48 pixels: the billboard is half as many units, so the whole disc shows above the horizon
  // at the top of the game's view.
  constexpr int kSize = 48;
  constexpr double kRadius = 22.5, kCentre = 23.5, kScale = kRadius / 29.5;
  Picture pic(kSize, kSize, kKey);
  struct Crater {
    double x, y, r, depth;
  };
  const Crater craters[] = {{-10, -8, 7, 0.16}, {9, 6, 5, 0.2},  {-4, 13, 4, 0.18}, {14, -10, 3.5, 0.2},
                            {-16, 6, 3, 0.22},  {3, -17, 3, 0.2}, {6, -3, 2.5, 0.25}, {-7, 2, 2, 0.25}};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const double dx = x - kCentre, dy = y - kCentre;
      const double d = std::sqrt(dx * dx + dy * dy) / kRadius;
      if (d > 1) continue;
      // Pale disc, darker towards the rim, with grey seas.
      double light = 0.78 + 0.22 * std::sqrt(1 - d * d);
      const double sea = Smooth((std::sin(dx / kScale * 0.17 + 1) * std::cos(dy / kScale * 0.13 - 0.5) - 0.3) * 2);
      light *= 1 - 0.14 * sea;
      for (const Crater& c : craters) {
        const double cx = dx - c.x * kScale, cy = dy - c.y * kScale;
        const double cd = std::sqrt(cx * cx + cy * cy) / (c.r * kScale);
        if (cd < 1) light *= 1 - c.depth * (1 - cd * cd * 0.6);
        // The rim on the side away from the light (top left) catches it.
        else if (cd < 1.3 && cx + cy > 0) light *= 1 + 0.12;
      }
      pic.Set(x, y, Mix({0, 0, 0}, {245, 240, 210}, light));
    }
  }
  pic.Save(path);
}

void WriteSky(const std::string& path) {
  constexpr int kSize = 512;
  constexpr double kHorizon = 0.42;  // texture height of the horizon (0 bottom, 1 top)
  Picture pic(kSize, kSize, {0, 0, 0});
  const Colour land{16, 24, 34}, glow{52, 62, 118}, mid{24, 28, 82}, high{12, 12, 50}, top{4, 4, 22};
  std::vector<double> hills(kSize);
  for (int x = 0; x < kSize; ++x) {
    // Whole waves per width, so the walls of the box join without a seam.
    const double a = 2 * kPi * x / kSize;
    hills[x] = kHorizon + 0.012 + 0.01 * std::sin(2 * a + 0.7) + 0.007 * std::sin(5 * a + 2.1) +
               0.004 * std::sin(13 * a + 0.3);
  }
  for (int y = 0; y < kSize; ++y) {
    const double t = 1 - (y + 0.5) / kSize;
    for (int x = 0; x < kSize; ++x) {
      Colour c;
      if (t < hills[x]) {
        c = Mix(land, Mix(land, glow, 0.25), (t - 0.2) / (kHorizon - 0.2));
      } else if (t < 0.55) {
        c = Mix(glow, mid, (t - kHorizon) / (0.55 - kHorizon));
      } else if (t < 0.75) {
        c = Mix(mid, high, (t - 0.55) / 0.2);
      } else {
        c = Mix(high, top, (t - 0.75) / 0.25);
      }
      pic.Set(x, y, c);
    }
  }
  // Stars: the rows just above the horizon are squeezed on screen, so stars there are taller.
  std::mt19937 rng(1701);
  for (int k = 0; k < 900; ++k) {
    const int x = static_cast<int>(Uniform(rng) * kSize);
    const double t = kHorizon + 0.02 + Uniform(rng) * (0.98 - kHorizon);
    const double bright = 120 + 135 * Uniform(rng) * Uniform(rng) + (Uniform(rng) < 0.08 ? 80 : 0);
    const double tint = Uniform(rng);
    const Colour star{bright * (0.85 + 0.15 * tint), bright * 0.9, bright * (1.0 - 0.1 * tint)};
    const int y = static_cast<int>((1 - t) * kSize);
    const int tall = t < 0.6 ? 3 : 2;
    for (int dy = 0; dy < tall; ++dy)
      for (int dx = 0; dx < 2; ++dx) {
        const int px = (x + dx) % kSize, py = y + dy;
        if (py >= 0 && py < kSize && 1 - (py + 0.5) / kSize >= hills[px]) pic.Set(px, py, star);
      }
  }
  pic.Save(path);
}

void WriteClouds(const std::string& path) {
  constexpr int kSize = 256;
  Picture pic(kSize, kSize, kKey);
  std::mt19937 rng(42);
  // The game draws 13 slabs of up to 74 units, one cell each, and the witch starts inside one
  // cloud: each cell holds a few bright wisps and is transparent elsewhere, so the clouds read
  // as layered veils and never as a grey wall. Translucent drawing darkens what lies behind an
  // opaque texel, so the wisps' rims are bright enough to make up for it.
  // The wisps stay inside the middle of each cell (kCloudWisps in MediaFiles.h), where the
  // game puts its slabs; the rest of the cell, which nothing draws, is transparent.
  const Colour rim{78, 84, 120}, centre{236, 238, 250};
  for (int cell = 0; cell < 9; ++cell) {
    const int x0 = kSize * (cell % 3) / 3, x1 = kSize * (cell % 3 + 1) / 3;
    const int y0 = kSize * (cell / 3) / 3, y1 = kSize * (cell / 3 + 1) / 3;
    const double w = x1 - x0, h = y1 - y0;
    struct Puff {
      double x, y, r;
    };
    std::vector<Puff> puffs;
    const int count = 3 + static_cast<int>(Uniform(rng) * 3);
    for (int k = 0; k < count; ++k) {
      puffs.push_back({0.25 + 0.5 * Uniform(rng), 0.35 + 0.3 * Uniform(rng), 0.07 + 0.06 * Uniform(rng)});
    }
    for (int y = y0 + 3; y < y1 - 3; ++y) {
      for (int x = x0 + 3; x < x1 - 3; ++x) {
        const double u = (x - x0 + 0.5) / w, v = (y - y0 + 0.5) / h;
        double density = 0;
        for (const Puff& p : puffs) {
          const double d2 = ((u - p.x) * (u - p.x) + (v - p.y) * (v - p.y)) / (p.r * p.r);
          density += std::exp(-d2);
        }
        // Faded out towards the edges of the wisps' box.
        const double edge = std::min({u - kCloudWisps.u0, kCloudWisps.u1 - u, v - kCloudWisps.v0, kCloudWisps.v1 - v});
        density *= Smooth(edge / 0.06);
        if (density < 0.35) continue;
        pic.Set(x, y, Mix(rim, centre, Smooth((density - 0.35) / 0.9)));
      }
    }
  }
  pic.Save(path);
}

void WriteSalto(const std::string& path) {
  constexpr int kRate = 22050;
  constexpr double kLength = 1.3;
  const int n = static_cast<int>(kRate * kLength);
  std::vector<double> s(n);
  std::mt19937 rng(7);
  double phase = 0, noise = 0;
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    // A whistle sliding down while she tumbles...
    const double f = 120 + 680 * std::exp(-2.6 * t);
    phase += 2 * kPi * f / kRate;
    const double whistle = (std::sin(phase) + 0.3 * std::sin(3 * phase)) * Smooth(t / 0.03) * Smooth((0.95 - t) / 0.3);
    // ... then the bump on the ground: low rumbling noise and a deep thud.
    double thud = 0;
    if (t > 0.85) {
      const double e = std::exp(-7 * (t - 0.85));
      noise += 0.08 * ((Uniform(rng) * 2 - 1) - noise);
      thud = e * (4 * noise + 0.9 * std::sin(2 * kPi * 62 * (t - 0.85)));
    }
    s[i] = 0.55 * whistle + thud;
  }
  double peak = 0;
  for (double v : s) peak = std::max(peak, std::fabs(v));
  std::vector<std::int16_t> pcm(n);
  for (int i = 0; i < n; ++i) pcm[i] = static_cast<std::int16_t>(std::lround(s[i] / peak * 26000));

  auto u32 = [](std::vector<unsigned char>& b, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  auto u16 = [](std::vector<unsigned char>& b, std::uint16_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
  };
  std::vector<unsigned char> b{'R', 'I', 'F', 'F'};
  const std::uint32_t data = static_cast<std::uint32_t>(n * 2);
  u32(b, 36 + data);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  u32(b, 16);
  u16(b, 1);  // PCM
  u16(b, 1);  // mono
  u32(b, kRate);
  u32(b, kRate * 2);
  u16(b, 2);
  u16(b, 16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  u32(b, data);
  for (std::int16_t v : pcm) u16(b, static_cast<std::uint16_t>(v));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace media
