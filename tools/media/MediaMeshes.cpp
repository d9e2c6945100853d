// Hollerquast's meshes. Sizes follow the world's layout: the witch and a ghost are about 2 units,
// a tree 14 units high with its origin at half height (it is drawn at height 7), the house about
// 6 units with its base at height 0, the ground reaches past the far plane once scaled by 10,
// and the sky box is scaled by 900. The witch faces -z, the game's heading rule turns her.
#include <algorithm>
#include <cmath>
#include <string>

#include "MediaFiles.h"
#include "MediaShapes.h"

namespace media {

namespace {

Frame At(Vec3 origin) { return AlongAxis(origin, {0, 1, 0}); }

// A closed tube of radius r from a to b.
void Tube(Mesh& mesh, Vec3 a, Vec3 b, double r0, double r1, std::uint32_t colour, int segments, const char* part) {
  const double len = std::sqrt(Dot(b - a, b - a));
  Revolve(mesh, AlongAxis(a, b - a), {{0, 0, 0, colour}, {r0, 0, r0, colour}, {r1, len, r1, colour}, {0, len, 0, colour}},
          segments, part);
}

}  // namespace

void WriteWitch(const std::string& path) {
  Mesh m;
  const std::uint32_t stick = Rgb(160, 100, 50), straw = Rgb(240, 195, 90), tie = Rgb(200, 50, 40);
  const std::uint32_t cloak = Rgb(140, 60, 195), cloakInside = Rgb(70, 35, 100), skin = Rgb(150, 215, 110);
  const std::uint32_t hat = Rgb(105, 50, 160), band = Rgb(245, 150, 40), hair = Rgb(240, 120, 40);
  const std::uint32_t cape = Rgb(190, 45, 70), boots = Rgb(70, 45, 35);

  // Broom: the stick runs along z under her, the bristles trail behind (+z).
  Tube(m, {0, -0.38, -1.25}, {0, -0.38, 0.62}, 0.055, 0.06, stick, 8, "broom stick");
  Revolve(m, AlongAxis({0, -0.38, 0.55}, {0, 0.06, 1}),
          {{0, 0, 0, tie}, {0.1, 0, 0.1, tie}, {0.12, 0.14, 0.12, tie}, {0.12, 0.14, 0.12, straw},
           {0.3, 0.6, 0.3, straw, 0.03, 5}, {0.36, 0.76, 0.36, straw}, {0, 0.8, 0, straw}},
          12, "bristles");

  // Body and cloak, sitting on the stick; head, nose and hair.
  Revolve(m, At({0, 0, 0.05}),
          {{0, -0.42, 0, cloakInside}, {0.42, -0.52, 0.5, cloakInside, 0.04, 6}, {0.42, -0.52, 0.5, cloak, 0.04, 6},
           {0.32, -0.1, 0.34, cloak}, {0.25, 0.2, 0.24, cloak}, {0.2, 0.3, 0.18, cloak}, {0, 0.38, 0, cloak}},
          14, "cloak");
  Ellipsoid(m, At({0, 0.52, -0.02}), {0.17, 0.19, 0.17}, skin, 12, "head");
  Revolve(m, AlongAxis({0, 0.5, -0.16}, {0, -0.35, -1}), {{0, 0, 0, skin}, {0.05, 0, 0.05, skin}, {0, 0.16, 0, skin}}, 6,
          "nose");
  for (double x : {-0.12, 0.0, 0.12}) Ellipsoid(m, At({x, 0.4, 0.14}), {0.08, 0.16, 0.06}, hair, 8, "hair");
  // The cape flutters out behind her.
  const Vec3 capeCorner[8] = {{-0.26, -0.2, 0.6}, {0.26, -0.2, 0.6}, {-0.18, 0.3, 0.17}, {0.18, 0.3, 0.17},
                              {-0.26, -0.2, 0.66}, {0.26, -0.2, 0.66}, {-0.18, 0.3, 0.23}, {0.18, 0.3, 0.23}};
  Hexahedron(m, capeCorner, {cape, cape, cape, cape, cape, cape}, "cape");

  // Arms reaching forward to the stick, hands, boots.
  for (double side : {-1.0, 1.0}) {
    const Vec3 shoulder{side * 0.19, 0.22, 0}, hand{side * 0.07, -0.3, -0.45};
    Tube(m, shoulder, hand, 0.07, 0.06, cloak, 8, "arm");
    Ellipsoid(m, At(hand), {0.07, 0.07, 0.07}, skin, 8, "hand");
    Box(m, At({side * 0.13, -0.5, -0.28}), {0, 0, 0}, {0.06, 0.05, 0.11}, boots, "boot");
  }

  // Hat: brim, crown with a band, the tip bent backwards.
  Revolve(m, At({0, 0.63, 0}),
          {{0, 0, 0, hat}, {0.38, 0, 0.38, hat}, {0.38, 0.04, 0.38, hat}, {0, 0.04, 0, hat}}, 16, "hat brim");
  Revolve(m, AlongAxis({0, 0.66, 0.01}, {0, 1, 0.3}),
          {{0, 0, 0, hat}, {0.2, 0, 0.2, hat}, {0.2, 0, 0.2, band}, {0.185, 0.1, 0.185, band}, {0.185, 0.1, 0.185, hat},
           {0, 0.62, 0, hat}},
          12, "hat");
  m.Save(path);
}

void WriteHouse(const std::string& path) {
  Mesh m;
  const std::uint32_t wall = Rgb(225, 195, 150), roof = Rgb(185, 60, 50), roofUnder = Rgb(100, 55, 45);
  const std::uint32_t door = Rgb(125, 75, 40), window = Rgb(255, 225, 110), frame = Rgb(80, 50, 35);
  const std::uint32_t brick = Rgb(170, 90, 75), soot = Rgb(60, 55, 55);
  const Vec3 centre{0, 2.5, 0};

  Box(m, At({0, 0, 0}), {0, 1.7, 0}, {3, 1.7, 2.5}, wall, "walls");
  // Gable ends: the ridge runs along x.
  m.Strip({{{3, 3.4, 2.5}, 0, 0, wall}, {{3, 5.6, 0}, 0, 0, wall}, {{3, 3.4, -2.5}, 0, 0, wall}}, centre, "gable +x");
  m.Strip({{{-3, 3.4, -2.5}, 0, 0, wall}, {{-3, 5.6, 0}, 0, 0, wall}, {{-3, 3.4, 2.5}, 0, 0, wall}}, centre, "gable -x");
  // Roof: two slabs from the ridge down past the eaves.
  for (double side : {-1.0, 1.0}) {
    Vec3 k[8];
    for (int i = 0; i < 8; ++i) {
      const double x = i & 1 ? 3.35 : -3.35;
      const bool eave = side > 0 ? (i & 4) != 0 : (i & 4) == 0;
      const double z = eave ? side * 2.95 : 0.0;
      const double y = (eave ? 3.15 : 5.6) + (i & 2 ? 0.2 : 0.0);
      k[i] = {x, y, z};
    }
    Hexahedron(m, k, {roof, roof, roofUnder, roof, roof, roof}, "roof");
  }
  Box(m, At({1.6, 0, -1}), {0, 5.0, 0}, {0.35, 1.3, 0.35}, brick, "chimney");
  Box(m, At({1.6, 0, -1}), {0, 6.37, 0}, {0.42, 0.08, 0.42}, soot, "chimney top");

  // Door and windows stand a little off the walls, so they survive the 8-bit quantisation.
  auto onWall = [&](Vec3 c, Vec3 right, Vec3 up, Vec3 out, double w, double h, std::uint32_t colour, double off) {
    const Vec3 o = c + out * off;
    Quad(m, o - right * w - up * h, o + right * w - up * h, o + right * w + up * h, o - right * w + up * h, colour,
         centre, "wall piece");
  };
  auto lit = [&](Vec3 c, Vec3 right, Vec3 out) {
    onWall(c, right, {0, 1, 0}, out, 0.52, 0.5, frame, 0.05);
    onWall(c, right, {0, 1, 0}, out, 0.4, 0.38, window, 0.1);
  };
  onWall({3, 1.0, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}, 0.55, 1.0, door, 0.06);
  lit({3, 4.2, 0}, {0, 0, -1}, {1, 0, 0});
  lit({-3, 2.1, 0}, {0, 0, 1}, {-1, 0, 0});
  for (double x : {-1.6, 1.6}) {
    lit({x, 2.0, 2.5}, {1, 0, 0}, {0, 0, 1});
    lit({x, 2.0, -2.5}, {-1, 0, 0}, {0, 0, -1});
  }
  m.Save(path);
}

void WriteTree(const std::string& path) {
  Mesh m;
  const std::uint32_t bark = Rgb(130, 85, 50);
  Revolve(m, At({0, -7, 0}), {{0, 0, 0, bark}, {0.55, 0, 0.55, bark}, {0.42, 3.2, 0.42, bark}, {0, 3.2, 0, bark}}, 8,
          "trunk");
  // Three stacked cones, each darker at its rim than at its tip.
  struct Tier {
    double base, radius, height;
    std::uint32_t rim, tip;
  };
  const Tier tiers[] = {{-5.2, 3.7, 6.2, Rgb(40, 115, 60), Rgb(75, 170, 90)},
                        {-2.0, 2.95, 5.6, Rgb(45, 125, 65), Rgb(85, 185, 100)},
                        {1.3, 2.15, 5.7, Rgb(50, 135, 70), Rgb(100, 200, 110)}};
  for (const Tier& t : tiers) {
    Revolve(m, At({0, t.base, 0}),
            {{0, 0.35, 0, t.rim}, {t.radius, 0, t.radius, t.rim, 0.18, 7}, {0, t.height, 0, t.tip}}, 14, "cone");
  }
  m.Save(path);
}

void WriteGround(const std::string& path) {
  Mesh m;
  // Eight shades of grass, dark to light, listed first so neighbouring shades sit in
  // neighbouring palette rows. The game draws the ground unshaded, so the moonlight is in the
  // colours themselves: 118 / 255 of the grass's daylight colour, the cel ramp's shadow side.
  constexpr double kMoonlight = 118.0 / 255;
  std::vector<std::uint32_t> shades;
  for (int k = 0; k < 8; ++k) {
    const double f = k / 7.0;
    auto lit = [&](double c) { return static_cast<int>(std::lround(c * kMoonlight)); };
    shades.push_back(Rgb(lit(90 + 70 * f), lit(135 + 70 * f), lit(85 + 40 * f)));
  }
  // Mesh units (the game scales by 10). The game keeps the ground under the camera in whole
  // steps of kPeriod (320 world units), so the pattern repeats with that period; cells are fine near
  // the middle and coarse towards the edge, which stays past the far plane (150 units) from
  // wherever the camera is within half a period of the middle.
  constexpr double kPeriod = 32, kPi = 3.14159265358979323846;
  struct Zone {
    double step, inner, outer;
  };
  const Zone zones[] = {{2, 0, 48}, {8, 48, 96}, {32, 96, 256}};
  m.PaletteOrder(shades, {-zones[2].outer, 0, -zones[2].outer});
  auto shade = [&](double x, double z) {
    // Rolling patches plus a little grain, from waves that repeat every period.
    const double w = 2 * kPi / kPeriod;
    const double v = 0.5 + 0.22 * std::sin(w * x + 1.3) * std::cos(w * z - 0.4) +
                     0.14 * std::sin(w * (2 * x + 4 * z)) + 0.08 * std::cos(w * (6 * x + 4 * z) + 1.7);
    return shades[std::clamp(static_cast<int>(std::lround(v * 7)), 0, 7)];
  };
  // The file stores positions as 256 steps between the smallest and the largest: with the far
  // edge 2 units short, every even coordinate is one step exactly.
  constexpr double kLast = 254;
  auto vertex = [&](double x, double z) {
    x = std::min(x, kLast);
    z = std::min(z, kLast);
    return Vertex{{x, 0, z}, 0, 0, shade(x, z)};
  };
  const Vec3 below{0, -10, 0};
  // One triangle, wound to face up.
  auto triangle = [&](Vec3 a, Vec3 b, Vec3 c) {
    if (Cross(c - b, b - a).y < 0) std::swap(b, c);
    m.Strip({vertex(a.x, a.z), vertex(b.x, b.z), vertex(c.x, c.z)}, below, "ground");
  };
  for (std::size_t i = 0; i < std::size(zones); ++i) {
    const Zone& zone = zones[i];
    const double s = zone.step, in = zone.inner;
    for (double z0 = -zone.outer; z0 < zone.outer; z0 += s) {
      for (double x0 = -zone.outer; x0 < zone.outer; x0 += s) {
        if (x0 >= -in && x0 + s <= in && z0 >= -in && z0 + s <= in) continue;  // the finer zone's
        // The cell's outline; an edge on the finer zone's border takes that zone's vertices
        // too, so the two zones share every vertex and no crack can open between them.
        const Vec3 corner[4] = {{x0, 0, z0}, {x0 + s, 0, z0}, {x0 + s, 0, z0 + s}, {x0, 0, z0 + s}};
        std::vector<Vec3> outline;
        for (int e = 0; e < 4; ++e) {
          const Vec3 a = corner[e], b = corner[(e + 1) % 4];
          outline.push_back(a);
          const Vec3 mid = (a + b) * 0.5;
          const bool onBorder = i > 0 && std::max(std::fabs(mid.x), std::fabs(mid.z)) == in &&
                                std::min(std::fabs(mid.x), std::fabs(mid.z)) < in;
          if (!onBorder) continue;
          const double fine = zones[i - 1].step;
          for (double t = fine; t < s; t += fine) outline.push_back(a + (b - a) * (t / s));
        }
        if (outline.size() == 4) {
          triangle(outline[0], outline[1], outline[2]);
          triangle(outline[0], outline[2], outline[3]);
          continue;
        }
        const Vec3 centre{x0 + s / 2, 0, z0 + s / 2};
        for (std::size_t k = 0; k < outline.size(); ++k) triangle(centre, outline[k], outline[(k + 1) % outline.size()]);
      }
    }
  }
  m.Save(path);
}

void WriteGhost(const std::string& path) {
  Mesh m;
  const std::uint32_t sheet = Rgb(235, 240, 255), under = Rgb(110, 115, 150), eye = Rgb(20, 20, 35);
  Revolve(m, At({0, 0, 0}),
          {{0, -0.72, 0, under}, {0.86, -0.95, 0.86, under, 0.12, 6}, {0.86, -0.95, 0.86, sheet, 0.12, 6},
           {0.8, -0.3, 0.8, sheet}, {0.72, 0.25, 0.72, sheet}, {0.55, 0.62, 0.55, sheet}, {0.3, 0.88, 0.3, sheet},
           {0, 0.98, 0, sheet}},
          16, "sheet");
  // The same face on both sides: the game turns ghosts by +90 and -90 degrees in turn.
  for (double side : {-1.0, 1.0}) {
    for (double x : {-0.27, 0.27}) Ellipsoid(m, At({x, 0.35, side * 0.64}), {0.13, 0.19, 0.1}, eye, 10, "eye");
    Ellipsoid(m, At({0, -0.02, side * 0.74}), {0.12, 0.09, 0.07}, eye, 10, "mouth");
  }
  m.Save(path);
}

void WriteShot(const std::string& path) {
  Mesh m;
  const std::uint32_t core = Rgb(255, 255, 230), glow = Rgb(255, 215, 90);
  Revolve(m, At({0, 0, 0}), {{0, -0.22, 0, core}, {0.16, 0, 0.16, glow}, {0, 0.22, 0, core}}, 8, "shot");
  m.Save(path);
}

void WriteSkyBox(const std::string& path) {
  Mesh m;
  // Texture heights of the box's rows: most of the picture lies just above the horizon, the
  // only part of the sky the camera behind the witch sees. v is stored negated, as the renderer
  // negates it again. The box has no walls below the horizon and no floor: the ground, drawn
  // out to the far plane after the sky, hides all of that.
  const double ys[] = {0, 0.05, 0.12, 0.3, 1};
  const double ts[] = {0.42, 0.55, 0.68, 0.84, 0.99};
  constexpr int kRows = static_cast<int>(std::size(ys));
  const std::uint32_t white = Rgb(255, 255, 255);
  const Vec3 centre{0, 0, 0};
  // Walls as seen from inside: left-hand corner, direction to the right.
  const Vec3 starts[4][2] = {{{1, 0, 1}, {-1, 0, 0}}, {{-1, 0, 1}, {0, 0, -1}}, {{-1, 0, -1}, {1, 0, 0}},
                             {{1, 0, -1}, {0, 0, 1}}};
  for (const auto& wall : starts) {
    for (int r = 0; r + 1 < kRows; ++r) {
      const Vec3 bl = wall[0] + Vec3{0, ys[r], 0}, tl = wall[0] + Vec3{0, ys[r + 1], 0};
      const Vec3 br = bl + wall[1] * 2, tr = tl + wall[1] * 2;
      m.Strip({{bl, 0, -ts[r], white}, {tl, 0, -ts[r + 1], white}, {br, 1, -ts[r], white}, {tr, 1, -ts[r + 1], white}},
              centre, "sky wall", true);
    }
  }
  m.Strip({{{1, 1, 1}, 0, -0.99, white}, {{1, 1, -1}, 1, -0.99, white}, {{-1, 1, 1}, 0, -0.99, white},
           {{-1, 1, -1}, 1, -0.99, white}},
          centre, "sky top", true);
  m.Save(path);
}

}  // namespace media
