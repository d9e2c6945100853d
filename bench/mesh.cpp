// Loading a .ddd mesh of 500,000 nodes in 10 frames with X_LOADOBJ (reading, checking, triangle
// building and bounding spheres) against a plain loop that reads the same file into memory and
// expands it straight into the same triangle arrays, allocated the same way (malloc with the
// same huge-page advice, under one fixed allocator policy), with the same bounding spheres.
// Run for a mesh of triangle lists (about one triangle corner per node) and one of strips
// (about three corners per node). Both sides' triangles are checked byte for byte and their
// spheres for equality; the processor time of both is printed beside the wall-clock figures.
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <tavelor/scene3d.h>

#include "Compare.h"
#include "platform/memory.h"
#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;

namespace {

constexpr int kFrames = 10;
constexpr int kNodesPerFrame = 50000;
constexpr int kNodes = kFrames * kNodesPerFrame;
constexpr int kSlot = 17;

struct Writer {
  std::vector<unsigned char> b;
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  void f32(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
};

// Strips of stripLength vertices each behind a strip marker; stripLength 0 writes one
// triangle list holding every node after a list marker.
std::string MakeMesh(const char* name, int stripLength) {
  Writer w;
  w.u32(kDddMagic);
  std::uint64_t version;
  std::memcpy(&version, &kDddVersion, 8);
  w.u32(static_cast<std::uint32_t>(version));
  w.u32(static_cast<std::uint32_t>(version >> 32));
  const std::uint32_t palette[] = {0xFFFFFFFFu, 0xFFFFFFFEu, 0x2040C0u, 0x30C030u, 0xFFFFFFu};
  w.u32(kFrames);
  w.u32(5);
  w.u32(kNodesPerFrame);
  for (std::uint32_t c : palette) w.u32(c);
  for (int i = 0; i < kNodesPerFrame; ++i) {
    w.f32(static_cast<float>(i % 97) / 97.0f);
    w.f32(static_cast<float>(i % 89) / 89.0f);
  }
  for (int f = 0; f < kFrames; ++f) {
    w.u32(kNodesPerFrame);
    for (float v : {127.0f, 0.0f, 127.0f}) w.f32(v);
    for (float v : {0.1f, 0.1f, 0.1f}) w.f32(v);
    for (int k = 0; k < kNodesPerFrame; ++k) {
      bool marker = stripLength == 0 ? k == 0 : k % (stripLength + 1) == 0;
      int row = k / 256;
      int col = k % 256;
      w.b.push_back(static_cast<unsigned char>(col));
      w.b.push_back(static_cast<unsigned char>((row * 7 + col + f) & 0xFF));
      w.b.push_back(static_cast<unsigned char>(row + (k & 1)));
      w.b.push_back(static_cast<unsigned char>((k * 13) % kVertexNormals));
      w.b.push_back(static_cast<unsigned char>(marker ? (stripLength == 0 ? 0 : 1) : 2 + k % 3));
    }
  }
  std::string path = (std::filesystem::temp_directory_path() / name).string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.b.data()),
                                              static_cast<std::streamsize>(w.b.size()));
  return path;
}

std::uint32_t U32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float F32(const unsigned char* p) {
  std::uint32_t v = U32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

struct Frame {
  POLY_NODE* triangles = nullptr;
  std::size_t count = 0;
  float centre[3] = {0, 0, 0};
  float radius = 0;
};

void FreeFrames(std::vector<Frame>& frames) {
  for (Frame& f : frames) std::free(f.triangles);
  frames.clear();
}

// One corner straight from the file's node bytes.
void Corner(const unsigned char* n, int k, const float* offset, const float* scale, const unsigned char* palette,
            const unsigned char* tex, POLY_NODE& o) {
  const float* normal = gAvertexnormals[n[3]];
  const std::uint32_t colour = U32(palette + 4 * n[4]);
  for (int i = 0; i < 3; ++i) {
    o.position[i] = (static_cast<float>(n[i]) - offset[i]) * scale[i];
    o.normal[i] = normal[i];
    o.work[i] = 0;
    o.tangent[i] = gAvertexnormals[0][i];
    o.binormal[i] = gAvertexnormals[0][i];
  }
  o.colour = colour;
  o.colourIndex = n[4];
  o.reserved[0] = o.reserved[1] = o.reserved[2] = 0;
  o.rgb[0] = static_cast<float>(colour & 0xFF) / 255.0f;
  o.rgb[1] = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
  o.rgb[2] = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
  o.u = F32(tex + 8 * k);
  o.v = -F32(tex + 8 * k + 4);
}

// The reference: the whole file into memory, then each frame's triangles (lists and strips
// as the file's group markers say) and its bounding sphere.
void ReferenceLoad(const std::string& path, std::vector<Frame>& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  std::vector<unsigned char> file(static_cast<std::size_t>(std::ftell(f)));
  std::fseek(f, 0, SEEK_SET);
  if (std::fread(file.data(), 1, file.size(), f) != file.size()) file.clear();
  std::fclose(f);
  const unsigned char* p = file.data();
  const int frames = static_cast<int>(U32(p + 12));
  const int paletteCount = static_cast<int>(U32(p + 16));
  const int texCount = static_cast<int>(U32(p + 20));
  const unsigned char* palette = p + 24;
  const unsigned char* tex = palette + 4 * paletteCount;
  p = tex + 8 * texCount;
  out.resize(static_cast<std::size_t>(frames));
  for (Frame& fr : out) {
    const int n = static_cast<int>(U32(p));
    const float offset[3] = {F32(p + 4), F32(p + 8), F32(p + 12)};
    const float scale[3] = {F32(p + 16), F32(p + 20), F32(p + 24)};
    p += 28;
    std::size_t triangles = 0;
    bool strip = false;
    for (int k = 0, c = 0; k < n; ++k) {
      const std::uint32_t colour = U32(palette + 4 * p[5 * k + 4]);
      if (colour >= kGroupFan) {
        strip = colour == kGroupStrip;
        c = 0;
      } else if (++c == 3) {
        ++triangles;
        c = strip ? 2 : 0;
      }
    }
    const std::size_t bytes = (3 * triangles + 1) * sizeof(POLY_NODE);
    fr.triangles = static_cast<POLY_NODE*>(std::malloc(bytes));
    TAVELOR::platform::AdviseHugePages(fr.triangles, bytes);
    POLY_NODE* o = fr.triangles;
    POLY_NODE slot[3];
    int c = 0, parity = 0;
    for (int k = 0; k < n; ++k, p += 5) {
      const std::uint32_t colour = U32(palette + 4 * p[4]);
      if (colour >= kGroupFan) {
        strip = colour == kGroupStrip;
        c = 0;
        parity = 0;
        continue;
      }
      Corner(p, k, offset, scale, palette, tex, slot[c]);
      if (++c < 3) continue;
      o[0] = slot[0];
      o[1] = slot[1];
      o[2] = slot[2];
      o += 3;
      if (strip) {
        parity = 1 - parity;
        slot[parity == 1 ? 0 : 1] = slot[2];
        c = 2;
      } else {
        c = 0;
      }
    }
    fr.count = static_cast<std::size_t>(o - fr.triangles);
    double s[3] = {0, 0, 0};
    for (std::size_t i = 0; i < fr.count; ++i)
      for (int a = 0; a < 3; ++a) s[a] += fr.triangles[i].position[a];
    double centre[3] = {0, 0, 0};
    if (fr.count > 0)
      for (int a = 0; a < 3; ++a) centre[a] = s[a] / static_cast<double>(fr.count);
    double best = 0;
    for (std::size_t i = 0; i < fr.count; ++i) {
      double d = 0;
      for (int a = 0; a < 3; ++a) d += (fr.triangles[i].position[a] - centre[a]) * (fr.triangles[i].position[a] - centre[a]);
      best = std::max(best, d);
    }
    for (int a = 0; a < 3; ++a) fr.centre[a] = static_cast<float>(centre[a]);
    fr.radius = static_cast<float>(std::sqrt(best));
  }
}

void Check(const MeshObjectX& m, const std::vector<Frame>& ref, const char* name) {
  bench::Require(m.frames.count == static_cast<int>(ref.size()), std::string(name) + ": frame counts differ");
  for (std::size_t f = 0; f < ref.size(); ++f) {
    const POLY_FRAME& ours = m.frames[static_cast<int>(f)];
    const std::string at = std::string(name) + ", frame " + std::to_string(f);
    bench::Require(static_cast<std::size_t>(ours.triangles.count) == ref[f].count, at + ": triangle counts differ");
    bench::Require(std::memcmp(ours.triangles.data, ref[f].triangles, ref[f].count * sizeof(POLY_NODE)) == 0,
                   at + ": triangle bytes differ");
    bench::Require(ours.radius == ref[f].radius && ours.centre[0] == ref[f].centre[0] &&
                       ours.centre[1] == ref[f].centre[1] && ours.centre[2] == ref[f].centre[2],
                   at + ": bounding spheres differ");
  }
}

template <typename T>
double Bytes(const Queue<T>& q) {
  return static_cast<double>(q.capacity) * sizeof(T);
}

}  // namespace

int main(int argc, char** argv) {
  // One fixed allocator policy for both sides: every block of 1 MiB or more is fresh memory
  // from the system and goes back to it when freed. With glibc's default moving threshold,
  // whichever side frees at the right moment gets warm recycled memory instead, which was
  // measured to make one side four times cheaper for reasons unrelated to either.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 25;
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;  // 0 lists only, 1 strips only
  const char* names[2] = {"triangle lists", "strips of 100"};
  const std::string paths[2] = {MakeMesh("bench_mesh_lists.ddd", 0), MakeMesh("bench_mesh_strips.ddd", 100)};
  std::printf("X_LOADOBJ of %d nodes in %d frames against read + expand, %d interleaved rounds each\n", kNodes,
              kFrames, rounds);
  std::string ours, reference, ratio;
  for (int v = 0; v < 2; ++v) {
    if (only >= 0 && v != only) continue;
    std::vector<Frame> frames;
    std::vector<double> cpuOurs, cpuReference;  // processor seconds per round
    auto cpu = [] {
      timespec ts;
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
      return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    };
    bench::Comparison c = bench::Interleave(
        rounds,
        [&] {
          const double c0 = cpu();
          X_LOADOBJ(paths[v].c_str(), kSlot);
          cpuOurs.push_back(cpu() - c0);
          return -1.0;
        },
        [&] {
          const double c0 = cpu();
          FreeFrames(frames);  // as a new load releases the old one
          ReferenceLoad(paths[v], frames);
          cpuReference.push_back(cpu() - c0);
          return -1.0;
        });
    std::printf("%-15s processor ms per load: X_LOADOBJ %s, reference %s\n", names[v],
                bench::Format(bench::Summarise(cpuOurs), 1e3, "%.0f").c_str(),
                bench::Format(bench::Summarise(cpuReference), 1e3, "%.0f").c_str());
    const MeshObjectX& m = lumbo3D.meshes[kSlot];
    Check(m, frames, names[v]);
    double bytes = sizeof(MeshObjectX) + Bytes(m.frames) + Bytes(m.scratch) + Bytes(m.textureU) +
                   Bytes(m.textureV) + Bytes(m.palette);
    for (const POLY_FRAME& f : m.frames) bytes += Bytes(f.source) + Bytes(f.triangles) + Bytes(f.nodes);
    FreeFrames(frames);
    // Throughput in million nodes per second; the ratio is ours over the reference's.
    const bench::Spread o = c.Ours(), r = c.Reference(), t = c.TimeRatio();
    auto rate = [](const bench::Spread& s) {
      return bench::Spread{kNodes / s.median / 1e6, kNodes / s.high / 1e6, kNodes / s.low / 1e6};
    };
    const bench::Spread speed{1 / t.median, 1 / t.high, 1 / t.low};
    std::printf("%-15s X_LOADOBJ %s Mnodes/s  reference %s Mnodes/s  speed ratio %s  memory %.0f bytes/node\n",
                names[v], bench::Format(rate(o), 1, "%.1f").c_str(), bench::Format(rate(r), 1, "%.1f").c_str(),
                bench::Format(speed, 1, "%.2f").c_str(), bytes / kNodes);
    char a[64], b[64], q[64];
    std::snprintf(a, sizeof a, "%.1f", rate(o).median);
    std::snprintf(b, sizeof b, "%.1f", rate(r).median);
    std::snprintf(q, sizeof q, "%.2f", speed.median);
    ours += (v ? " / " : "") + std::string(a);
    reference += (v ? " / " : "") + std::string(b);
    ratio += (v ? " / " : "") + std::string(q);
  }
  bench::Row("`bench_mesh`: load 500,000 nodes in 10 frames (lists / strips)", ours + " M nodes/s",
             "read + expand " + reference + " M nodes/s", ratio + " (speed, target >= 0.5)");
  for (const std::string& p : paths) std::filesystem::remove(p);
  return 0;
}
