// Cost of array indexing against a plain double[3], and of one RND call. Prints each
// figure and, at the end, the ratios of the array accesses to the plain ones.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/maths.h>

using namespace TAVELOR;

namespace {

void ArrayRead(benchmark::State& state) {
  DGIntArray v;
  DIM(v, 3);
  v(0) = 1;
  v(1) = 2;
  v(2) = 3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(v);
    double sum = v(0) + v(1) + v(2);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(ArrayRead);

void PlainRead(benchmark::State& state) {
  double v[3] = {1, 2, 3};
  for (auto _ : state) {
    benchmark::DoNotOptimize(v);
    double sum = v[0] + v[1] + v[2];
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(PlainRead);

void ArrayWrite(benchmark::State& state) {
  DGIntArray v;
  DIM(v, 3);
  double x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    v(0) = x;
    v(1) = x + 1;
    v(2) = x + 2;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(ArrayWrite);

void PlainWrite(benchmark::State& state) {
  double v[3];
  double x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(v);
    v[0] = x;
    v[1] = x + 1;
    v[2] = x + 2;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(PlainWrite);

void Rnd(benchmark::State& state) {
  Zysrand(1);
  for (auto _ : state) benchmark::DoNotOptimize(RND(100));
}
BENCHMARK(Rnd);

// Keeps the per-iteration time of every run for the ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) ns[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char* ours, const char* plain) {
    if (reporter.ns.count(ours) && reporter.ns.count(plain) && reporter.ns[plain] > 0) {
      std::printf("%s %.2f ns, %s %.2f ns, ratio %.2f\n", ours, reporter.ns[ours], plain, reporter.ns[plain],
                  reporter.ns[ours] / reporter.ns[plain]);
    }
  };
  ratio("ArrayRead", "PlainRead");
  ratio("ArrayWrite", "PlainWrite");
  if (reporter.ns.count("Rnd")) std::printf("RND %.2f ns per call\n", reporter.ns["Rnd"]);
  benchmark::Shutdown();
  return 0;
}
