// The live readers of the devices and the clock. The public functions of the same names in
// platform.h go through the session source (replay.cpp), which calls these, records what they
// return, or hands back what a recording holds instead. Only the platform layer calls them.
// (Inside these functions an unqualified call such as JoystickSync() finds the live one.)
#pragma once

#include <cstdint>
#include <string>

#include "platform/input.h"
#include "platform/platform.h"

namespace TAVELOR::platform::live {

bool PeekMessage(Message* out);
void GetKeyboardState(unsigned char state[256]);
bool KeyboardAvailable();
int KeyCodeChar(int keyCode);
bool HasPointer();
bool SetRelativeMouse(bool on);
void ReadMouse(WindowHandle window, bool takeMotion, MouseSample* out);
bool JoystickInit();
int JoystickSync();
std::string JoystickName(int index);
bool ReadJoystick(int index, JoystickSample* out);
std::uint64_t PerformanceCounter();
std::uint64_t PerformanceFrequency();
std::uint32_t TickCount();
void SleepMs(double milliseconds);

}  // namespace TAVELOR::platform::live
