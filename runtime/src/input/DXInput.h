// DXInput: the runtime's input engine. The keyboard state is indexed by DirectInput key
// code; the mouse refresh flag makes the first mouse read of a frame take fresh motion;
// up to ten joysticks are read as DirectInput records.
#pragma once

#include <cstdint>
#include <string>

#include <tavelor/wintypes.h>

namespace TAVELOR {

// The runtime's mouse record: buttons non-zero while pressed, motion since the previous
// fresh read, the wheel as -1, 0 or +1.
struct DIMOUSEDATA {
  std::int16_t button1 = 0, button2 = 0, button3 = 0;
  std::int16_t dx = 0, dy = 0, dz = 0;
};

// A joystick's state: six axes (-32768..32768), two sliders, four points of view
// (hundredths of degrees, all ones when centred), 32 button bytes (128 pressed).
struct DIJOYSTATE {
  std::int32_t lX = 0, lY = 0, lZ = 0, lRx = 0, lRy = 0, lRz = 0;
  std::int32_t rglSlider[2] = {};
  std::uint32_t rgdwPOV[4] = {};
  unsigned char rgbButtons[32] = {};
};
static_assert(sizeof(DIJOYSTATE) == 80);

// Axis value of the device (-32768..32767) on the record's scale -32768..32768.
int ScaleJoystickAxis(int raw);
// The x and y dead zone: 3000 of 10000 around the centre reads as 0; beyond it the rest of
// the range is stretched back to the full scale.
int ApplyJoystickDeadZone(int value);

class DXInput {
 public:
  static constexpr long kNoInput = static_cast<long>(0x8000000AL);
  static constexpr long kNoKeyboard = static_cast<long>(0x8000000BL);
  static constexpr long kNoMouse = static_cast<long>(0x8000000CL);

  DXInput();
  ~DXInput();
  DXInput(const DXInput&) = delete;
  DXInput& operator=(const DXInput&) = delete;

  // Sets up the devices for the window; 1 on full success, else the last failure's code.
  long CreateDInput(HWND window, HINSTANCE instance, bool wantMouse);
  // Refreshes the keyboard state.
  void GetKeyboardStatus();
  // Key code down in the last refreshed state (through the key table without a keyboard).
  bool IsKeyDown(int code) const;
  // Fills the record; true (where relative mode is refused the pointer is read instead).
  bool GetMouseData(DIMOUSEDATA* record);
  // False for a joystick that is not attached; the record is then all zero.
  bool GetJoystickData(DIJOYSTATE* record, int index);
  void ffRumble(int index, int iterations, float milliseconds, float x, float y);
  // One character per key press (Shift applied, repeats suppressed), 0 when none.
  int GetKeyChar();
  // GetKeyChar on the state as last refreshed.
  int TakeKeyChar();
  // The character of key code, 8 Backspace, 10 either Return, 0 for none.
  int Scan2Ascii(unsigned long code) const;
  // The key table: identity with a keyboard device, else a German layout's virtual keys.
  void DXtoVK(bool keyboardPresent);
  std::string GetJoyName(int index);
  int GetNumJoysticks();
  bool AnyKey() { return GetKeyChar() != 0; }
  bool AnyMouse();
  // Switches between the game-owned mouse (0) and the system pointer (non-zero).
  void SetSystemPointer(bool on);

  std::int32_t trackedX = 100;
  std::int32_t trackedY = 100;
  bool hasInput = false;     // the joystick subsystem is running
  bool hasKeyboard = false;  // the keyboard is read through key codes
  bool hasMouse = false;     // the mouse is the device's (wanted, and the driver has a pointer)
  bool mouseAcquired = false;
  bool pointerFallback = false;  // relative mode was refused: motion from the pointer's events
  HWND window = nullptr;
  unsigned char keyState[256] = {};
  unsigned char systemPointer = 0;
  std::int32_t mouseCoopLevel = 5;
  std::int32_t joystickCount = 0;
  unsigned char mouseRefresh = 1;
  std::int16_t cachedDx = 0;
  std::int16_t cachedDy = 0;
  std::int16_t cachedDz = 0;
  std::uint16_t keyTable[255] = {};
  bool created = false;

 private:
  bool KeyPressed(int code) const;
  bool AcquireMouse();
};

}  // namespace TAVELOR
