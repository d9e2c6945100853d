// X_COLLISION and X_COLLISIONRAY against a closed 20,000-triangle mesh (a bumpy ball of radius
// about 10), compared with plain loops over the same triangle list: a closest-point-on-triangle
// test per triangle for the spheres (stopping at the first contact, as ours does) and
// Moeller-Trumbore per triangle for the rays (nearest hit in front, else nearest behind).
// 100,000 spheres and 100,000 rays at random places in a cube around the mesh. Both sides give
// the same answers (checked before any ratio is printed); they run interleaved over several
// rounds and the median tests per second is printed with its quartiles, then the README row.
//
//   bench_collision [rounds [tests]]   (5 rounds of 100,000 tests by default)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <tavelor/scene3d.h>

#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;

namespace {

constexpr int kSlot = 77;
constexpr int kMaxTests = 100000;
constexpr float kCube = 16;           // shapes lie in -16..16 on each axis
constexpr float kSphereRadius = 1.3f;  // about a tenth of the spheres touch

struct Vec {
  float x, y, z;
};
inline Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec Add(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec Scale(Vec a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline Vec At(const POLY_NODE& n) { return {n.position[0], n.position[1], n.position[2]}; }

// A bumpy ball: 100 slices and 101 stacks, 2 x 100 x 100 triangles.
void InstallMesh() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> bump(9.5f, 10.5f);
  const int slices = 100, stacks = 101;
  std::vector<Vec> p(static_cast<std::size_t>(slices) * stacks);
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const double th = M_PI * i / (stacks - 1), ph = 2 * M_PI * j / slices;
      const float r = (i == 0 || i == stacks - 1) ? 10.0f : bump(rng);
      p[i * slices + j] = {static_cast<float>(r * std::sin(th) * std::cos(ph)), static_cast<float>(r * std::cos(th)),
                           static_cast<float>(r * std::sin(th) * std::sin(ph))};
    }
  MeshObjectX& m = lumbo3D.meshes[kSlot];
  POLY_FRAME frame;
  auto add = [&](int a, int b, int c) {
    for (int k : {a, b, c}) {
      POLY_NODE node{};
      node.position[0] = p[k].x;
      node.position[1] = p[k].y;
      node.position[2] = p[k].z;
      frame.triangles.Append(node);
    }
  };
  for (int i = 0; i + 1 < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const int k = (j + 1) % slices;
      add(i * slices + j, i * slices + k, (i + 1) * slices + j);
      add(i * slices + k, (i + 1) * slices + k, (i + 1) * slices + j);
    }
  m.frames.Append(std::move(frame));
  m.CalcMaxRadius();
}

// ---- Reference side ----

float DistanceToTriangle2(Vec p, Vec a, Vec b, Vec c) {
  const Vec ab = Sub(b, a), ac = Sub(c, a), ap = Sub(p, a);
  Vec q;
  const float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  const Vec bp = Sub(p, b), cp = Sub(p, c);
  const float d3 = Dot(ab, bp), d4 = Dot(ac, bp), d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
  if (d1 <= 0 && d2 <= 0) q = a;
  else if (d3 >= 0 && d4 <= d3) q = b;
  else if (vc <= 0 && d1 >= 0 && d3 <= 0) q = Add(a, Scale(ab, d1 / (d1 - d3)));
  else if (d6 >= 0 && d5 <= d6) q = c;
  else if (vb <= 0 && d2 >= 0 && d6 <= 0) q = Add(a, Scale(ac, d2 / (d2 - d6)));
  else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) q = Add(b, Scale(Sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6))));
  else {
    const float denom = 1 / (va + vb + vc);
    q = Add(a, Add(Scale(ab, vb * denom), Scale(ac, vc * denom)));
  }
  const Vec d = Sub(p, q);
  return Dot(d, d);
}

bool ReferenceSphere(const Queue<POLY_NODE>& t, Vec c, float r) {
  for (int i = 0; i + 2 < t.count; i += 3)
    if (DistanceToTriangle2(c, At(t[i]), At(t[i + 1]), At(t[i + 2])) < r * r) return true;
  return false;
}

float ReferenceRay(const Queue<POLY_NODE>& t, Vec o, Vec d) {
  float front = 0, behind = 0;
  for (int i = 0; i + 2 < t.count; i += 3) {
    const Vec a = At(t[i]), e1 = Sub(At(t[i + 1]), a), e2 = Sub(At(t[i + 2]), a);
    const Vec pv = Cross(d, e2);
    const float det = Dot(e1, pv);
    if (det == 0) continue;
    const float inv = 1 / det;
    const Vec tv = Sub(o, a);
    const float u = Dot(tv, pv) * inv;
    if (u < 0 || u > 1) continue;
    const Vec qv = Cross(tv, e1);
    const float v = Dot(d, qv) * inv;
    if (v < 0 || u + v >= 1) continue;
    const float hit = Dot(e2, qv) * inv;
    if (hit > 0 && (front == 0 || hit < front)) front = hit;
    if (hit < 0 && (behind == 0 || hit > behind)) behind = hit;
  }
  return front != 0 ? front : behind;
}

// ---- Timing ----

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Series {
  std::vector<double> rates;  // tests per second, one per round
  // The q-quantile of the rounds (nearest rank).
  double Quantile(double q) const {
    std::vector<double> s = rates;
    std::sort(s.begin(), s.end());
    return s[static_cast<std::size_t>(q * static_cast<double>(s.size() - 1) + 0.5)];
  }
};

void Print(const char* what, const Series& ours, const Series& reference) {
  std::printf("%-8s ours %.0f (%.0f-%.0f) tests/s  reference %.0f (%.0f-%.0f) tests/s  ratio %.2f\n", what,
              ours.Quantile(0.5), ours.Quantile(0.25), ours.Quantile(0.75), reference.Quantile(0.5),
              reference.Quantile(0.25), reference.Quantile(0.75), ours.Quantile(0.5) / reference.Quantile(0.5));
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int kTests = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, kMaxTests) : kMaxTests;
  InstallMesh();
  const Queue<POLY_NODE>& triangles = lumbo3D.meshes[kSlot].frames[0].triangles;
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<float> at(-kCube, kCube), unit(-1, 1);
  std::vector<Vec> centres(kTests), origins(kTests), directions(kTests);
  for (Vec& c : centres) c = {at(rng), at(rng), at(rng)};
  for (int i = 0; i < kTests; ++i) {
    origins[i] = {at(rng), at(rng), at(rng)};
    Vec d;
    do d = {unit(rng), unit(rng), unit(rng)};
    while (Dot(d, d) < 0.01f || Dot(d, d) > 1);
    directions[i] = Scale(d, 1 / std::sqrt(Dot(d, d)));
  }

  std::vector<char> ourContacts(kTests), referenceContacts(kTests);
  std::vector<float> ourDistances(kTests), referenceDistances(kTests);
  Series sphereOurs, sphereReference, rayOurs, rayReference;
  for (int round = 0; round < rounds; ++round) {
    // Alternate which side goes first, so neither always runs on a warmer cache.
    for (int side = 0; side < 2; ++side) {
      const bool ours = (side + round) % 2 == 0;
      auto t0 = std::chrono::steady_clock::now();
      for (int i = 0; i < kTests; ++i) {
        const Vec c = centres[i];
        if (ours) ourContacts[i] = X_COLLISION(kSlot, 0, kSphereRadius, c.x, c.y, c.z) != 0;
        else referenceContacts[i] = ReferenceSphere(triangles, c, kSphereRadius);
      }
      (ours ? sphereOurs : sphereReference).rates.push_back(kTests / Seconds(t0));
      t0 = std::chrono::steady_clock::now();
      for (int i = 0; i < kTests; ++i) {
        const Vec o = origins[i], d = directions[i];
        if (ours) ourDistances[i] = static_cast<float>(X_COLLISIONRAY(kSlot, 0, o.x, o.y, o.z, d.x, d.y, d.z));
        else referenceDistances[i] = ReferenceRay(triangles, o, d);
      }
      (ours ? rayOurs : rayReference).rates.push_back(kTests / Seconds(t0));
    }
  }

  int contacts = 0, hits = 0, sphereMismatches = 0, rayMismatches = 0;
  for (int i = 0; i < kTests; ++i) {
    contacts += ourContacts[i];
    hits += ourDistances[i] != 0;
    sphereMismatches += ourContacts[i] != referenceContacts[i];
    const float a = ourDistances[i], b = referenceDistances[i];
    if ((a == 0) != (b == 0) || std::fabs(a - b) > 1e-4f * std::max(1.0f, std::fabs(b))) {
      if (rayMismatches < 5) std::printf("ray %d: %g vs %g\n", i, a, b);
      ++rayMismatches;
    }
  }
  std::printf("%d triangles, %d spheres of radius %.1f (%d touching), %d rays (%d hitting), %d rounds\n",
              triangles.count / 3, kTests, kSphereRadius, contacts, kTests, hits, rounds);
  if (sphereMismatches || rayMismatches) {
    std::printf("FAILED: the two sides disagree on %d spheres and %d rays\n", sphereMismatches, rayMismatches);
    return 1;
  }
  Print("spheres", sphereOurs, sphereReference);
  Print("rays", rayOurs, rayReference);
  // The row of the README's benchmark table.
  std::printf("| `bench_collision`: %d spheres / rays against a %d-triangle mesh | %.0f / %.0f tests/s | every "
              "triangle: closest point / Moeller-Trumbore %.0f / %.0f tests/s | %.2f / %.2f (speed, target >= 1) |\n",
              kTests, triangles.count / 3, sphereOurs.Quantile(0.5), rayOurs.Quantile(0.5), sphereReference.Quantile(0.5),
              rayReference.Quantile(0.5), sphereOurs.Quantile(0.5) / sphereReference.Quantile(0.5),
              rayOurs.Quantile(0.5) / rayReference.Quantile(0.5));
  return 0;
}
