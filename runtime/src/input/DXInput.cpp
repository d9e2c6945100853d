#include "input/DXInput.h"

#include <tavelor/input.h>

#include "frame/Runtime.h"
#include "platform/platform.h"
#include "values/Numbers.h"

namespace TAVELOR {

DXInput::DXInput() = default;

DXInput::~DXInput() = default;

long DXInput::CreateDInput(HWND win, HINSTANCE, bool wantMouse) {
  window = win;
  mouseWanted = wantMouse;
  systemPointer = 0;
  GetKeyboardStatus();
  return 1;
}

void DXInput::GetKeyboardStatus() { platform::GetKeyboardState(keyState); }

double KEY(double code) {
  if (!pDXin) return 0;
  pDXin->GetKeyboardStatus();
  return pDXin->IsKeyDown(static_cast<int>(TruncToLong(code) & 255)) ? 1 : 0;
}

}  // namespace TAVELOR
