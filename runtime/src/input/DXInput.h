// DXInput: the runtime's input engine. The keyboard state is indexed by DirectInput key
// code; the mouse refresh flag makes the first mouse read of a frame take fresh motion.
#pragma once

#include <cstdint>

#include <tavelor/wintypes.h>

namespace TAVELOR {

class DXInput {
 public:
  DXInput();
  ~DXInput();
  DXInput(const DXInput&) = delete;
  DXInput& operator=(const DXInput&) = delete;

  // Sets up the devices for the window; 1 on full success.
  long CreateDInput(HWND window, HINSTANCE instance, bool wantMouse);
  // Refreshes the keyboard state.
  void GetKeyboardStatus();
  bool IsKeyDown(int code) const { return (keyState[code & 255] & 0x80) != 0; }

  std::int32_t trackedX = 100;
  std::int32_t trackedY = 100;
  HWND window = nullptr;
  unsigned char keyState[256] = {};
  unsigned char systemPointer = 0;
  std::int32_t mouseCoopLevel = 5;
  std::int32_t joystickCount = 0;
  unsigned char mouseRefresh = 1;
  std::int16_t cachedDx = 0;
  std::int16_t cachedDy = 0;
  std::int16_t cachedDz = 0;
  bool mouseWanted = false;
};

}  // namespace TAVELOR
