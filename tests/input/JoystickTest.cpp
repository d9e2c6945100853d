// Joysticks and force feedback through SDL's virtual joysticks: what the device is set to
// comes back through the joystick commands, and what FORCEFEEDBACK sends reaches the
// device's rumble.
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
  void Axes(std::initializer_list<int> axes, Sint16 value) {
    for (int a : axes) SDL_JoystickSetVirtualAxis(joystick_, a, value);
  }
  void Button(int button, bool down) { SDL_JoystickSetVirtualButton(joystick_, button, down); }
  void Hat(Uint8 value) { SDL_JoystickSetVirtualHat(joystick_, 0, value); }
  SDL_Joystick* joystick_ = nullptr;
};

// The -1..1 reading with the x/y dead zone of 30 % taken out and the rest stretched.
double DeadZoneReference(double raw) {
  const double v = raw < 0 ? raw / 32768.0 : raw / 32767.0;
  return std::fabs(v) <= 0.3 ? 0 : std::copysign((std::fabs(v) - 0.3) / 0.7, v);
}

// JOYSTATE's four values.
std::vector<double> JoyState() {
  double x = 9, y = 9, b1 = 9, b2 = 9;
  JOYSTATE(x, y, b1, b2);
  return {x, y, b1, b2};
}

TEST(Joystick, AxesHatAndButtonsOfOnePad) {
  display_test::EnsureDisplay();
  VirtualPad pad("Pad One");
  ASSERT_EQ(GETNUMJOYSTICKS(), 1);
  EXPECT_STREQ(GETJOYNAME_Str(0).c_str(), "Pad One, Pad One");
  EXPECT_EQ(JoyState(), (std::vector<double>{0, 0, 0, 0}));
  for (Sint16 raw : {0, 9000, -9800, 16384, -20000, 32767, -32768}) {
    pad.Axes({0, 1, 2, 5}, raw);
    const double want[] = {DeadZoneReference(raw), DeadZoneReference(raw), raw / 32768.0, raw / 32768.0, 0};
    const double got[] = {GETJOYX(0), GETJOYY(0), GETJOYZ(0), GETJOYRZ(0), GETJOYRX(0)};  // no dead zone past x, y
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(got[i], want[i], 1e-3) << raw << " axis " << i;
    const double full = raw == 32767 ? 1 : (raw == -32768 ? -1 : 0);  // JOYSTATE: only full deflection
    EXPECT_EQ(JoyState(), (std::vector<double>{full, full, 0, 0})) << raw;
  }
  pad.Axes({0}, 32767);
  EXPECT_EQ(GETJOYX(0), 1.0);  // full deflection is exactly 1

  for (auto [hat, x, y] : {std::tuple{SDL_HAT_CENTERED, 0, 0}, {SDL_HAT_UP, 0, -1}, {SDL_HAT_RIGHT, 1, 0},
                           {SDL_HAT_DOWN, 0, 1}, {SDL_HAT_LEFT, -1, 0}, {SDL_HAT_RIGHTUP, 0, 0}}) {
    pad.Hat(hat);
    EXPECT_EQ(GETDIGIX(0), x) << hat;
    EXPECT_EQ(GETDIGIY(0), y) << hat;
  }
  pad.Button(0, true);
  pad.Button(31, true);
  for (auto [button, state] : {std::pair{0, 128}, {31, 128}, {1, 0}, {32, 0}, {-1, 0}})
    EXPECT_EQ(GETJOYBUTTON(0, button), state) << button;
  EXPECT_EQ(JoyState(), (std::vector<double>{1, -1, 128, 0}));

  // HIBERNATE idles while the pad is at rest and returns at once on a button.
  pad.Button(0, false);
  pad.Button(31, false);
  pad.Axes({0, 1, 2}, 0);
  pad.Hat(SDL_HAT_CENTERED);
  HIBERNATE();  // the first call may see the mouse reading change
  for (bool pressed : {false, true}) {
    pad.Button(7, pressed);
    const std::uint32_t t0 = SDL_GetTicks();
    HIBERNATE();
    EXPECT_TRUE(pressed ? SDL_GetTicks() - t0 < 150u : SDL_GetTicks() - t0 >= 230u) << pressed;
  }
}

// Without the joystick subsystem, keyboard and mouse are read as with it: both Shift keys
// stay apart (no fallback key table), and there are no joysticks.
TEST(Joystick, KeyboardWithoutTheJoystickSubsystem) {
  display_test::EnsureDisplay();
  platform::RefuseDevices(false, true);
  {
    DXInput input;
    input.CreateDInput(__hWnd, nullptr, true);
    platform::PushKeyEvent(__hWnd, 54, true);
    Lumbo.WinMessages();
    input.GetKeyboardStatus();
    EXPECT_FALSE(input.hasInput);
    EXPECT_TRUE(input.IsKeyDown(54));
    EXPECT_FALSE(input.IsKeyDown(42));
    EXPECT_EQ(input.GetNumJoysticks(), 0);
    platform::PushKeyEvent(__hWnd, 54, false);
  }
  platform::RefuseDevices(false, false);
  platform::ClearKeyTaps();
}

TEST(Joystick, TwoPadsAndOneRemovedWhileRunning) {
  display_test::EnsureDisplay();
  VirtualPad first("First"), second("Second");
  ASSERT_EQ(GETNUMJOYSTICKS(), 2);
  second.Axes({0}, 32767);
  second.Hat(SDL_HAT_UP);
  EXPECT_EQ(GETJOYX(0), 0);
  EXPECT_STREQ(GETJOYNAME_Str(1).c_str(), "Second, Second");
  first.Detach();
  SHOWSCREEN();  // the frame's message pump sees the removal
  EXPECT_EQ(GETNUMJOYSTICKS(), 1);
  EXPECT_STREQ(GETJOYNAME_Str(0).c_str(), "Second, Second");
  EXPECT_EQ(GETJOYX(0), 1);
  EXPECT_EQ(GETDIGIY(0), -1);
  // Indexes without a joystick read as all zero, the hat included.
  for (double i : {1.0, 9.0, 10.0, -1.0, 1e12}) {
    EXPECT_STREQ(GETJOYNAME_Str(i).c_str(), "") << i;
    EXPECT_EQ(std::vector<double>({GETJOYX(i), GETDIGIY(i), GETJOYBUTTON(i, 0)}), std::vector<double>(3, 0.0)) << i;
    FORCEFEEDBACK(i, 100, 1, 1);
  }
  second.Detach();
  EXPECT_EQ(GETNUMJOYSTICKS(), 0);
  EXPECT_EQ(JoyState(), (std::vector<double>{0, 0, 0, 0}));
}

TEST(Joystick, ForceFeedbackReachesTheRumbleWithStrengthAndDuration) {
  display_test::EnsureDisplay();
  VirtualPad pad("Rumbler");
  ASSERT_EQ(GETNUMJOYSTICKS(), 1);
  for (auto [x, y, ms] : {std::tuple{1.0, 0.0, 300.0}, {0.5, -0.5, 150.0}, {-7.0, 3.0, 200.0}}) {
    g_rumbles.clear();
    const Uint32 start = SDL_GetTicks();
    FORCEFEEDBACK(0, ms, x, y);
    // Keep the joysticks polled until the rumble is switched off again.
    while (SDL_GetTicks() - start < 2000 && (g_rumbles.empty() || g_rumbles.back()[0] != 0)) {
      GETNUMJOYSTICKS();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(g_rumbles.size(), 2u) << x << " " << y;
    // Direction clamped to -1..1, magnitude (x² + y²) * 5000 of 10000.
    const double cx = std::clamp(x, -1.0, 1.0), cy = std::clamp(y, -1.0, 1.0);
    const Uint16 strength = static_cast<Uint16>(std::lround(std::floor((cx * cx + cy * cy) * 5000)) * 65535 / 10000);
    EXPECT_EQ(std::vector<Uint32>({g_rumbles[0][0], g_rumbles[0][1], g_rumbles[1][0], g_rumbles[1][1]}),
              std::vector<Uint32>({strength, strength, 0, 0}));
    const double lasted = g_rumbles[1][2] - g_rumbles[0][2];
    EXPECT_TRUE(lasted >= ms - 5 && lasted <= ms + 150) << lasted;
  }
}

}  // namespace
