// Input devices: keyboard, mouse and joysticks.
#pragma once

namespace TAVELOR {

// 1 while the key with that DirectInput key code (1 Escape, 57 Space, 200 Up ...) is down.
// The code is taken modulo 256.
double KEY(double code);

}  // namespace TAVELOR
