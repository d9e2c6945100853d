// Resolving a 16 MiB archive member against the raw work it consists of: reading the packed
// bytes, lzo1x_decompress_safe and writing the result to a file. Prints both throughputs and
// the ratio (ours / reference).
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "storage/ResolveArchivePath.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;

namespace {

constexpr std::size_t kSize = 16u << 20;

struct Fixture {
  std::string archive;
  std::int64_t memberPos = 0;
  std::size_t memberSize = 0;
  Fixture() {
    // Half text, half random bytes, in alternating 4 KiB blocks.
    std::vector<unsigned char> data;
    data.reserve(kSize);
    std::mt19937 rng(1);
    const std::string text = "The witch steers over the moonlit house while five ghosts follow her. ";
    for (std::size_t block = 0; data.size() < kSize; ++block) {
      for (std::size_t i = 0; i < 4096 && data.size() < kSize; ++i) {
        data.push_back(block % 2 ? static_cast<unsigned char>(rng()) : static_cast<unsigned char>(text[(i + block) % text.size()]));
      }
    }
    ZyCompression zc;
    int n = zc.Pack(data.data(), static_cast<long>(data.size()));
    PackedMember m;
    m.name = "level.dat";
    m.block.assign(zc.Data(), zc.Data() + n);
    memberSize = m.block.size();
    std::string error;
    std::vector<unsigned char> bytes = BuildArchive({m}, 0, &error);
    archive = platform::TempDir() + "bench-storage.box";
    std::FILE* f = std::fopen(archive.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~Fixture() { std::remove(archive.c_str()); }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

void BM_ResolveArchiveMember(benchmark::State& state) {
  ZyShoeBox box;
  box.SetName(Data().archive.c_str());
  for (auto _ : state) {
    std::string path = ResolveArchivePath("media/level.dat", &box);
    if (path.empty()) state.SkipWithError("member not found");
    benchmark::DoNotOptimize(path);
  }
  box.Clear();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kSize));
}

void BM_ReadDecompressWrite(benchmark::State& state) {
  lzo_init();
  const std::string out = platform::TempDir() + "bench-storage.out";
  for (auto _ : state) {
    std::remove(out.c_str());
    std::FILE* in = std::fopen(Data().archive.c_str(), "rb");
    std::vector<unsigned char> block(Data().memberSize);
    std::fseek(in, static_cast<long>(Data().memberPos), SEEK_SET);
    std::fread(block.data(), 1, block.size(), in);
    std::fclose(in);
    std::vector<unsigned char> result(kSize);
    lzo_uint produced = kSize;
    lzo1x_decompress_safe(block.data() + 4, block.size() - 4, result.data(), &produced, nullptr);
    std::FILE* f = std::fopen(out.c_str(), "wb");
    std::fwrite(result.data(), 1, produced, f);
    std::fclose(f);
    benchmark::DoNotOptimize(result.data());
  }
  std::remove(out.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kSize));
}

BENCHMARK(BM_ResolveArchiveMember)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ReadDecompressWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

// Keeps each run's bytes per second so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) rate[r.benchmark_name()] = it->second.value;
    }
  }
  std::map<std::string, double> rate;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double ours = 0, ref = 0;
  for (const auto& [name, value] : reporter.rate) {
    if (name.find("BM_ResolveArchiveMember") == 0) ours = value;
    if (name.find("BM_ReadDecompressWrite") == 0) ref = value;
  }
  if (ours > 0 && ref > 0) {
    std::printf("resolve archive member: %.1f MiB/s, reference (read + lzo1x_decompress_safe + write): %.1f MiB/s, "
                "ratio %.2f\n",
                ours / (1 << 20), ref / (1 << 20), ours / ref);
  }
  benchmark::Shutdown();
  return 0;
}
