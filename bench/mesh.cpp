// Loading a .ddd mesh of 500,000 nodes in 10 frames with X_LOADOBJ (reading, triangle building
// and bounding spheres) against a plain loop that reads the same file into memory and expands
// every node into a POLY_NODE array. Run for a mesh of triangle lists (about one triangle
// corner per node) and one of strips (about three corners per node).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <tavelor/scene3d.h>

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

// The reference: the whole file into memory, then one POLY_NODE per node.
std::size_t ReferenceLoad(const std::string& path, std::vector<POLY_NODE>& out) {
  std::vector<unsigned char> file;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  file.resize(static_cast<std::size_t>(std::ftell(f)));
  std::fseek(f, 0, SEEK_SET);
  if (std::fread(file.data(), 1, file.size(), f) != file.size()) file.clear();
  std::fclose(f);
  const unsigned char* p = file.data();
  int frames = static_cast<int>(U32(p + 12));
  int paletteCount = static_cast<int>(U32(p + 16));
  int texCount = static_cast<int>(U32(p + 20));
  const unsigned char* palette = p + 24;
  const unsigned char* tex = palette + 4 * paletteCount;
  p = tex + 8 * texCount;
  out.assign(static_cast<std::size_t>(frames) * kNodesPerFrame, POLY_NODE{});
  POLY_NODE* o = out.data();
  for (int fi = 0; fi < frames; ++fi) {
    int n = static_cast<int>(U32(p));
    float offset[3] = {F32(p + 4), F32(p + 8), F32(p + 12)};
    float scale[3] = {F32(p + 16), F32(p + 20), F32(p + 24)};
    p += 28;
    for (int k = 0; k < n; ++k, p += 5, ++o) {
      const float* normal = gAvertexnormals[p[3]];
      std::uint32_t colour = U32(palette + 4 * p[4]);
      for (int i = 0; i < 3; ++i) {
        o->position[i] = (p[i] - offset[i]) * scale[i];
        o->normal[i] = normal[i];
        o->tangent[i] = gAvertexnormals[0][i];
        o->binormal[i] = gAvertexnormals[0][i];
      }
      o->colour = colour;
      o->colourIndex = p[4];
      o->rgb[0] = static_cast<float>(colour & 0xFF) / 255.0f;
      o->rgb[1] = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
      o->rgb[2] = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
      o->u = F32(tex + 8 * k);
      o->v = -F32(tex + 8 * k + 4);
    }
  }
  return out.size();
}

struct Result {
  double best = 1e30;  // seconds per load
  double bytesPerNode = 0;
};
Result gOurs[2], gReference[2];
std::string gPath[2];

template <typename F>
void Timed(benchmark::State& state, Result& result, F&& body) {
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    body();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.best = std::min(result.best, s);
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

template <typename T>
double Bytes(const Queue<T>& q) {
  return static_cast<double>(q.capacity) * sizeof(T);
}

void BM_XLoadObj(benchmark::State& state) {
  int v = static_cast<int>(state.range(0));
  Timed(state, gOurs[v], [&] { X_LOADOBJ(gPath[v].c_str(), kSlot); });
  const MeshObjectX& m = lumbo3D.meshes[kSlot];
  if (m.frames.count != kFrames) state.SkipWithError("load failed");
  double bytes = sizeof(MeshObjectX) + Bytes(m.frames) + Bytes(m.scratch) + Bytes(m.textureU) +
                 Bytes(m.textureV) + Bytes(m.palette);
  for (const POLY_FRAME& f : m.frames) bytes += Bytes(f.source) + Bytes(f.triangles) + Bytes(f.nodes);
  gOurs[v].bytesPerNode = bytes / kNodes;
  state.counters["bytes_per_node"] = gOurs[v].bytesPerNode;
}

void BM_ReferenceExpand(benchmark::State& state) {
  int v = static_cast<int>(state.range(0));
  std::vector<POLY_NODE> out;
  Timed(state, gReference[v], [&] {
    benchmark::DoNotOptimize(ReferenceLoad(gPath[v], out));
    std::vector<POLY_NODE>().swap(out);  // a fresh array each time, as a load would have
  });
  gReference[v].bytesPerNode = sizeof(POLY_NODE);
}

BENCHMARK(BM_XLoadObj)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReferenceExpand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  gPath[0] = MakeMesh("bench_mesh_lists.ddd", 0);
  gPath[1] = MakeMesh("bench_mesh_strips.ddd", 100);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const char* names[2] = {"triangle lists", "strips of 100"};
  std::printf("\nX_LOADOBJ of %d nodes in %d frames (best of the runs above)\n", kNodes, kFrames);
  for (int v = 0; v < 2; ++v) {
    if (gOurs[v].best >= 1e30 || gReference[v].best >= 1e30) continue;
    double ours = kNodes / gOurs[v].best / 1e6;
    double reference = kNodes / gReference[v].best / 1e6;
    std::printf("%-15s X_LOADOBJ %7.1f Mnodes/s  reference %7.1f Mnodes/s  ratio %.2fx  memory %.0f bytes/node (reference %.0f)\n",
                names[v], ours, reference, ours / reference, gOurs[v].bytesPerNode, gReference[v].bytesPerNode);
  }
  for (const std::string& p : gPath) std::filesystem::remove(p);
  return 0;
}
