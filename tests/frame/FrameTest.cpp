// Start-up, window, window procedure, end paths, timing and the 2D viewport, with a real
// window and OpenGL context (SDL's offscreen driver).
#include <gtest/gtest.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <tavelor/tavelor.h>

#include "display/OpenGLLumenar.h"
#include "frame/ErrorLog.h"
#include "frame/Runtime.h"
#include "platform/input.h"
#include "platform/platform.h"

namespace TAVELOR {
extern int __mipmapping_state;
}

using namespace TAVELOR;
namespace fs = std::filesystem;

namespace {

// Checks inside a child process: report and leave with a code the parent sees.
#define CHILD_CHECK(cond) \
  if (!(cond)) (std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__), std::_Exit(3))

// The error log, whose lines end in CRLF.
std::string Log() {
  std::ifstream in(ErrorLogPath().c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A private temporary directory for this process, so parallel tests never share a log.
// Death-test children inherit it through the environment.
void UsePrivateTempDir() {
  if (std::getenv("FRAME_TEST_TMPDIR")) return;
  std::string dir = (fs::temp_directory_path() / ("frame-" + std::to_string(getpid()))).string() + "/";
  fs::create_directories(dir);
  setenv("TMPDIR", dir.c_str(), 1);
  setenv("FRAME_TEST_TMPDIR", dir.c_str(), 1);
}

void Start(int debug = 0) {
  static bool started = false;
  if (started) return;
  started = true;
  UsePrivateTempDir();
  __DG_RESX = 640;
  __DG_RESY = 480;
  __DG_DEBUG = debug;
  static char cmd[] = "";
  __GlobalInit(nullptr, nullptr, cmd, 1, "Frame Test");
}

// A mouse event: motion by dx, or the left button going down.
void PushMouse(Uint32 type, int dx = 0) {
  SDL_Event e{};
  e.type = type;
  e.motion.xrel = dx;  // motion only; a button event reads its button field instead
  e.button.button = type == SDL_MOUSEBUTTONDOWN ? SDL_BUTTON_LEFT : 0;
  SDL_PushEvent(&e);
}

class FrameDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    UsePrivateTempDir();
  }
};

// One child: start-up leaves a fresh log and moves to the program directory; a click shorter
// than HIBERNATE's nap ends MOUSEWAIT, though HIBERNATE's own mouse reading took it (a missed
// click would wait for ever: the alarm ends the child); END in debug mode writes its report.
TEST_F(FrameDeathTest, StartupMousewaitAndTheEndReport) {
  const std::string exeDir = fs::path(platform::ModulePath()).parent_path().string();
  EXPECT_EXIT(
      {
        std::ofstream(ErrorLogPath().c_str()) << "stale line from an earlier run\r\n";
        CHILD_CHECK(chdir("/") == 0);
        Start(1);
        CHILD_CHECK(platform::CurrentDir() == exeDir);
        alarm(5);
        std::thread([] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); PushMouse(SDL_MOUSEBUTTONDOWN); }).detach();
        const double t0 = static_cast<double>(Lumbo.AccurateTime());
        MOUSEWAIT();
        CHILD_CHECK(static_cast<double>(Lumbo.AccurateTime()) - t0 >= 90);  // not before the click
        __dLn(2, 42);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  const std::string log = Log(), rest = "\r\nCurrent Dir\r\n" + exeDir + "\r\n-End On Line\r\n0\r\n41\r\n42\r\n2\r\n";
  EXPECT_TRUE(log == "OpenGL Software Emulation" + rest || log == "OpenGL Hardware Support" + rest) << log;
  // Without a display the program stops with a reason.
  EXPECT_EXIT(
      {
        setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
        Start();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "No display available");
}

// RunGame: every setting reaches the runtime before the game runs; the game then ends by
// Escape, Alt+F4, closing the window or the system menu, or by returning: always with code 0,
// and with the end report in debug mode only.
struct EntryCase {
  GameSettings settings;
  std::vector<const char*> args;
  const char* cmdline;  // as GETCOMMANDLINE_Str gives it
  const char* caption;  // as the window shows it
  int fullscreen, mouse, debug;
  void (*end)();
};
const EntryCase* g_entry = nullptr;

void CheckEntry() {
  const EntryCase& c = *g_entry;
  CHILD_CHECK(__DG_RESX == c.settings.width && __DG_RESY == c.settings.height);
  CHILD_CHECK(__DG_FULLSCREEN == c.fullscreen && __DG_WANTMOUSE == c.mouse && __DG_DEBUG == c.debug);
  CHILD_CHECK(__DG_FRAMERATE == c.settings.frameRate);
  CHILD_CHECK(std::string(GETCOMMANDLINE_Str().c_str()) == c.cmdline);
  CHILD_CHECK(platform::GetWindowCaption(__hWnd) == c.caption);
  CHILD_CHECK(__g_error == 0 && __g_errorline == 0 && __g_debugline == 0);
  int w = 0, h = 0;
  platform::GetWindowClientSize(__hWnd, &w, &h);
  CHILD_CHECK(w == c.settings.width && h == c.settings.height);
  if (!c.end) return;
  c.end();
  for (int i = 0; i < 50; ++i) SHOWSCREEN();
  std::_Exit(5);  // the ending was ignored
}

TEST_F(FrameDeathTest, RunGameWritesTheSettingsStartsRunsAndEnds) {
  const EntryCase cases[] = {
      {{}, {"game"}, "", "Tavelor", 0, 1, 0, [] { platform::PushKeyEvent(__hWnd, 1, true); }},
      {{320, 200, true, 30, "Small", false, true}, {"game", "--frames", "3 \"4\""}, "--frames \"3 \\\"4\\\"\"", "Small", 0, 0, 1,
       [] { platform::PushKeyEvent(__hWnd, 56, true), platform::PushKeyEvent(__hWnd, 62, true); }},
      {{400, 300, false, 75, nullptr, true, false}, {"game", "x"}, "x", "", 1, 1, 0,
       [] { platform::PushCloseEvent(__hWnd); }},
      {{}, {"game"}, "", "Tavelor", 0, 1, 0, [] { __WndProc_(__hWnd, WM_SYSCOMMAND, SC_CLOSE | 3, 0); }},
      {{}, {"game"}, "", "Tavelor", 0, 1, 0, nullptr},
  };
  for (const EntryCase& c : cases) {
    g_entry = &c;
    EXPECT_EXIT(
        {
          __g_debugline = 7;
          __g_error = 9;
          std::vector<char*> argv;
          for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
          RunGame(static_cast<int>(argv.size()), argv.data(), c.settings, CheckEntry);
        },
        ::testing::ExitedWithCode(0), "")
        << &c - cases;
    EXPECT_EQ(Log().find("-End On Line") != std::string::npos, c.debug) << &c - cases;
  }
  // Without a game the program ends right after start-up.
  EXPECT_EXIT(RunGame(0, nullptr, {}, nullptr), ::testing::ExitedWithCode(0), "");
}

// The window has the client size asked for; the 2D drawing state itself is the display
// tests' business.
TEST(Frame, WindowSizeAndFullscreenFallback) {
  Start();
  auto client = [] {
    int w = 0, h = 0;
    platform::GetWindowClientSize(__hWnd, &w, &h);
    return std::make_pair(w, h);
  };
  EXPECT_EQ(client(), std::make_pair(640, 480));
  Lumbo.ChangeSize(123, 77);  // no display offers this mode
  std::remove(ErrorLogPath().c_str());
  EXPECT_FALSE(Lumbo.DoFullscreen() || Lumbo.fullscreen);
  EXPECT_EQ(Log(), "No Fullscreen Mode available\r\n");
  EXPECT_EQ(client(), std::make_pair(123, 77));
  Lumbo.ChangeSize(640, 480);
  EXPECT_TRUE(Lumbo.HideWindow());
  EXPECT_FALSE(platform::IsWindowVisible(__hWnd));
  EXPECT_TRUE(Lumbo.DoWindowed() && platform::IsWindowVisible(__hWnd));
  EXPECT_EQ(client(), std::make_pair(640, 480));

  for (auto [screen, window, at] : {std::array{1024, 640, 192}, {768, 480, 144}, {600, 640, -20}, {601, 640, -19}})
    EXPECT_EQ(CentredPosition(screen, window), at) << screen;  // truncated toward zero
}

// Focus loss pauses and shows it in the caption, except in debug builds; a paused SHOWSCREEN
// holds until focus returns.
TEST(Frame, FocusLossPausesUntilFocusReturns) {
  Start();
  auto activate = [](unsigned state) { __WndProc_(__hWnd, WM_ACTIVATE, state, 0); };
  const std::tuple<std::function<void()>, bool, const char*> steps[] = {
      {[] { platform::PushFocusEvent(__hWnd, false), Lumbo.WinMessages(); }, true, "Frame Test <pause>"},
      {[] { platform::PushFocusEvent(__hWnd, true), Lumbo.WinMessages(); }, false, "Frame Test"},
      {[&] { __DG_DEBUG = 1, activate(WA_INACTIVE), __DG_DEBUG = 0; }, false, "Frame Test"},
      {[&] { activate(WA_INACTIVE), activate(7); }, true, "Frame Test <pause>"},  // unknown state: no change
      {[&] { activate(WA_CLICKACTIVE | (1u << 16)); }, false, "Frame Test"},
      {[&] { activate(WA_INACTIVE), platform::PushFocusEvent(__hWnd, true), SHOWSCREEN(); }, false, "Frame Test"},
  };
  for (const auto& [step, paused, caption] : steps) {
    step();
    EXPECT_EQ(__g_paused, paused) << caption;
    EXPECT_EQ(platform::GetWindowCaption(__hWnd), caption);
  }
  EXPECT_EQ(__WndProc_(__hWnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0) + __WndProc_(__hWnd, WM_SYSCOMMAND, SC_MONITORPOWER | 2, 0), 0);
}

TEST(Frame, TimersFrameRateCapAndLateFrames) {
  Start();
  SHOWSCREEN();
  SHOWSCREEN();
  EXPECT_GE(GETTIMER(), 1.0);
  __g_LastTime = static_cast<double>(Lumbo.AccurateTime()) + 1e6;  // same tick or clock skew
  EXPECT_EQ(GETTIMER(), 1.0);
  EXPECT_GE(GETTIMERALL(), 0.0);
  for (auto [fps, interval] : {std::pair{0.0, 2.0}, {-5, 2.0}, {30.9, 1000.0 / 30}, {60, 1000.0 / 60}}) {
    LIMITFPS(fps);
    EXPECT_DOUBLE_EQ(Lumbo.frameInterval, interval) << fps;
  }
  // Late frames are skipped, not caught up.
  Lumbo.SetMaxFPS(100);
  Lumbo.nextFrameTime = static_cast<double>(Lumbo.AccurateTime()) - 95.0;  // nine and a half frames late
  EXPECT_GE(Lumbo.FlipScreens(), 1.0L);
  const double after = static_cast<double>(Lumbo.AccurateTime());
  EXPECT_GE(Lumbo.nextFrameTime, after - 1.0);
  EXPECT_LE(Lumbo.nextFrameTime, after + 10.0);
  Lumbo.SetMaxFPS(60);

  // SHOWSCREEN resets the drawing state.
  glEnable(GL_BLEND);
  Lumbo.currentAlpha = 0.25f;
  Lumbo.Make2DViewport(10, 10, 50, 50);
  X_MIPMAPPING(1);
  SHOWSCREEN();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ((std::vector<double>{Lumbo.currentAlpha, 1.0 * Lumbo.viewport[2], 1.0 * __mipmapping_state}), (std::vector<double>{1, 640, 0}));
}

// SDL scancodes become key codes; a tap between two frames is seen by every read until the
// next frame. HIBERNATE idles about 240 ms unless a key is held or the mouse moved or a button
// changed since the previous HIBERNATE.
TEST(Frame, KeysAndHibernateReturningEarlyOnKeysAndMouse) {
  Start();
  // Escape, left Alt, F4, up and z.
  for (auto [sdl, key] : {std::pair{41, 1}, {226, 56}, {61, 62}, {82, 200}, {29, 44}})
    EXPECT_EQ(platform::ScancodeToKeyCode(sdl), key) << sdl;
  platform::PushKeyEvent(__hWnd, 57, true);
  Lumbo.WinMessages();
  EXPECT_EQ(KEY(57 + 256) + KEY(57), 2.0);
  SHOWSCREEN();
  EXPECT_EQ(KEY(57), 0.0);
  EXPECT_EQ(KEY(std::nan("")), KEY(0));
  SETMOUSE(100, 100);
  HIBERNATE();  // settles the previous reading
  struct Case { const char* what; std::function<void()> input; bool early; };
  for (const Case& c : {Case{"idle", [] {}, false}, Case{"key", [] { platform::PushKeyEvent(__hWnd, 30, true); }, true},
                        Case{"idle", [] { platform::PushKeyEvent(__hWnd, 30, false); SHOWSCREEN(); }, false},
                        Case{"click", [] { PushMouse(SDL_MOUSEBUTTONDOWN); }, true},
                        Case{"button let go", [] {}, true}, Case{"idle", [] {}, false},
                        Case{"motion", [] { PushMouse(SDL_MOUSEMOTION, 7); }, true}, Case{"idle", [] {}, false}}) {
    c.input();
    Lumbo.WinMessages();
    const double t0 = static_cast<double>(Lumbo.AccurateTime());
    HIBERNATE();
    const double took = static_cast<double>(Lumbo.AccurateTime()) - t0;
    if (c.early) EXPECT_LT(took, 150.0) << c.what;
    else EXPECT_GE(took, 230.0) << c.what;
  }
}

TEST(ErrorChannel, ErrorLineNumbersLogAndDebuggerRequest) {
  __dLn(3, 77);
  EXPECT_EQ(__Error(5), 5);
  EXPECT_EQ((std::vector<double>{__g_error, __g_errorline, __g_debugfile}), (std::vector<double>{5, 77, 3}));
  __g_error = 0;
  // %g with three exponent digits.
  for (auto [v, text] : {std::pair{0.0, "0"}, {9, "9"}, {-1, "-1"}, {1234567, "1.23457e+006"}, {1.5e-7, "1.5e-007"},
                         {2e300, "2e+300"}})
    EXPECT_EQ(FormatPercentG(v), text);

  // The log appends lines and never follows a link.
  UsePrivateTempDir();
  std::string path = ErrorLogPath().c_str();
  std::remove(path.c_str());
  AppendErrorLog("one");
  AppendErrorLog(nullptr);
  EXPECT_EQ(Log(), "one\r\nnull\r\n");
  std::string victim = path + ".victim";
  std::ofstream(victim) << "keep";
  std::remove(path.c_str());
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  AppendErrorLog("through a link");
  std::ifstream in(victim);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "keep");
  std::remove(path.c_str());
  std::remove(victim.c_str());

  // Without a debugger, a break does nothing.
  Start();
  ASSERT_FALSE(platform::DebuggerAttached());
  __g_paused = true;
  __PauseAndDebug(reinterpret_cast<void*>(6699));
  EXPECT_TRUE(__g_paused && platform::IsWindowVisible(__hWnd));
  __g_paused = false;
  EXPECT_EQ(DebuggerRequestText(reinterpret_cast<void*>(6699)), "BP1a2b");
  EXPECT_EQ(DebuggerRequestText(nullptr), "BP0");
}

// A separator at index 0 does not count.
TEST(StartupHelpers, ProgramDirectory) {
  for (auto [exe, dir] : {std::pair{"/opt/game/hollerquast", "/opt/game"}, {"C:\\Games\\h.exe", "C:\\Games"},
                          {"/h", "/h"}, {"plain", "plain"}})
    EXPECT_EQ(ProgramDirectory(exe), dir);
}

}  // namespace
