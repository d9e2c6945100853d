// Start-up, window, window procedure, end paths, timing and the 2D viewport, with a real
// window and OpenGL context (SDL's offscreen driver).
#include <gtest/gtest.h>
#include <unistd.h>

#include <SDL2/SDL.h>

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
#define CHILD_CHECK(cond)                                               \
  do {                                                                  \
    if (!(cond)) {                                                      \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
      std::_Exit(3);                                                    \
    }                                                                   \
  } while (0)

std::vector<std::string> ReadLog() {
  std::ifstream in(ErrorLogPath().c_str(), std::ios::binary);
  std::vector<std::string> lines;
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = all.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(all.substr(pos) + "<no CRLF>");
      break;
    }
    lines.push_back(all.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
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

class FrameDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    UsePrivateTempDir();
  }
};

TEST_F(FrameDeathTest, StartupLeavesAFreshLogAndMovesToTheProgramDirectory) {
  EXPECT_EXIT(
      {
        UsePrivateTempDir();
        std::ofstream(ErrorLogPath().c_str()) << "stale line from an earlier run\r\n";
        CHILD_CHECK(chdir("/") == 0);
        Start();
        std::vector<std::string> log = ReadLog();
        std::string exeDir = fs::path(platform::ModulePath()).parent_path().string();
        CHILD_CHECK(log.size() == 3);
        CHILD_CHECK(log[0] == "OpenGL Software Emulation" || log[0] == "OpenGL Hardware Support");
        CHILD_CHECK(log[1] == "Current Dir");
        CHILD_CHECK(log[2] == exeDir);
        CHILD_CHECK(platform::CurrentDir() == exeDir);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(FrameDeathTest, EndWithDebugWritesTheFiveLineReport) {
  EXPECT_EXIT(
      {
        Start(1);
        __dLn(2, 42);
        END();
      },
      ::testing::ExitedWithCode(0), "");
  std::vector<std::string> log = ReadLog();
  ASSERT_GE(log.size(), 5u);
  std::vector<std::string> tail(log.end() - 5, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"-End On Line", "0", "41", "42", "2"}));
}

TEST_F(FrameDeathTest, EndWithoutDebugWritesNoReport) {
  EXPECT_EXIT({ Start(0); __Error(9); END(); }, ::testing::ExitedWithCode(0), "");
  for (const std::string& line : ReadLog()) EXPECT_NE(line, "-End On Line");
}

TEST_F(FrameDeathTest, EscapeAltF4AndClosingEndTheProgramWithCodeZero) {
  EXPECT_EXIT(
      {
        Start();
        platform::PushKeyEvent(__hWnd, 1, true);
        for (int i = 0; i < 50; ++i) SHOWSCREEN();
        std::_Exit(5);  // Escape was ignored
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        Start();
        platform::PushKeyEvent(__hWnd, 56, true);
        platform::PushKeyEvent(__hWnd, 62, true);
        for (int i = 0; i < 50; ++i) SHOWSCREEN();
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        Start();
        platform::PushCloseEvent(__hWnd);
        for (int i = 0; i < 50; ++i) SHOWSCREEN();
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        Start();
        __WndProc_(__hWnd, WM_SYSCOMMAND, SC_CLOSE | 3, 0);
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "");
}

// RunGame: every setting reaches the runtime before the game runs, and a game that returns
// ends the program with code 0.
struct EntryCase {
  GameSettings settings;
  std::vector<const char*> args;
  const char* cmdline;  // as GETCOMMANDLINE_Str gives it
  const char* caption;  // as the window shows it
  int fullscreen, mouse, debug;
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
}

TEST_F(FrameDeathTest, RunGameWritesTheSettingsStartsRunsAndEnds) {
  const EntryCase cases[] = {
      {{}, {"game"}, "", "Tavelor", 0, 1, 0},
      {{320, 200, true, 30, "Small", false, true}, {"game", "--frames", "3 4"}, "--frames \"3 4\"", "Small", 0, 0, 1},
      {{400, 300, false, 75, nullptr, true, false}, {"game", "x"}, "x", "", 1, 1, 0},
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
        << c.settings.width;
  }
  // Without a game the program ends right after start-up.
  EXPECT_EXIT(RunGame(0, nullptr, {}, nullptr), ::testing::ExitedWithCode(0), "");
}

TEST_F(FrameDeathTest, StartupWithoutADisplayStopsWithAReason) {
  EXPECT_EXIT(
      {
        setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
        Start();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "No display available");
}

// A click shorter than HIBERNATE's nap ends MOUSEWAIT, though HIBERNATE's own mouse reading
// took it (a missed click would wait for ever: the alarm ends the child).
TEST_F(FrameDeathTest, MousewaitSeesAClickThatHibernateRead) {
  EXPECT_EXIT(
      {
        Start();
        alarm(5);
        std::thread([] {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          SDL_Event e{};
          e.type = SDL_MOUSEBUTTONDOWN;
          e.button.button = SDL_BUTTON_LEFT;
          SDL_PushEvent(&e);
        }).detach();
        const double t0 = static_cast<double>(Lumbo.AccurateTime());
        MOUSEWAIT();
        CHILD_CHECK(static_cast<double>(Lumbo.AccurateTime()) - t0 >= 90);  // not before the click
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Frame, WindowClientAreaAndViewport) {
  Start();
  int w = 0, h = 0;
  platform::GetWindowClientSize(__hWnd, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_TRUE(Lumbo.IsActive());
  EXPECT_EQ(Lumbo.displayWidth, 640);
  EXPECT_EQ(Lumbo.displayHeight, 480);

  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[0], 0);
  EXPECT_EQ(vp[1], 0);
  EXPECT_EQ(vp[2], 640);
  EXPECT_EQ(vp[3], 480);

  // A zero size means the whole display; y counts from the top of the window.
  Lumbo.Make2DViewport(0, 10, 0, 100);
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 640);
  EXPECT_EQ(vp[3], 480);
  Lumbo.Make2DViewport(5, 10, 200, 100);
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[0], 5);
  EXPECT_EQ(vp[1], 370);
  EXPECT_EQ(vp[2], 200);
  EXPECT_EQ(vp[3], 100);
  // Screen point (px, py) maps to (px, -py): x in 0..200 and y in -100..0 fill the viewport.
  GLdouble m[16];
  glGetDoublev(GL_PROJECTION_MATRIX, m);
  EXPECT_FLOAT_EQ(m[0], 2.0 / 200);
  EXPECT_FLOAT_EQ(m[5], 2.0 / 100);
  EXPECT_FLOAT_EQ(m[10], -1.0);
  EXPECT_FLOAT_EQ(m[12], -1.0);
  EXPECT_FLOAT_EQ(m[13], 1.0);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  Lumbo.Make2DViewport(0, 0, 0, 0);
}

TEST(Frame, FullscreenWithoutSuchAModeFallsBackToAWindow) {
  Start();
  Lumbo.ChangeSize(123, 77);  // no display offers this mode
  std::remove(ErrorLogPath().c_str());
  EXPECT_FALSE(Lumbo.DoFullscreen());
  EXPECT_EQ(Lumbo.fullscreen, 0);
  EXPECT_EQ(ReadLog(), (std::vector<std::string>{"No Fullscreen Mode available"}));
  int w = 0, h = 0;
  platform::GetWindowClientSize(__hWnd, &w, &h);
  EXPECT_EQ(w, 123);
  EXPECT_EQ(h, 77);
  Lumbo.ChangeSize(640, 480);
  EXPECT_TRUE(Lumbo.DoWindowed());
  platform::GetWindowClientSize(__hWnd, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_TRUE(Lumbo.HideWindow());
  EXPECT_FALSE(platform::IsWindowVisible(__hWnd));
  EXPECT_TRUE(Lumbo.DoWindowed());
  EXPECT_TRUE(platform::IsWindowVisible(__hWnd));
}

TEST(Frame, WindowPlacementFormula) {
  EXPECT_EQ(CentredPosition(1024, 640), 192);
  EXPECT_EQ(CentredPosition(768, 480), 144);
  EXPECT_EQ(CentredPosition(600, 640), -20);
  EXPECT_EQ(CentredPosition(601, 640), -19);  // truncation toward zero
}

TEST(Frame, FocusLossPausesAndShowsTheCaption) {
  Start();
  platform::PushFocusEvent(__hWnd, false);
  Lumbo.WinMessages();
  EXPECT_TRUE(__g_paused);
  EXPECT_EQ(platform::GetWindowCaption(__hWnd), "Frame Test <pause>");
  platform::PushFocusEvent(__hWnd, true);
  Lumbo.WinMessages();
  EXPECT_FALSE(__g_paused);
  EXPECT_EQ(platform::GetWindowCaption(__hWnd), "Frame Test");

  __DG_DEBUG = 1;  // debug builds never pause
  __WndProc_(__hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(__g_paused);
  EXPECT_EQ(platform::GetWindowCaption(__hWnd), "Frame Test");
  __DG_DEBUG = 0;

  __WndProc_(__hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_TRUE(__g_paused);
  __WndProc_(__hWnd, WM_ACTIVATE, 7, 0);  // unknown state: nothing changes
  EXPECT_TRUE(__g_paused);
  __WndProc_(__hWnd, WM_ACTIVATE, WA_CLICKACTIVE | (1u << 16), 0);
  EXPECT_FALSE(__g_paused);
  EXPECT_EQ(__WndProc_(__hWnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
  EXPECT_EQ(__WndProc_(__hWnd, WM_SYSCOMMAND, SC_MONITORPOWER | 2, 0), 0);
}

TEST(Frame, PausedShowscreenHoldsUntilFocusReturns) {
  Start();
  __WndProc_(__hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
  platform::PushFocusEvent(__hWnd, true);  // arrives during the pause loop
  SHOWSCREEN();
  EXPECT_FALSE(__g_paused);
}

TEST(Frame, TimersAndFrameRateCap) {
  Start();
  SHOWSCREEN();
  SHOWSCREEN();
  EXPECT_GE(GETTIMER(), 1.0);
  __g_LastTime = static_cast<double>(Lumbo.AccurateTime()) + 1e6;  // same tick or clock skew
  EXPECT_EQ(GETTIMER(), 1.0);
  EXPECT_GE(GETTIMERALL(), 0.0);

  LIMITFPS(0);
  EXPECT_DOUBLE_EQ(Lumbo.frameInterval, 2.0);
  LIMITFPS(-5);
  EXPECT_DOUBLE_EQ(Lumbo.frameInterval, 2.0);
  LIMITFPS(30.9);
  EXPECT_DOUBLE_EQ(Lumbo.frameInterval, 1000.0 / 30);
  LIMITFPS(60);
  EXPECT_NEAR(Lumbo.frameInterval, 16.667, 0.001);
}

TEST(Frame, LateFramesAreSkippedNotCaughtUp) {
  Start();
  Lumbo.SetMaxFPS(100);
  double now = static_cast<double>(Lumbo.AccurateTime());
  Lumbo.nextFrameTime = now - 95.0;  // nine and a half frames late
  long double waited = Lumbo.FlipScreens();
  double after = static_cast<double>(Lumbo.AccurateTime());
  EXPECT_GE(waited, 1.0L);
  EXPECT_GE(Lumbo.nextFrameTime, after - 1.0);
  EXPECT_LE(Lumbo.nextFrameTime, after + 10.0);
  Lumbo.SetMaxFPS(60);
}

TEST(Frame, ShowscreenResetsTheDrawingState) {
  Start();
  glEnable(GL_BLEND);
  glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
  Lumbo.currentAlpha = 0.25f;
  Lumbo.Make2DViewport(10, 10, 50, 50);
  X_MIPMAPPING(1);
  SHOWSCREEN();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLfloat c[4];
  glGetFloatv(GL_CURRENT_COLOR, c);
  EXPECT_EQ(c[0], 1.0f);
  EXPECT_EQ(c[3], 1.0f);
  EXPECT_EQ(Lumbo.currentAlpha, 1.0f);
  EXPECT_EQ(Lumbo.viewport[2], 640);
  EXPECT_EQ(Lumbo.viewport[3], 480);
  EXPECT_EQ(__mipmapping_state, 0);
}

TEST(Frame, KeyboardCodesAndKeyModulo) {
  Start();
  EXPECT_EQ(platform::ScancodeToKeyCode(41 /* SDL escape */), 1);
  EXPECT_EQ(platform::ScancodeToKeyCode(226 /* SDL left alt */), 56);
  EXPECT_EQ(platform::ScancodeToKeyCode(61 /* SDL F4 */), 62);
  EXPECT_EQ(platform::ScancodeToKeyCode(82 /* SDL up */), 200);
  EXPECT_EQ(platform::ScancodeToKeyCode(29 /* SDL z */), 44);
  platform::PushKeyEvent(__hWnd, 57, true);
  Lumbo.WinMessages();
  EXPECT_EQ(KEY(57 + 256), 1.0);  // a tap between two frames is seen by every read ...
  EXPECT_EQ(KEY(57), 1.0);
  SHOWSCREEN();
  EXPECT_EQ(KEY(57), 0.0);        // ... until the next frame
  EXPECT_EQ(KEY(std::nan("")), KEY(0));
}

// HIBERNATE idles about 240 ms unless a key is held or the mouse moved or a button changed
// since the previous HIBERNATE.
TEST(Frame, HibernateReturnsEarlyOnKeysAndMouse) {
  Start();
  auto mouse = [](Uint32 type, int dx) {
    SDL_Event e{};
    e.type = type;
    e.motion.xrel = dx;  // motion only; a button event reads its button field instead
    e.button.button = type == SDL_MOUSEBUTTONDOWN ? SDL_BUTTON_LEFT : 0;
    SDL_PushEvent(&e);
  };
  SETMOUSE(100, 100);
  HIBERNATE();  // settles the previous reading
  struct Case { const char* what; std::function<void()> input; bool early; };
  for (const Case& c : {Case{"idle", [] {}, false}, Case{"key", [] { platform::PushKeyEvent(__hWnd, 30, true); }, true},
                        Case{"idle", [] { platform::PushKeyEvent(__hWnd, 30, false); SHOWSCREEN(); }, false},
                        Case{"click", [&] { mouse(SDL_MOUSEBUTTONDOWN, 0); }, true},
                        Case{"button let go", [] {}, true}, Case{"idle", [] {}, false},
                        Case{"motion", [&] { mouse(SDL_MOUSEMOTION, 7); }, true}, Case{"idle", [] {}, false}}) {
    c.input();
    Lumbo.WinMessages();
    const double t0 = static_cast<double>(Lumbo.AccurateTime());
    HIBERNATE();
    const double took = static_cast<double>(Lumbo.AccurateTime()) - t0;
    if (c.early) EXPECT_LT(took, 150.0) << c.what;
    else EXPECT_GE(took, 230.0) << c.what;
  }
}

TEST(ErrorChannel, ErrorRecordsTheLine) {
  __dLn(3, 77);
  EXPECT_EQ(__Error(5), 5);
  EXPECT_EQ(__g_error, 5);
  EXPECT_EQ(__g_errorline, 77);
  EXPECT_EQ(__g_debugfile, 3);
  __g_error = 0;
}

TEST(ErrorChannel, PercentGUsesThreeExponentDigits) {
  EXPECT_EQ(FormatPercentG(0), "0");
  EXPECT_EQ(FormatPercentG(9), "9");
  EXPECT_EQ(FormatPercentG(-1), "-1");
  EXPECT_EQ(FormatPercentG(1234567), "1.23457e+006");
  EXPECT_EQ(FormatPercentG(1.5e-7), "1.5e-007");
  EXPECT_EQ(FormatPercentG(2e300), "2e+300");
}

TEST(ErrorChannel, LogAppendsLinesAndNeverFollowsALink) {
  UsePrivateTempDir();
  std::string path = ErrorLogPath().c_str();
  std::remove(path.c_str());
  AppendErrorLog("one");
  AppendErrorLog(nullptr);
  EXPECT_EQ(ReadLog(), (std::vector<std::string>{"one", "null"}));

  std::string victim = path + ".victim";
  std::ofstream(victim) << "keep";
  std::remove(path.c_str());
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  AppendErrorLog("through a link");
  std::ifstream in(victim);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "keep");
  std::remove(path.c_str());
  std::remove(victim.c_str());
}

TEST(ErrorChannel, PauseAndDebugWithoutDebuggerDoesNothing) {
  Start();
  ASSERT_FALSE(platform::DebuggerAttached());
  __g_paused = true;
  __PauseAndDebug(reinterpret_cast<void*>(6699));
  EXPECT_TRUE(__g_paused);
  EXPECT_TRUE(platform::IsWindowVisible(__hWnd));
  __g_paused = false;
  EXPECT_EQ(DebuggerRequestText(reinterpret_cast<void*>(6699)), "BP1a2b");
  EXPECT_EQ(DebuggerRequestText(nullptr), "BP0");
}

TEST(StartupHelpers, ProgramDirectoryAndCommandLine) {
  EXPECT_EQ(ProgramDirectory("/opt/game/hollerquast"), "/opt/game");
  EXPECT_EQ(ProgramDirectory("C:\\Games\\h.exe"), "C:\\Games");
  EXPECT_EQ(ProgramDirectory("/h"), "/h");  // a separator at index 0 does not count
  EXPECT_EQ(ProgramDirectory("plain"), "plain");
  char a0[] = "prog", a1[] = "-level", a2[] = "two words", a3[] = "say \"hi\"";
  char* argv[] = {a0, a1, a2, a3};
  EXPECT_STREQ(JoinCommandLine(4, argv).c_str(), "-level \"two words\" \"say \\\"hi\\\"\"");
  EXPECT_STREQ(JoinCommandLine(1, argv).c_str(), "");
}

}  // namespace
