// Sessions through the runtime: a scripted session gives each frame exactly its input and clock;
// a recorded session replays to the same readings; a replay that reads otherwise, or a file
// that is no recording, ends the program with its own exit code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <tavelor/tavelor.h>

#include "platform/platform.h"
#include "platform/replay_file.h"

using namespace TAVELOR;
namespace fs = std::filesystem;

namespace {

// Shared with the death tests' children, which run the test program again.
std::string Dir() {
  fs::create_directories(TAVELOR_TEST_TMPDIR);
  return TAVELOR_TEST_TMPDIR;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The program of every child: start-up, then frames; each frame writes what the game reads
// (space key, mouse axes and button, the timers) to `out` before SHOWSCREEN. `extraRead` reads
// the keyboard once more in that frame.
[[noreturn]] void Play(const char* variable, const std::string& file, const std::string& out, int frames,
                       int extraRead = 0) {
  setenv("TMPDIR", Dir().c_str(), 1);
  setenv(variable, file.c_str(), 1);
  __DG_RESX = 320;
  __DG_RESY = 240;
  static char cmd[] = "";
  __GlobalInit(nullptr, nullptr, cmd, 1, "Replay Test");
  std::FILE* f = std::fopen(out.c_str(), "w");
  for (int frame = 1; frame <= frames; ++frame) {
    if (frame == 2 && std::string(variable) == "TAVELOR_RECORD") platform::PushKeyEvent(__hWnd, 57, true);
    if (frame == extraRead) KEY(30);
    std::fprintf(f, "%g %g %g %g %g %.6f %.6f\n", KEY(57), MOUSEAXIS(0), MOUSEAXIS(1), MOUSEAXIS(2), MOUSEAXIS(3),
                 GETTIMER(), GETTIMERALL());
    std::fflush(f);
    SHOWSCREEN();
  }
  END();
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
};

}  // namespace

// A scripted session of `frames` frames: frame 3 with the space key, motion (5, -3), a wheel
// notch and the left button; with `close`, the close request in frame 4.
std::string Script(const char* name, int frames, bool close) {
  using namespace platform::replay;
  std::vector<Record> records;
  for (int frame = 0; frame < frames; ++frame) {
    Record r;
    r.kind = Kind::kClock, r.number = 1000000000ull + static_cast<std::uint64_t>(frame * 1e9 / 60 + 0.5);
    records.push_back(r);
    r = Record{};
    r.kind = Kind::kKeyboard, r.keys[57] = frame == 2 ? 0x80 : 0;
    records.push_back(r);
    r = Record{};
    r.kind = Kind::kMouse, r.flag = true;
    if (frame == 2) r.mouse = {5, -3, 1, 0, 0, {true, false, false}};
    records.push_back(r);
    if (frame == 3 && close) {
      r = Record{};
      r.kind = Kind::kMessage, r.message = WM_CLOSE;
      records.push_back(r);
    }
    r = Record{};
    r.kind = Kind::kFrameEnd;
    records.push_back(r);
  }
  Header h;
  h.flags = kScripted, h.width = 320, h.height = 240;
  const std::vector<unsigned char> bytes = EncodeRecording(h, records);
  const std::string path = Dir() + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  return path;
}

TEST_F(SessionTest, ScriptedFramesGetTheirInputAndClock) {
  // The close request (read as frame 3 is shown) ends the program in frame 4.
  const std::string script = Script("script.rec", 4, true);
  const std::string out = Dir() + "scripted.txt";
  EXPECT_EXIT(Play("TAVELOR_REPLAY", script, out, 10), ::testing::ExitedWithCode(0), "ends at frame 4, the script's last");
  // KEY, mouse dx, dy, wheel, button, GETTIMER (1 at least), GETTIMERALL.
  EXPECT_EQ(Read(out),
            "0 0 0 0 0 1.000000 0.000000\n"
            "0 0 0 0 0 16.666667 16.666667\n"
            "1 5 -3 1 1 16.666666 33.333333\n");
}

TEST_F(SessionTest, ARecordedSessionReplaysToTheSameReadings) {
  const std::string rec = Dir() + "session.rec", live = Dir() + "live.txt", again = Dir() + "again.txt";
  setenv("TAVELOR_RECORD_CHECK", "1", 1);
  EXPECT_EXIT(Play("TAVELOR_RECORD", rec, live, 4), ::testing::ExitedWithCode(0), "");
  unsetenv("TAVELOR_RECORD_CHECK");
  ASSERT_NE(Read(live).find("\n1 "), std::string::npos) << "the pushed key was not read:\n" << Read(live);
  EXPECT_EXIT(Play("TAVELOR_REPLAY", rec, again, 4), ::testing::ExitedWithCode(0),
              "the program ends at frame 5 as recorded \\(5 frame checksums matched\\)");
  EXPECT_EQ(Read(again), Read(live));

  // A program that reads the keyboard once more in frame 2, a missing file, a foreign file.
  EXPECT_EXIT(Play("TAVELOR_REPLAY", rec, again, 4, 2), ::testing::ExitedWithCode(3),
              "replay diverged at frame 2 \\(the program reads the keyboard where the recording holds the ");
  EXPECT_EXIT(Play("TAVELOR_REPLAY", Dir() + "none.rec", again, 4), ::testing::ExitedWithCode(2), "cannot read");
  EXPECT_EXIT(Play("TAVELOR_REPLAY", live, again, 4), ::testing::ExitedWithCode(2), "not a session recording");
}

TEST_F(SessionTest, WhereTheRecordingStopsFirstAndAtWhatPace) {
  // Three scripted frames for a program that plays six: it ends after the third (exit code 0),
  // or goes on live to its own end. At the recorded pace 120 frames take two seconds at least.
  const std::string out = Dir() + "short.txt";
  struct Case {
    int scripted, played;
    const char* end;
    const char* speed;
    int lines;
    const char* message;
    double seconds;  // at least
  } cases[] = {
      {3, 6, "", "", 3, "the recording ends at frame 4", 0},
      {3, 6, "live", "", 6, "the recording ends at frame 4; going on live", 0},
      {120, 120, "", "1", 120, "the recording ends at frame 121", 119 / 60.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.end) + c.speed);
    const std::string script = Script("short.rec", c.scripted, false);
    setenv("TAVELOR_REPLAY_END", c.end, 1);
    setenv("TAVELOR_REPLAY_SPEED", c.speed, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EXIT(Play("TAVELOR_REPLAY", script, out, c.played), ::testing::ExitedWithCode(0), c.message);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), c.seconds);
    const std::string text = Read(out);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.lines);
  }
  unsetenv("TAVELOR_REPLAY_END");
  unsetenv("TAVELOR_REPLAY_SPEED");
}
