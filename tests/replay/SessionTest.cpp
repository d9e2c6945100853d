// Sessions through the runtime: a scripted session gives each frame exactly its input and clock;
// a recorded session replays to the same readings; a replay that reads otherwise, or a file
// that is no recording, ends the program with its own exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <tavelor/tavelor.h>

#include "platform/platform.h"
#include "platform/replay_file.h"

using namespace TAVELOR;
using namespace TAVELOR::platform::replay;

namespace {

// Shared with the death tests' children, which run the test program again.
std::string Dir(const std::string& name) {
  std::filesystem::create_directories(TAVELOR_TEST_TMPDIR);
  return TAVELOR_TEST_TMPDIR + name;
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
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("TMPDIR", Dir("").c_str(), 1);
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

// A scripted session of `frames` frames at 60 per second: frame 3 with the space key, motion
// (5, -3), a wheel notch and the left button; with `close`, the close request in frame 4.
std::string Script(const char* name, int frames, bool close) {
  std::vector<Record> records;
  auto add = [&](Kind kind) -> Record& { return records.emplace_back(), records.back().kind = kind, records.back(); };
  for (int frame = 0; frame < frames; ++frame) {
    add(Kind::kClock).number = 1000000000ull + static_cast<std::uint64_t>(frame * 1e9 / 60 + 0.5);
    add(Kind::kKeyboard).keys[57] = frame == 2 ? 0x80 : 0;
    Record& mouse = add(Kind::kMouse);
    mouse.flag = true;
    if (frame == 2) mouse.mouse = {5, -3, 1, 0, 0, {true, false, false}};
    if (frame == 3 && close) add(Kind::kMessage).message = WM_CLOSE;
    add(Kind::kFrameEnd);
  }
  Header h;
  h.flags = kScripted, h.width = 320, h.height = 240;
  const std::vector<unsigned char> bytes = EncodeRecording(h, records);
  std::ofstream(Dir(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  return Dir(name);
}

}  // namespace

TEST(Session, ARecordedSessionReplaysToTheSameReadings) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the children start the test program again
  const std::string rec = Dir("session.rec"), live = Dir("live.txt"), again = Dir("again.txt");
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
  EXPECT_EXIT(Play("TAVELOR_REPLAY", Dir("none.rec"), again, 4), ::testing::ExitedWithCode(2), "cannot read");
  EXPECT_EXIT(Play("TAVELOR_REPLAY", live, again, 4), ::testing::ExitedWithCode(2), "not a session recording");
}

TEST(Session, ScriptedFramesGetTheirInputAndClockUntilTheScriptStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The close request (read as frame 3 is shown) ends the program in frame 4.
  EXPECT_EXIT(Play("TAVELOR_REPLAY", Script("script.rec", 4, true), Dir("scripted.txt"), 10),
              ::testing::ExitedWithCode(0), "ends at frame 4, the script's last");
  // KEY, mouse dx, dy, wheel, button, GETTIMER (1 at least), GETTIMERALL.
  EXPECT_EQ(Read(Dir("scripted.txt")),
            "0 0 0 0 0 1.000000 0.000000\n"
            "0 0 0 0 0 16.666667 16.666667\n"
            "1 5 -3 1 1 16.666666 33.333333\n");

  // Three scripted frames for a program that plays six: it ends after the third (exit code 0),
  // or goes on live to its own end. At the recorded pace 120 frames take two seconds at least.
  // Frames scripted and played, TAVELOR_REPLAY_END, TAVELOR_REPLAY_SPEED, the message, seconds at least.
  const std::tuple<int, int, const char*, const char*, const char*, double> cases[] = {
      {3, 6, "", "", "the recording ends at frame 4", 0},
      {3, 6, "live", "", "the recording ends at frame 4; going on live", 0},
      {120, 120, "", "1", "the recording ends at frame 121", 119 / 60.0}};
  for (const auto& [scripted, played, end, speed, message, seconds] : cases) {
    setenv("TAVELOR_REPLAY_END", end, 1);
    setenv("TAVELOR_REPLAY_SPEED", speed, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EXIT(Play("TAVELOR_REPLAY", Script("short.rec", scripted, false), Dir("short.txt"), played),
                ::testing::ExitedWithCode(0), message);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), seconds) << message;
    const std::string text = Read(Dir("short.txt"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), *end ? played : scripted) << message;
  }
}
