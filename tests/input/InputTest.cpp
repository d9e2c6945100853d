// Input commands: joysticks and force feedback through SDL's virtual joysticks (what the device
// is set to comes back through the joystick commands, what FORCEFEEDBACK sends reaches its
// rumble); characters of key presses, the mouse where relative mode is refused, a click
// shorter than a frame.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include <tavelor/tavelor.h>

#include "display/DisplaySupport.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/input.h"

using namespace TAVELOR;

namespace {

std::vector<std::array<Uint32, 3>> g_rumbles;  // low and high strength, ticks

// A virtual pad with six axes, 32 buttons and a hat, detached when it goes.
struct VirtualPad {
  explicit VirtualPad(const char* name) {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION, desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER, desc.name = name;
    desc.naxes = 6, desc.nbuttons = 32, desc.nhats = 1;
    desc.Rumble = [](void*, Uint16 low, Uint16 high) { return g_rumbles.push_back({low, high, SDL_GetTicks()}), 0; };
    joystick_ = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
    EXPECT_NE(joystick_, nullptr) << SDL_GetError();
  }
  ~VirtualPad() { Detach(); }
  void Detach() {
    if (!joystick_) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
    SDL_JoystickClose(std::exchange(joystick_, nullptr));
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
  SDL_Joystick* joystick_ = nullptr;
};

// JOYSTATE's four values.
std::vector<double> JoyState() {
  double x = 9, y = 9, b1 = 9, b2 = 9;
  JOYSTATE(x, y, b1, b2);
  return {x, y, b1, b2};
}

// Every test reads through the runtime's window.
class Input : public ::testing::Test {
  void SetUp() override { display_test::EnsureDisplay(); }
};

TEST_F(Input, JoystickAxesHatAndButtonsOfOnePad) {
  VirtualPad pad("Pad One");
  ASSERT_EQ(GETNUMJOYSTICKS(), 1);
  // Raw axis value; x and y with the dead zone of 30 % taken out and the rest stretched;
  // JOYSTATE's x and y (only full deflection).
  for (auto [raw, xy, full] : {std::tuple<Sint16, double, double>{0, 0, 0}, {9000, 0, 0}, {-9800, 0, 0},
                               {16384, 0.28574, 0}, {-20000, -0.44336, 0}, {32767, 1, 1}, {-32768, -1, -1}}) {
    for (int axis : {0, 1, 2, 5}) SDL_JoystickSetVirtualAxis(pad.joystick_, axis, raw);
    const double want[] = {xy, xy, raw / 32768.0, raw / 32768.0, 0};
    const double got[] = {GETJOYX(0), GETJOYY(0), GETJOYZ(0), GETJOYRZ(0), GETJOYRX(0)};  // no dead zone past x, y
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(got[i], want[i], 1e-3) << raw << " axis " << i;
    EXPECT_EQ(JoyState(), (std::vector<double>{full, full, 0, 0})) << raw;
  }

  for (auto [hat, x, y] : {std::tuple{SDL_HAT_CENTERED, 0, 0}, {SDL_HAT_UP, 0, -1}, {SDL_HAT_RIGHT, 1, 0},
                           {SDL_HAT_DOWN, 0, 1}, {SDL_HAT_LEFT, -1, 0}, {SDL_HAT_RIGHTUP, 0, 0}}) {
    SDL_JoystickSetVirtualHat(pad.joystick_, 0, hat);
    EXPECT_EQ(std::pair(GETDIGIX(0), GETDIGIY(0)), std::pair(double(x), double(y))) << hat;
  }
  for (int button : {0, 31}) SDL_JoystickSetVirtualButton(pad.joystick_, button, 1);
  for (auto [button, state] : {std::pair{0, 128}, {31, 128}, {1, 0}, {32, 0}, {-1, 0}})
    EXPECT_EQ(GETJOYBUTTON(0, button), state) << button;
  EXPECT_EQ(JoyState(), (std::vector<double>{-1, -1, 128, 0}));
}

// Without the joystick subsystem, keyboard and mouse are read as with it: both Shift keys
// stay apart (no fallback key table), and there are no joysticks.
TEST_F(Input, KeyboardWithoutTheJoystickSubsystem) {
  platform::RefuseDevices(false, true);
  DXInput input;
  input.CreateDInput(__hWnd, nullptr, true);
  platform::PushKeyEvent(__hWnd, 54, true);
  Lumbo.WinMessages();
  input.GetKeyboardStatus();
  // No joysticks, right Shift down, left Shift up.
  EXPECT_EQ(std::tuple(input.hasInput, input.GetNumJoysticks(), input.IsKeyDown(54), input.IsKeyDown(42)),
            std::tuple(false, 0, true, false));
  platform::PushKeyEvent(__hWnd, 54, false);
  platform::RefuseDevices(false, false);
  platform::ClearKeyTaps();
}

TEST_F(Input, JoystickTwoPadsAndOneRemovedWhileRunning) {
  VirtualPad first("First"), second("Second");
  ASSERT_EQ(GETNUMJOYSTICKS(), 2);
  SDL_JoystickSetVirtualAxis(second.joystick_, 0, 32767);
  SDL_JoystickSetVirtualHat(second.joystick_, 0, SDL_HAT_UP);
  first.Detach();
  SHOWSCREEN();  // the frame's message pump sees the removal
  // Full deflection is exactly 1.
  EXPECT_EQ(std::tuple(GETNUMJOYSTICKS(), std::string(GETJOYNAME_Str(0).c_str()), GETJOYX(0), GETDIGIY(0)),
            std::tuple(1, "Second, Second", 1, -1));
  // Indexes without a joystick read as all zero, the hat included.
  for (double i : {1.0, 9.0, 10.0, -1.0, 1e12}) {
    EXPECT_EQ(std::tuple(std::string(GETJOYNAME_Str(i).c_str()), GETJOYX(i), GETDIGIY(i), GETJOYBUTTON(i, 0)),
              std::tuple("", 0, 0, 0)) << i;
    FORCEFEEDBACK(i, 100, 1, 1);
  }
  second.Detach();
  EXPECT_EQ(GETNUMJOYSTICKS(), 0);
  EXPECT_EQ(JoyState(), (std::vector<double>{0, 0, 0, 0}));
}

TEST_F(Input, JoystickHibernateAndForceFeedbackReachingTheRumble) {
  VirtualPad pad("Rumbler");
  // HIBERNATE idles while the pad is at rest and returns at once on a button.
  HIBERNATE();  // the first call may see the mouse reading change
  for (bool pressed : {false, true}) {
    SDL_JoystickSetVirtualButton(pad.joystick_, 7, pressed);
    const std::uint32_t t0 = SDL_GetTicks();
    HIBERNATE();
    EXPECT_TRUE(pressed ? SDL_GetTicks() - t0 < 150u : SDL_GetTicks() - t0 >= 230u) << pressed;
  }
  // Direction clamped to -1..1, strength (x² + y²) / 2 of the full 65535.
  for (auto [x, y, ms, strength] :
       {std::tuple{1.0, 0.0, 300.0, 32767u}, {0.5, -0.5, 150.0, 16383u}, {-7.0, 3.0, 200.0, 65535u}}) {
    g_rumbles.clear();
    const Uint32 start = SDL_GetTicks();
    FORCEFEEDBACK(0, ms, x, y);
    // Keep the joysticks polled until the rumble is switched off again.
    while (SDL_GetTicks() - start < 2000 && (g_rumbles.empty() || g_rumbles.back()[0] != 0)) {
      GETNUMJOYSTICKS();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(g_rumbles.size(), 2u) << x << " " << y;
    EXPECT_EQ(std::vector<Uint32>({g_rumbles[0][0], g_rumbles[0][1], g_rumbles[1][0], g_rumbles[1][1]}),
              std::vector<Uint32>({strength, strength, 0, 0}));
    EXPECT_NEAR(g_rumbles[1][2] - g_rumbles[0][2], ms + 72.5, 77.5);  // lasted ms - 5 to ms + 150
  }
}

// The character of the keys pressed since the last release (the frame's tap memory).
int Press(const std::vector<int>& codes) {
  for (int code : codes) platform::PushKeyEvent(__hWnd, code, true);
  Lumbo.WinMessages();
  return pDXin->GetKeyChar();
}
void ReleaseAll() {
  platform::ClearKeyTaps();
  EXPECT_EQ(pDXin->GetKeyChar(), 0);
}

void PushMouse(SDL_EventType type, std::uint8_t button = SDL_BUTTON_LEFT) {
  SDL_Event e{};
  e.type = type;
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONUP ? SDL_RELEASED : SDL_PRESSED;
  if (type == SDL_MOUSEMOTION) e.motion.xrel = 5, e.motion.yrel = -3;
  if (type == SDL_MOUSEWHEEL) e.wheel.y = -2;
  SDL_PushEvent(&e);
}

TEST_F(Input, KeyCharOnePerPressLowestCodeFirstAndShiftRules) {
  ReleaseAll();
  EXPECT_STREQ(INKEY_Str().c_str(), "");
  platform::PushKeyEvent(__hWnd, 30, true);
  Lumbo.WinMessages();
  EXPECT_STREQ(INKEY_Str().c_str(), "a");
  EXPECT_EQ(pDXin->GetKeyChar(), 0);  // still held
  EXPECT_EQ(Press({48}), 0);          // B while A is held: A is found first and repeats
  ReleaseAll();
  // Either Shift capitalises letters only: Return, Backspace, Space and digits read the same.
  const std::pair<std::vector<int>, int> cases[] = {
      {{42, 30}, 'A'}, {{54, 30}, 'A'}, {{54, 2}, '1'}, {{42, 2}, '1'}, {{42, 14}, 8},  {{42, 28}, 10}, {{54, 156}, 10},
      {{42, 57}, ' '}, {{28}, 10},      {{156}, 10},    {{14}, 8},      {{1}, 0},       {{57}, ' '},    {{52}, '.'}};
  for (const auto& [keys, expected] : cases) {
    EXPECT_EQ(Press(keys), expected) << keys.front() << " " << keys.back();
    ReleaseAll();
  }
}

// Where the window system refuses relative mouse mode the mouse still works: motion from
// the pointer's events, buttons and wheel, every read (not an all-zero record).
TEST_F(Input, MouseRefusedRelativeModeFallsBackToThePointer) {
  platform::RefuseDevices(true, false);
  DXInput input;
  input.window = __hWnd;
  input.hasMouse = true;  // as with a driver that has a pointer
  DIMOUSEDATA m;
  input.GetMouseData(&m);  // the first read asks for relative mode
  for (int round = 0; round < 2; ++round) {
    for (SDL_EventType type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEWHEEL}) PushMouse(type, SDL_BUTTON_RIGHT);
    input.mouseRefresh = 1;
    EXPECT_TRUE(input.GetMouseData(&m));
    EXPECT_EQ(std::vector<long>({m.dx, m.dy, m.dz, m.button1, m.button2}), std::vector<long>({5, -3, -1, 0, 1}));
  }
  platform::RefuseDevices(false, false);
}

// A click shorter than a frame: seen once by the frame that follows it, and dropped when that
// frame passes without reading the mouse (the game reads none while she somersaults).
TEST_F(Input, MouseShortClickSeenByTheNextFrameOnlyReadOrNot) {
  LIMITFPS(1000);
  SHOWSCREEN();
  MOUSEAXIS(3);  // nothing left over from earlier tests
  // Frames after the click's that pass without a mouse read; the next two reads of the button.
  for (auto [framesUnread, first] : {std::pair{0, 1}, {1, 0}, {3, 0}}) {
    PushMouse(SDL_MOUSEBUTTONDOWN);
    PushMouse(SDL_MOUSEBUTTONUP);
    SHOWSCREEN();  // the click arrives while this frame is shown
    for (int k = 0; k < framesUnread; ++k) SHOWSCREEN();
    EXPECT_EQ(MOUSEAXIS(3), first) << framesUnread;
    EXPECT_EQ(MOUSEAXIS(3), 0) << framesUnread;
    SHOWSCREEN();
  }
}

}  // namespace
