// Joysticks and force feedback through SDL's virtual joysticks: what the device is set to
// comes back through the joystick commands, and what FORCEFEEDBACK sends reaches the
// device's rumble.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <tavelor/tavelor.h>

#include "display/DisplaySupport.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/input.h"

using namespace TAVELOR;

namespace {

struct RumbleCall {
  Uint16 low, high;
  Uint32 ticks;
};
std::vector<RumbleCall> g_rumbles;

int OnRumble(void*, Uint16 low, Uint16 high) {
  g_rumbles.push_back({low, high, SDL_GetTicks()});
  return 0;
}

// A virtual pad with six axes, 32 buttons and a hat; the handle sets its controls.
class VirtualPad {
 public:
  explicit VirtualPad(const char* name) {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = 6;
    desc.nbuttons = 32;
    desc.nhats = 1;
    desc.name = name;
    desc.Rumble = OnRumble;
    const int device = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(device, 0) << SDL_GetError();
    joystick_ = SDL_JoystickOpen(device);
    EXPECT_NE(joystick_, nullptr) << SDL_GetError();
    id_ = SDL_JoystickInstanceID(joystick_);
  }
  ~VirtualPad() { Detach(); }
  void Detach() {
    if (!joystick_) return;
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id_) SDL_JoystickDetachVirtual(i);
    }
  }
  void Axis(int axis, Sint16 value) { SDL_JoystickSetVirtualAxis(joystick_, axis, value); }
  void Button(int button, bool down) { SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0); }
  void Hat(Uint8 value) { SDL_JoystickSetVirtualHat(joystick_, 0, value); }

 private:
  SDL_Joystick* joystick_ = nullptr;
  SDL_JoystickID id_ = -1;
};

// What the device reports, on the -1..1 scale with the x/y dead zone of 30 % taken out
// and the rest stretched to the full range.
double DeadZoneReference(double raw) {
  const double v = raw < 0 ? raw / 32768.0 : raw / 32767.0;
  if (std::fabs(v) <= 0.3) return 0;
  return std::copysign((std::fabs(v) - 0.3) / 0.7, v);
}

TEST(Joystick, AxesHatAndButtonsOfOnePad) {
  display_test::EnsureDisplay();
  VirtualPad pad("Pad One");
  ASSERT_EQ(GETNUMJOYSTICKS(), 1);
  EXPECT_EQ(std::string(GETJOYNAME_Str(0).c_str()), "Pad One, Pad One");

  double x = 9, y = 9, b1 = 9, b2 = 9;
  JOYSTATE(x, y, b1, b2);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(b1, 0);

  for (Sint16 raw : {Sint16(0), Sint16(9000), Sint16(-9800), Sint16(16384), Sint16(-20000), Sint16(32767),
                     Sint16(-32768)}) {
    pad.Axis(0, raw);
    pad.Axis(1, raw);
    pad.Axis(2, raw);
    pad.Axis(5, raw);
    EXPECT_NEAR(GETJOYX(0), DeadZoneReference(raw), 1e-3) << raw;
    EXPECT_NEAR(GETJOYY(0), DeadZoneReference(raw), 1e-3) << raw;
    EXPECT_NEAR(GETJOYZ(0), raw / 32768.0, 1e-3) << raw;  // no dead zone beyond x and y
    EXPECT_NEAR(GETJOYRZ(0), raw / 32768.0, 1e-3) << raw;
    JOYSTATE(x, y, b1, b2);
    const double full = raw == 32767 ? 1 : (raw == -32768 ? -1 : 0);
    EXPECT_EQ(x, full) << raw;
    EXPECT_EQ(y, full) << raw;
  }
  pad.Axis(0, 32767);
  EXPECT_EQ(GETJOYX(0), 1.0);  // full deflection is exactly 1
  EXPECT_EQ(GETJOYRX(0), 0.0);

  struct HatCase {
    Uint8 hat;
    double x, y;
  };
  for (HatCase c : {HatCase{SDL_HAT_CENTERED, 0, 0}, HatCase{SDL_HAT_UP, 0, -1}, HatCase{SDL_HAT_RIGHT, 1, 0},
                    HatCase{SDL_HAT_DOWN, 0, 1}, HatCase{SDL_HAT_LEFT, -1, 0}, HatCase{SDL_HAT_RIGHTUP, 0, 0}}) {
    pad.Hat(c.hat);
    EXPECT_EQ(GETDIGIX(0), c.x) << int(c.hat);
    EXPECT_EQ(GETDIGIY(0), c.y) << int(c.hat);
  }

  pad.Button(0, true);
  pad.Button(31, true);
  EXPECT_EQ(GETJOYBUTTON(0, 0), 128);
  EXPECT_EQ(GETJOYBUTTON(0, 31), 128);
  EXPECT_EQ(GETJOYBUTTON(0, 1), 0);
  EXPECT_EQ(GETJOYBUTTON(0, 32), 0);
  EXPECT_EQ(GETJOYBUTTON(0, -1), 0);
  JOYSTATE(x, y, b1, b2);
  EXPECT_EQ(b1, 128);
  EXPECT_EQ(b2, 0);

  // HIBERNATE idles while the pad is at rest and returns at once on a button.
  pad.Button(0, false);
  pad.Button(31, false);
  for (int axis : {0, 1, 2}) pad.Axis(axis, 0);
  pad.Hat(SDL_HAT_CENTERED);
  HIBERNATE();  // the first call may see the mouse reading change
  for (bool pressed : {false, true}) {
    pad.Button(7, pressed);
    const std::uint32_t t0 = SDL_GetTicks();
    HIBERNATE();
    if (pressed) EXPECT_LT(SDL_GetTicks() - t0, 150u);
    else EXPECT_GE(SDL_GetTicks() - t0, 230u);
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
  VirtualPad first("First");
  VirtualPad second("Second");
  ASSERT_EQ(GETNUMJOYSTICKS(), 2);
  second.Axis(0, 32767);
  second.Hat(SDL_HAT_UP);
  EXPECT_EQ(GETJOYX(0), 0);
  EXPECT_EQ(GETJOYX(1), 1);
  EXPECT_EQ(std::string(GETJOYNAME_Str(1).c_str()), "Second, Second");

  first.Detach();
  SHOWSCREEN();  // the frame's message pump sees the removal
  EXPECT_EQ(GETNUMJOYSTICKS(), 1);
  EXPECT_EQ(std::string(GETJOYNAME_Str(0).c_str()), "Second, Second");
  EXPECT_EQ(GETJOYX(0), 1);
  EXPECT_EQ(GETDIGIY(0), -1);
  // Indexes without a joystick read as all zero, the hat included.
  for (double i : {1.0, 9.0, 10.0, -1.0, 1e12}) {
    EXPECT_EQ(std::string(GETJOYNAME_Str(i).c_str()), "") << i;
    EXPECT_EQ(GETJOYX(i), 0) << i;
    EXPECT_EQ(GETDIGIY(i), 0) << i;
    EXPECT_EQ(GETJOYBUTTON(i, 0), 0) << i;
    FORCEFEEDBACK(i, 100, 1, 1);
  }
  second.Detach();
  EXPECT_EQ(GETNUMJOYSTICKS(), 0);
  double x = 9, y = 9, b1 = 9, b2 = 9;
  JOYSTATE(x, y, b1, b2);
  EXPECT_EQ(x + y + b1 + b2, 0);
}

TEST(Joystick, ForceFeedbackReachesTheRumbleWithStrengthAndDuration) {
  display_test::EnsureDisplay();
  VirtualPad pad("Rumbler");
  ASSERT_EQ(GETNUMJOYSTICKS(), 1);
  struct Case {
    double x, y, ms;
  };
  for (Case c : {Case{1, 0, 300}, Case{0.5, -0.5, 150}, Case{-7, 3, 200}}) {
    g_rumbles.clear();
    const Uint32 start = SDL_GetTicks();
    FORCEFEEDBACK(0, c.ms, c.x, c.y);
    // Keep the joysticks polled until the rumble is switched off again.
    while (SDL_GetTicks() - start < 2000 && (g_rumbles.empty() || g_rumbles.back().low != 0)) {
      GETNUMJOYSTICKS();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(g_rumbles.size(), 2u) << c.x << " " << c.y;
    const double x = std::fmax(-1, std::fmin(1, c.x)), y = std::fmax(-1, std::fmin(1, c.y));
    const long magnitude = std::lround(std::floor((x * x + y * y) * 5000));
    const Uint16 strength = static_cast<Uint16>(magnitude * 65535 / 10000);
    EXPECT_EQ(g_rumbles[0].low, strength);
    EXPECT_EQ(g_rumbles[0].high, strength);
    EXPECT_EQ(g_rumbles[1].low, 0);
    EXPECT_EQ(g_rumbles[1].high, 0);
    const double lasted = g_rumbles[1].ticks - g_rumbles[0].ticks;
    EXPECT_GE(lasted, c.ms - 5);
    EXPECT_LE(lasted, c.ms + 150);
  }
}

}  // namespace
