#include "input/DXInput.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <tavelor/frame.h>
#include <tavelor/input.h>

#include "display/OpenGLLumenar.h"
#include "frame/ErrorLog.h"
#include "frame/Runtime.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {
// The last character GetKeyChar returned; 0 once no character key is down.
int lastpressed = 0;

constexpr std::uint32_t kCentred = 0xFFFFFFFFu;

std::int16_t To16(long long v) { return static_cast<std::int16_t>(std::clamp<long long>(v, -32768, 32767)); }
std::int32_t To32(long long v) {
  return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}
int Sign(int v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// Virtual keys of a German (QWERTZ) keyboard by key code, for reading keys without a
// keyboard device.
struct VkPair {
  unsigned char code;
  unsigned char vk;
};
constexpr VkPair kGermanKeys[] = {
    {0, 13},    {1, 27},     {2, '1'},    {3, '2'},    {4, '3'},    {5, '4'},    {6, '5'},    {7, '6'},
    {8, '7'},   {9, '8'},    {10, '9'},   {11, '0'},   {12, 0xDB},  {13, 0xDD},  {14, 8},     {15, 9},
    {16, 'Q'},  {17, 'W'},   {18, 'E'},   {19, 'R'},   {20, 'T'},   {21, 'Z'},   {22, 'U'},   {23, 'I'},
    {24, 'O'},  {25, 'P'},   {26, 0xBA},  {27, 0xBB},  {28, 13},    {29, 17},    {30, 'A'},   {31, 'S'},
    {32, 'D'},  {33, 'F'},   {34, 'G'},   {35, 'H'},   {36, 'J'},   {37, 'K'},   {38, 'L'},   {39, 0xC0},
    {40, 0xDE}, {41, 0xDC},  {42, 16},    {43, 0xBF},  {44, 'Y'},   {45, 'X'},   {46, 'C'},   {47, 'V'},
    {48, 'B'},  {49, 'N'},   {50, 'M'},   {51, 0xBC},  {52, 0xBE},  {53, 0xBD},  {54, 16},    {55, 0x6A},
    {56, 18},   {57, 32},    {58, 0},     {59, 112},   {60, 113},   {61, 114},   {62, 115},   {63, 116},
    {64, 117},  {65, 118},   {66, 119},   {67, 120},   {68, 121},   {69, 0x90},  {70, 0x91},  {71, 0x67},
    {72, 0x68}, {73, 0x69},  {74, 0x6D},  {75, 0x64},  {76, 0x65},  {77, 0x66},  {78, 0x6B},  {79, 0x61},
    {80, 0x62}, {81, 0x63},  {82, 0x60},  {83, 0x6E},  {86, 0xE2},  {87, 122},   {88, 123},   {156, 13},
    {157, 17},  {181, 0x6F}, {183, 0x2C}, {184, 18},   {197, 0x13}, {199, 0x24}, {200, 0x26}, {201, 0x21},
    {203, 0x25}, {205, 0x27}, {207, 0x23}, {208, 0x28}, {209, 0x22}, {210, 0x2D}, {211, 0x2E}, {219, 0x5B},
    {220, 0x5C}, {221, 0x5D},
};
}  // namespace

int ScaleJoystickAxis(int raw) {
  raw = std::clamp(raw, -32768, 32767);
  return raw <= 0 ? raw : static_cast<int>((static_cast<long long>(raw) * 32768 + 16383) / 32767);
}

int ApplyJoystickDeadZone(int value) {
  constexpr long long kFull = 32768;
  constexpr long long kZone = kFull * 3000 / 10000;
  const long long magnitude = std::llabs(value);
  if (magnitude <= kZone) return 0;
  const long long stretched = std::min(kFull, (magnitude - kZone) * kFull / (kFull - kZone));
  return static_cast<int>(value < 0 ? -stretched : stretched);
}

DXInput::DXInput() { DXtoVK(true); }

DXInput::~DXInput() {
  if (!created) return;
  SetSystemPointer(true);
  platform::JoystickShutdown();
}

long DXInput::CreateDInput(HWND win, HINSTANCE, bool wantMouse) {
  long result = 1;
  created = true;
  window = win;
  hasInput = platform::JoystickInit();
  if (!hasInput) {
    AppendErrorLog("No DX_Input");
    result = kNoInput;
  }
  platform::MouseSample pointer;
  platform::ReadMouse(window, false, &pointer);
  trackedX = pointer.x;
  trackedY = pointer.y;
  // Keyboard and mouse do not depend on the joysticks: SDL reads them from the window.
  hasKeyboard = platform::KeyboardAvailable();
  DXtoVK(hasKeyboard);
  systemPointer = 0;
  if (wantMouse && platform::HasPointer()) {
    hasMouse = true;
    mouseCoopLevel = 5;
    AcquireMouse();  // a refusal falls back to the pointer's own motion
  }
  joystickCount = hasInput ? platform::JoystickSync() : 0;
  GetKeyboardStatus();
  return result;
}

void DXInput::DXtoVK(bool keyboardPresent) {
  for (int k = 0; k < 255; ++k) keyTable[k] = static_cast<std::uint16_t>(keyboardPresent ? k : 255);
  if (keyboardPresent) return;
  for (const VkPair& p : kGermanKeys) keyTable[p.code] = p.vk;
}

void DXInput::GetKeyboardStatus() { platform::GetKeyboardState(keyState); }

bool DXInput::KeyPressed(int code) const {
  code &= 255;
  if (hasKeyboard) return (keyState[code] & 0x80) != 0;
  // Without a keyboard device: the key table's virtual key, down when any key carrying it is.
  const int vk = code < 255 ? keyTable[code] : 255;
  if (vk == 0 || vk == 255) return false;
  for (int k = 0; k < 255; ++k) {
    if (keyTable[k] == vk && (keyState[k] & 0x80)) return true;
  }
  return false;
}

bool DXInput::IsKeyDown(int code) const { return KeyPressed(code); }

int DXInput::Scan2Ascii(unsigned long code) const {
  switch (code) {
    case 54: case 29: case 42: case 69: case 56: case 58: case 221: return 0;
    case 28: case 156: return 10;
    case 14: return 8;
    default: break;
  }
  if (code > 255) return 0;
  const int c = platform::KeyCodeChar(static_cast<int>(code));
  if (c <= 0 || c >= 128) return 0;
  return c < 32 && c != 8 && c != 10 ? 0 : c;
}

int DXInput::GetKeyChar() {
  GetKeyboardStatus();
  return TakeKeyChar();
}

int DXInput::TakeKeyChar() {
  int c = 0;
  for (int k = 0; k <= 254 && c == 0; ++k) {
    if (KeyPressed(k)) c = Scan2Ascii(static_cast<unsigned long>(k));
  }
  if (c == 0) {
    lastpressed = 0;
    return 0;
  }
  // Either Shift capitalises letters; every other character (Return, Backspace, Space,
  // digits) stays what it is without Shift.
  if ((KeyPressed(42) || KeyPressed(54)) && c >= 'a' && c <= 'z') c -= 32;
  if (c == lastpressed) return 0;
  lastpressed = c;
  return c;
}

bool DXInput::AcquireMouse() {
  mouseAcquired = platform::SetRelativeMouse(systemPointer == 0);
  // Where the window system refuses relative mode, motion comes from the pointer's own
  // events (not held in the window) and buttons and wheel stay; no retry at every read.
  pointerFallback = !mouseAcquired;
  return mouseAcquired;
}

bool DXInput::GetMouseData(DIMOUSEDATA* record) {
  if (!mouseRefresh) {
    record->dx = cachedDx;
    record->dy = cachedDy;
    record->dz = cachedDz;
  }
  // A refusal leaves the pointer fallback in place, so the read goes on either way.
  if (hasMouse && !mouseAcquired && !pointerFallback) AcquireMouse();
  const bool fresh = mouseRefresh != 0;
  platform::MouseSample s;
  platform::ReadMouse(window, fresh, &s);
  if (fresh) {
    mouseRefresh = 0;
    record->dz = static_cast<std::int16_t>(hasMouse ? Sign(s.wheel) : 0);
    if (!systemPointer) {
      record->dx = To16(s.dx);
      record->dy = To16(s.dy);
      trackedX = To32(static_cast<long long>(trackedX) + record->dx);
      trackedY = To32(static_cast<long long>(trackedY) + record->dy);
    } else {
      record->dx = To16(static_cast<long long>(s.x) - trackedX);
      record->dy = To16(static_cast<long long>(s.y) - trackedY);
      trackedX = s.x;
      trackedY = s.y;
    }
    cachedDx = record->dx;
    cachedDy = record->dy;
    cachedDz = record->dz;
  }
  record->button1 = s.buttons[0] ? 1 : 0;
  record->button2 = s.buttons[1] ? 1 : 0;
  record->button3 = s.buttons[2] ? 1 : 0;
  return true;
}

bool DXInput::AnyMouse() {
  DIMOUSEDATA m;
  GetMouseData(&m);
  return m.button1 || m.button2 || m.button3;
}

void DXInput::SetSystemPointer(bool on) {
  if (on == (systemPointer != 0)) return;
  systemPointer = on ? 1 : 0;
  if (!hasMouse) return;
  mouseCoopLevel = on ? 6 : 5;
  AcquireMouse();
  if (on) platform::WarpMouse(window, trackedX, trackedY);
}

int DXInput::GetNumJoysticks() {
  if (hasInput) joystickCount = platform::JoystickSync();
  return joystickCount;
}

std::string DXInput::GetJoyName(int index) {
  GetNumJoysticks();
  return platform::JoystickName(index);
}

bool DXInput::GetJoystickData(DIJOYSTATE* record, int index) {
  *record = DIJOYSTATE{};
  if (GetNumJoysticks() <= index || index < 0) return false;
  platform::JoystickSample s;
  if (!platform::ReadJoystick(index, &s)) return false;
  record->lX = ApplyJoystickDeadZone(ScaleJoystickAxis(s.axes[0]));
  record->lY = ApplyJoystickDeadZone(ScaleJoystickAxis(s.axes[1]));
  record->lZ = ScaleJoystickAxis(s.axes[2]);
  record->lRx = ScaleJoystickAxis(s.axes[3]);
  record->lRy = ScaleJoystickAxis(s.axes[4]);
  record->lRz = ScaleJoystickAxis(s.axes[5]);
  record->rgdwPOV[0] = s.pov;
  for (int p = 1; p < 4; ++p) record->rgdwPOV[p] = kCentred;
  for (int b = 0; b < 32; ++b) record->rgbButtons[b] = s.buttons[b] ? 128 : 0;
  return true;
}

void DXInput::ffRumble(int index, int iterations, float milliseconds, float x, float y) {
  if (GetNumJoysticks() <= index || index < 0) return;
  x = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
  y = std::isnan(y) ? 0.0f : std::clamp(y, -1.0f, 1.0f);
  const int magnitude = static_cast<int>((x * x + y * y) * 10000 * 0.5);
  platform::PlayForce(index, iterations, milliseconds, static_cast<int>(x * 32767), static_cast<int>(y * 32767),
                      magnitude);
}

// ---- Commands -------------------------------------------------------------------------------

namespace {
// The joystick index a command names; -1 when it names none.
int JoyIndex(double i) {
  const long n = TruncToLong(i);
  return n >= 0 && n < platform::kMaxJoysticks ? static_cast<int>(n) : -1;
}

// The record of joystick i; false (record all zero) when it is not attached.
bool ReadJoy(double i, DIJOYSTATE* record) {
  *record = DIJOYSTATE{};
  return pDXin && pDXin->GetJoystickData(record, JoyIndex(i));
}

constexpr double kAxisScale = 0.000030517578125;  // 1 / 32768
}  // namespace

double KEY(double code) {
  if (!pDXin) return 0;
  pDXin->GetKeyboardStatus();
  return pDXin->IsKeyDown(static_cast<int>(TruncToLong(code) & 255)) ? 1 : 0;
}

double MOUSEAXIS(double n) {
  DIMOUSEDATA m;
  if (pDXin) pDXin->GetMouseData(&m);
  switch (TruncToLong(n)) {
    case 0: return m.dx;
    case 1: return m.dy;
    case 2: return m.dz;
    case 3: return m.button1 ? 1 : 0;
    case 4: return m.button2 ? 1 : 0;
    case 5: return m.button3 ? 1 : 0;
    default: return 0;
  }
}

void MOUSESTATE(double& x, double& y, double& b1, double& b2) {
  DIMOUSEDATA m;
  if (!pDXin) {
    x = y = b1 = b2 = 0;
    return;
  }
  pDXin->GetMouseData(&m);
  pDXin->trackedX = std::clamp(pDXin->trackedX, 0, std::max(Lumbo.displayWidth - 1, 0));
  pDXin->trackedY = std::clamp(pDXin->trackedY, 0, std::max(Lumbo.displayHeight - 1, 0));
  x = pDXin->trackedX;
  y = pDXin->trackedY;
  b1 = m.button1 ? 1 : 0;
  b2 = m.button2 ? 1 : 0;
}

void SETMOUSE(double x, double y) {
  if (!pDXin) return;
  pDXin->trackedX = To32(TruncToLong(x));
  pDXin->trackedY = To32(TruncToLong(y));
}

void SYSTEMPOINTER(double on) {
  if (pDXin) pDXin->SetSystemPointer(on != 0);
}

void JOYSTATE(double& x, double& y, double& b1, double& b2) {
  DIJOYSTATE j;
  ReadJoy(0, &j);
  x = j.lX / 30000;
  y = j.lY / 30000;
  b1 = j.rgbButtons[0];
  b2 = j.rgbButtons[1];
}

double GETJOYX(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lX * kAxisScale; }
double GETJOYY(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lY * kAxisScale; }
double GETJOYZ(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lZ * kAxisScale; }
double GETJOYRX(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lRx * kAxisScale; }
double GETJOYRY(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lRy * kAxisScale; }
double GETJOYRZ(double i) { DIJOYSTATE j; ReadJoy(i, &j); return j.lRz * kAxisScale; }

double GETDIGIX(double i) {
  DIJOYSTATE j;
  if (!ReadJoy(i, &j)) return 0;
  return j.rgdwPOV[0] == 9000 ? 1 : (j.rgdwPOV[0] == 27000 ? -1 : 0);
}

double GETDIGIY(double i) {
  DIJOYSTATE j;
  if (!ReadJoy(i, &j)) return 0;
  return j.rgdwPOV[0] == 0 ? -1 : (j.rgdwPOV[0] == 18000 ? 1 : 0);
}

double GETJOYBUTTON(double i, double b) {
  const long button = TruncToLong(b);
  if (button < 0 || button >= 32) return 0;
  DIJOYSTATE j;
  ReadJoy(i, &j);
  return j.rgbButtons[button];
}

double GETNUMJOYSTICKS() { return pDXin ? pDXin->GetNumJoysticks() : 0; }

DGStr GETJOYNAME_Str(double i) {
  if (!pDXin) return DGStr("");
  return DGStr(pDXin->GetJoyName(JoyIndex(i)).c_str());
}

void FORCEFEEDBACK(double i, double milliseconds, double x, double y) {
  if (pDXin)
    pDXin->ffRumble(JoyIndex(i), 1, static_cast<float>(milliseconds), static_cast<float>(x), static_cast<float>(y));
}

}  // namespace TAVELOR
