// What recording a session costs: Hollerquast's real main loop at 640 x 480 without a frame
// cap, in short rounds of 10 frames (so neighbouring rounds fly through nearly the same scene)
// that alternate between a live round and a round recorded to a file (checksum of every 30th
// picture, as TAVELOR_RECORD does by default). Time is the process's CPU time (all threads,
// the software renderer's included), which a loaded machine disturbs far less than the wall
// clock. Each round's figure is its mean frame time; the sides' figures are medians over the
// rounds with quartiles, the ratio the median of the per-round ratios, and the overhead the
// recorded rounds' total over the live rounds' total (a median would hide the one round in
// three that takes a checksum). The recordings are read back and must hold every frame. The
// recorder's own work (a checksum, a frame's records) is also timed apart from the frames,
// which a loaded machine spreads far less.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <time.h>

#include <unistd.h>

#include "Compare.h"
#include "GameStart.h"
#include "Hollerquast.h"
#include "display/OpenGLLumenar.h"
#include "frame/ReplayFrames.h"
#include "platform/replay.h"
#include "platform/replay_file.h"

namespace {

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
constexpr int kRounds = 240;
constexpr int kFramesPerRound = 10;
int g_frame = 0;

// The mean frame time of one round, in seconds. The mouse turns, speeds up and shoots now
// and then, so the witch keeps flying among the trees.
double Round() {
  double total = 0;
  for (int i = 0; i < kFramesPerRound; ++i, ++g_frame) {
    const int t = g_frame % 240;
    const double dx = t < 20 ? -30 : (t >= 120 && t < 140 ? 30 : 0);
    const double dy = t < 10 ? -15 : 0;
    const double start = CpuSeconds();
    __TAVELOR__::PlayFrame(dx, dy, 0, t == 60 ? 1 : 0);
    glFinish();
    total += CpuSeconds() - start;
  }
  return total / kFramesPerRound;
}

std::string Percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f %%", fraction * 100);
  return text;
}

}  // namespace

int main() {
  using namespace TAVELOR;
  setenv("LP_NUM_THREADS", "0", 0);  // the software renderer draws in this thread, whose CPU time is measured
  if (!StartGameHeadless("bench_record")) return 1;
  __TAVELOR__::SetUp();
  LIMITFPS(1000000);
  const std::string path = platform::TempDir() + "bench_record_" + std::to_string(getpid()) + ".rec";
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  Round();  // warm up
  long recordedFrames = 0, fileBytes = 0;
  const bench::Comparison c = bench::Interleave(
      kRounds,
      [&] {
        platform::replay::RecordTo(path.c_str(), Lumbo.displayWidth, Lumbo.displayHeight, renderer);
        const double t = Round();
        platform::replay::StopRecording();
        std::ifstream in(path, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        platform::replay::Recording rec;
        std::string error;
        bench::Require(platform::replay::ParseRecording(bytes.data(), bytes.size(), &rec, &error) &&
                           rec.frames == static_cast<std::uint32_t>(kFramesPerRound) && rec.ended,
                       "a round's recording does not hold its frames: " + error);
        recordedFrames += rec.frames;
        fileBytes += static_cast<long>(bytes.size());
        return t;
      },
      [] { return Round(); });
  std::remove(path.c_str());

  // The recorder's own work, timed apart from the frames (the rounds above fly through
  // different scenes, which spreads their times): one checksum of the shown picture, and the
  // records of a frame as the game reads them (keyboard, four mouse readings, five clock
  // readings, the frame's end).
  std::vector<double> checksum, records;
  for (int i = 0; i < 31; ++i) {
    const double t0 = CpuSeconds();
    BackBufferChecksum();
    checksum.push_back(CpuSeconds() - t0);
  }
  platform::replay::RecordEncoder encoder;
  unsigned char keys[256] = {};
  platform::MouseSample mouse;
  std::uint64_t clock = 1000000000;
  for (int round = 0; round < 31; ++round) {
    const double t0 = CpuSeconds();
    for (int f = 0; f < 1000; ++f) {
      encoder.Keyboard(keys);
      for (int m = 0; m < 4; ++m) {
        mouse.dx = m == 0 ? f % 7 - 3 : 0;
        encoder.Mouse(m == 0, mouse);
      }
      for (int c = 0; c < 5; ++c) encoder.Clock(clock += c == 0 ? 16666667 + f % 1000 : 20000 + f % 333);
      encoder.FrameEnd(false, 0);
    }
    encoder.Clear();
    records.push_back((CpuSeconds() - t0) / 1000);
  }
  const double liveFrame = bench::Summarise(c.reference).median;
  const double perFrame = bench::Summarise(checksum).median / 30 + bench::Summarise(records).median;
  std::fprintf(stderr, "bench_record: checksum %.3f ms (every 30th frame), records %.2f us a frame: %.3f ms a frame, %s of the live frame %.2f ms\n",
               bench::Summarise(checksum).median * 1000, bench::Summarise(records).median * 1e6, perFrame * 1000,
               Percent(perFrame / liveFrame).c_str(), liveFrame * 1000);
  double recorded = 0, live = 0;
  for (double t : c.ours) recorded += t;
  for (double t : c.reference) live += t;
  const double overhead = recorded / live - 1;
  std::fprintf(stderr, "bench_record: %d rounds of %d frames (%s); %.1f bytes a recorded frame\n", kRounds,
               kFramesPerRound, renderer, static_cast<double>(fileBytes) / static_cast<double>(recordedFrames));
  bench::Row("`bench_record`: Hollerquast frame recorded (checksum every 30th) against live, 640 x 480, no frame cap, CPU time",
             bench::Format(c.Ours(), 1000) + " ms", "live " + bench::Format(c.Reference(), 1000) + " ms",
             bench::Format(c.TimeRatio(), 1, "%.3f") + " (time; overhead of the totals " + Percent(overhead) +
                 "; the recorder's own work " + Percent(perFrame / liveFrame) + " of the live frame)");
  return 0;
}
