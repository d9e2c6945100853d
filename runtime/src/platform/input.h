// Keyboard, mouse and joysticks: what the input commands read and the force they play.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace TAVELOR::platform {

// ---- Keyboard ----------------------------------------------------------------------------
// Fills 256 bytes indexed by DirectInput key code (PC set-1 scan codes, 0x80 = down). A key
// pressed and released since the last ClearKeyTaps still reads as down, so a short tap
// between two frames is not lost.
void GetKeyboardState(unsigned char state[256]);
// Forgets the taps seen so far (the frame pump calls it after its keyboard poll).
void ClearKeyTaps();
// The DirectInput key code of an SDL scancode number, 0 when it has none.
int ScancodeToKeyCode(int scancode);

// Whether SDL's events are running, so the keyboard can be read at all.
bool KeyboardAvailable();
// The character the key with that DirectInput key code gives under the current keyboard
// layout without Shift, 0 when it gives none.
int KeyCodeChar(int keyCode);

// ---- Mouse -------------------------------------------------------------------------------
// Whether the video driver has a pointer at all (the offscreen driver has none).
bool HasPointer();
// On: the game owns the mouse (relative motion, pointer hidden and held in the window).
// Off: the system pointer is shown and moves freely. False when the window system refuses.
bool SetRelativeMouse(bool on);
// Moves the pointer to client position (x, y) of the window.
void WarpMouse(WindowHandle window, int x, int y);
// From now on relative mouse mode and the joystick start fail as on a window system or
// machine without them (for checking the fallbacks); false, false restores normal service.
void RefuseDevices(bool relativeMouse, bool joysticks);

struct MouseSample {
  int dx = 0, dy = 0;  // relative motion summed since the last read that took it
  int wheel = 0;       // wheel notches summed likewise, up positive
  int x = 0, y = 0;    // the pointer's position in the window's client area
  bool buttons[3] = {};  // left, right, middle: down now or pressed since the last read
};
// Reads the mouse. Motion and wheel are handed over (and cleared) only when takeMotion is
// set; otherwise they stay for the next read that takes them.
void ReadMouse(WindowHandle window, bool takeMotion, MouseSample* out);
// Forgets the presses no read has taken yet (the frame pump calls it at each frame's end, just
// before it takes the waiting events): a press is reported by the next read of the frame that
// follows it, or never.
void DropMouseTaps();

// ---- Joysticks ------------------------------------------------------------------------------
constexpr int kMaxJoysticks = 10;
// Starts the joystick and force-feedback subsystems; false when joysticks cannot be had.
bool JoystickInit();
void JoystickShutdown();
// Opens joysticks attached since the last call and drops the removed ones (at most ten are
// kept, in the order they came); returns how many are kept.
int JoystickSync();
// "instance, product" as the device reports them; "" for an index not kept.
std::string JoystickName(int index);

struct JoystickSample {
  int axes[6] = {};                 // x, y, z, x/y/z rotation as the device reports them (-32768..32767)
  std::uint32_t pov = 0xFFFFFFFFu;  // hat 0 in hundredths of degrees clockwise from up; all ones centred
  bool buttons[32] = {};
};
// False for an index not kept.
bool ReadJoystick(int index, JoystickSample* out);
// Plays a constant force: direction (dirX, dirY) in -32767..32767, magnitude 0..10000, for
// that many milliseconds, iterations times. Uses the device's haptic constant effect, else
// its rumble (played once). False when the device has neither.
bool PlayForce(int index, int iterations, double milliseconds, int dirX, int dirY, int magnitude);

}  // namespace TAVELOR::platform
