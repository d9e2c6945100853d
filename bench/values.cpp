// Cost of array indexing against a plain double[3], and of one RND call. Reads and writes run
// in interleaved rounds of a fixed number of accesses on both sides; the sums they produce
// are checked equal. Prints each figure and the ratios of the array accesses to the plain ones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include <tavelor/arrays.h>
#include <tavelor/maths.h>

#include "Compare.h"

using namespace TAVELOR;

namespace {

constexpr int kAccesses = 2000000;  // loop passes per round

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 41;
  DGIntArray a;
  DIM(a, 3);
  double plain[3];
  double arraySum = 0, plainSum = 0;

  bench::Comparison reads = bench::Interleave(
      rounds,
      [&] {
        a(0) = 1;
        a(1) = 2;
        a(2) = 3;
        double sum = 0;
        for (int i = 0; i < kAccesses; ++i) {
          benchmark::DoNotOptimize(a);
          sum = a(0) + a(1) + a(2);
          benchmark::DoNotOptimize(sum);
        }
        arraySum = sum;
        return -1.0;
      },
      [&] {
        plain[0] = 1;
        plain[1] = 2;
        plain[2] = 3;
        double sum = 0;
        for (int i = 0; i < kAccesses; ++i) {
          benchmark::DoNotOptimize(plain);
          sum = plain[0] + plain[1] + plain[2];
          benchmark::DoNotOptimize(sum);
        }
        plainSum = sum;
        return -1.0;
      });
  bench::Require(arraySum == plainSum, "array and plain reads summed differently");

  bench::Comparison writes = bench::Interleave(
      rounds,
      [&] {
        for (int i = 0; i < kAccesses; ++i) {
          double x = i;
          benchmark::DoNotOptimize(x);
          a(0) = x;
          a(1) = x + 1;
          a(2) = x + 2;
          benchmark::ClobberMemory();
        }
        return -1.0;
      },
      [&] {
        for (int i = 0; i < kAccesses; ++i) {
          double x = i;
          benchmark::DoNotOptimize(x);
          benchmark::DoNotOptimize(plain);
          plain[0] = x;
          plain[1] = x + 1;
          plain[2] = x + 2;
          benchmark::ClobberMemory();
        }
        return -1.0;
      });
  bench::Require(a(0) == plain[0] && a(1) == plain[1] && a(2) == plain[2], "array and plain writes left different values");

  Zysrand(1);
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kAccesses; ++i) benchmark::DoNotOptimize(RND(100));
  const double rnd = bench::Seconds(t0) / kAccesses;

  const double ns = 1e9 / kAccesses;
  for (auto [name, c] : {std::pair<const char*, bench::Comparison*>{"read", &reads}, {"write", &writes}}) {
    std::printf("3-element %s: array %s ns, double[3] %s ns, ratio %s\n", name, bench::Format(c->Ours(), ns).c_str(),
                bench::Format(c->Reference(), ns).c_str(), bench::Format(c->TimeRatio(), 1).c_str());
  }
  std::printf("RND %.2f ns per call\n", rnd * 1e9);
  bench::Row("`bench_values`: 3-element array read", bench::Format(reads.Ours(), ns) + " ns",
             "`double[3]` " + bench::Format(reads.Reference(), ns) + " ns",
             bench::Format(reads.TimeRatio(), 1, "%.1f") + " (time)");
  return 0;
}
