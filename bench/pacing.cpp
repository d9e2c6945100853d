// Frame pacing: an empty game loop at 60 frames per second, paced by the runtime's frame
// wait (sleep, then watch the clock for the last part) and, in the same run, by a pure busy
// wait on the same clock (the reference). Prints the interval statistics and the processor
// time per wall-clock second of both.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <tavelor/tavelor.h>

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
  if (frames < 10) frames = 10;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  static char cmd[] = "";
  __GlobalInit(nullptr, nullptr, cmd, 1, "pacing");
  LIMITFPS(60);
  Result ours = Run(frames, [] { Lumbo.FlipScreens(); });
  Result ref = Run(frames, [] { BusyFlip(Lumbo.frameInterval); });
  std::printf("frame pacing at 60 fps, %d frames each\n", frames);
  std::printf("%-22s %12s %12s %12s %14s\n", "", "mean ms", "p50 |dev| ms", "p99 |dev| ms", "CPU s/wall s");
  std::printf("%-22s %12.3f %12.3f %12.3f %14.3f\n", "runtime (sleep+spin)", ours.meanInterval, ours.p50, ours.p99, ours.cpuPerWall);
  std::printf("%-22s %12.3f %12.3f %12.3f %14.3f\n", "reference (busy wait)", ref.meanInterval, ref.p50, ref.p99, ref.cpuPerWall);
  std::printf("p99 difference: %+.3f ms (target <= +0.2)\n", ours.p99 - ref.p99);
  std::printf("CPU ratio: %.3f of the reference (target <= 0.15)\n", ours.cpuPerWall / ref.cpuPerWall);
  std::fflush(stdout);
  std::_Exit(0);
}
