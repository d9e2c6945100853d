// Frame pacing: an empty game loop at 60 frames per second, paced by the runtime's frame
// wait (sleep, then watch the clock for the last part) and by a pure busy wait on the same
// clock (the reference), in short alternating rounds. Neither may run faster than 60 fps.
// Prints the median over rounds of the interval statistics and of the processor time per
// wall-clock second of both.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <tavelor/tavelor.h>

#include "Compare.h"

#include "display/OpenGLLumenar.h"

using namespace TAVELOR;

namespace {

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The reference: the same present and pacing rules with a busy wait only.
void BusyFlip(double interval) {
  glFlush();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  Lumbo.WinMessages();
  double now = static_cast<double>(Lumbo.AccurateTime());
  while (now <= Lumbo.nextFrameTime) {
    Lumbo.WinMessages();
    now = static_cast<double>(Lumbo.AccurateTime());
  }
  Lumbo.nextFrameTime += interval;
  while (Lumbo.nextFrameTime < now) Lumbo.nextFrameTime += interval;
}

struct Result {
  double meanInterval, p50, p99, cpuPerWall;
};

template <class Flip>
Result Run(int frames, Flip flip) {
  const double target = 1000.0 / 60.0;
  std::vector<double> stamps;
  stamps.reserve(frames + 1);
  Lumbo.nextFrameTime = static_cast<double>(Lumbo.AccurateTime());
  flip();
  double cpu0 = CpuSeconds();
  double wall0 = static_cast<double>(Lumbo.AccurateTime());
  stamps.push_back(wall0);
  for (int i = 0; i < frames; ++i) {
    flip();
    stamps.push_back(static_cast<double>(Lumbo.AccurateTime()));
  }
  double cpu = CpuSeconds() - cpu0;
  double wall = (stamps.back() - wall0) / 1000.0;
  std::vector<double> dev;
  for (std::size_t i = 1; i < stamps.size(); ++i) dev.push_back(std::fabs(stamps[i] - stamps[i - 1] - target));
  std::sort(dev.begin(), dev.end());
  Result r;
  r.meanInterval = (stamps.back() - stamps.front()) / frames;
  r.p50 = dev[dev.size() / 2];
  r.p99 = dev[std::min(dev.size() - 1, dev.size() * 99 / 100)];
  r.cpuPerWall = cpu / wall;
  return r;
}

}  // namespace

namespace __TAVELOR__ {
void __MainGameSub_() {}
}  // namespace __TAVELOR__

int main(int argc, char** argv) {
  int frames = argc > 1 ? std::atoi(argv[1]) : 600;
  if (frames < 60) frames = 60;
  constexpr int kRoundFrames = 60;  // one second per round and side
  const int rounds = frames / kRoundFrames;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  static char cmd[] = "";
  __GlobalInit(nullptr, nullptr, cmd, 1, "pacing");
  LIMITFPS(60);
  std::vector<Result> ours, ref;
  for (int i = 0; i < rounds; ++i) {
    auto runOurs = [&] { ours.push_back(Run(kRoundFrames, [] { Lumbo.FlipScreens(); })); };
    auto runRef = [&] { ref.push_back(Run(kRoundFrames, [] { BusyFlip(Lumbo.frameInterval); })); };
    if (i % 2 == 0) {
      runOurs();
      runRef();
    } else {
      runRef();
      runOurs();
    }
  }
  auto spread = [](const std::vector<Result>& v, double Result::*field) {
    std::vector<double> x;
    for (const Result& r : v) x.push_back(r.*field);
    return bench::Summarise(x);
  };
  std::vector<double> cpuRatio, p99Diff;
  for (int i = 0; i < rounds; ++i) {
    cpuRatio.push_back(ours[i].cpuPerWall / ref[i].cpuPerWall);
    p99Diff.push_back(ours[i].p99 - ref[i].p99);
  }
  const double target = 1000.0 / 60.0;
  const bench::Spread ourMean = spread(ours, &Result::meanInterval), refMean = spread(ref, &Result::meanInterval);
  std::printf("frame pacing at 60 fps: %d alternating rounds of %d frames per side, median (quartiles)\n", rounds,
              kRoundFrames);
  std::printf("%-22s %20s %20s %20s %20s\n", "", "mean ms", "p50 |dev| ms", "p99 |dev| ms", "CPU s/wall s");
  for (auto [name, v] : {std::pair<const char*, const std::vector<Result>*>{"runtime (sleep+spin)", &ours},
                         {"reference (busy wait)", &ref}}) {
    std::printf("%-22s %20s %20s %20s %20s\n", name, bench::Format(spread(*v, &Result::meanInterval), 1, "%.3f").c_str(),
                bench::Format(spread(*v, &Result::p50), 1, "%.3f").c_str(),
                bench::Format(spread(*v, &Result::p99), 1, "%.3f").c_str(),
                bench::Format(spread(*v, &Result::cpuPerWall), 1, "%.3f").c_str());
  }
  // Both sides must wait for every frame: a mean interval under the target means frames were
  // not paced. (Over it only means the machine was too busy to run a side on time.)
  bench::Require(ourMean.median > 0.99 * target && refMean.median > 0.99 * target, "a side ran faster than 60 fps");
  const bench::Spread cpu = bench::Summarise(cpuRatio), p99 = bench::Summarise(p99Diff);
  std::printf("p99 difference: %s ms (target <= +0.2)\n", bench::Format(p99, 1, "%+.3f").c_str());
  std::printf("CPU ratio: %s of the reference (target <= 0.15)\n", bench::Format(cpu, 1, "%.3f").c_str());
  bench::Row("`bench_pacing`: 60 fps empty loop, CPU per wall second",
             bench::Format(spread(ours, &Result::cpuPerWall), 1, "%.3f"),
             "busy wait " + bench::Format(spread(ref, &Result::cpuPerWall), 1, "%.3f"),
             bench::Format(cpu, 1, "%.2f") + " (p99 " + bench::Format(p99, 1, "%+.2f") + " ms)");
  std::fflush(stdout);
  std::_Exit(0);
}
