// Mouse and joysticks on SDL2: relative mouse mode for the game-owned mouse, the joystick
// API for up to ten devices and the haptic API (or the device's rumble) for force feedback.
#include "platform/input_sdl.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "platform/live.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace TAVELOR::platform {

namespace {

// Mouse events summed between two reads. Buttons remember a press until the next read or
// the end of the frame that follows it, so a click shorter than a frame is not lost, and one
// made while the game reads no mouse is not reported later.
struct MouseSums {
  int dx = 0, dy = 0, wheel = 0;
  bool pressed[3] = {};
};
MouseSums g_mouse;

int ButtonIndex(Uint8 button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    default: return -1;
  }
}

// Takes the mouse events waiting in SDL's queue, leaving every other event in place.
void DrainMouseEvents() {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
  SDL_PumpEvents();
  SDL_Event events[64];
  int n = 0;
  while ((n = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEWHEEL)) > 0) {
    for (int i = 0; i < n; ++i) NoteMouseEvent(events[i]);
  }
}

struct Pad {
  SDL_Joystick* joystick = nullptr;
  SDL_JoystickID id = -1;
  std::string name;
  SDL_Haptic* haptic = nullptr;
  bool hapticTried = false;
  int effect = -1;
};
std::vector<Pad> g_pads;

void ClosePad(Pad& pad) {
  if (pad.haptic) {
    if (pad.effect >= 0) SDL_HapticDestroyEffect(pad.haptic, pad.effect);
    SDL_HapticClose(pad.haptic);
  }
  if (pad.joystick) SDL_JoystickClose(pad.joystick);
  pad = Pad{};
}

std::uint32_t HatToPov(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFFFFFFu;
  }
}

Uint32 Milliseconds(double ms) {
  if (!(ms >= 1)) return 0;
  return ms >= 4294967294.0 ? 4294967294u : static_cast<Uint32>(ms);
}

}  // namespace

// ---- Mouse ----------------------------------------------------------------------------------

void NoteMouseEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_MOUSEMOTION:
      g_mouse.dx += e.motion.xrel;
      g_mouse.dy += e.motion.yrel;
      break;
    case SDL_MOUSEWHEEL:
      g_mouse.wheel += e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      break;
    case SDL_MOUSEBUTTONDOWN: {
      int i = ButtonIndex(e.button.button);
      if (i >= 0) g_mouse.pressed[i] = true;
      break;
    }
    default: break;
  }
}

bool live::HasPointer() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

namespace {
bool g_refuseRelative = false;
bool g_refuseJoysticks = false;

int SetRelativeMode(bool on) {
  if (on && g_refuseRelative) return SDL_SetError("relative mouse mode refused");
  return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE);
}
}  // namespace

void RefuseDevices(bool relativeMouse, bool joysticks) {
  g_refuseRelative = relativeMouse;
  g_refuseJoysticks = joysticks;
}

bool live::SetRelativeMouse(bool on) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  DrainMouseEvents();
  g_mouse = MouseSums{};
  if (SetRelativeMode(on) != 0) {
    // Some window systems have relative mode only through SDL's pointer warping.
    if (!on) return false;
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, "1");
    if (SetRelativeMode(true) != 0) {
      SDL_ResetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP);
      return false;
    }
  }
  if (!on) SDL_ShowCursor(SDL_ENABLE);
  // Motion of the switch itself (the pointer being recentred or released) is not the user's.
  DrainMouseEvents();
  g_mouse.dx = g_mouse.dy = 0;
  return true;
}

void WarpMouse(WindowHandle window, int x, int y) {
  if (window) SDL_WarpMouseInWindow(static_cast<SDL_Window*>(window), x, y);
}

void live::ReadMouse(WindowHandle window, bool takeMotion, MouseSample* out) {
  *out = MouseSample{};
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  DrainMouseEvents();
  const Uint32 live = SDL_GetMouseState(nullptr, nullptr);
  const Uint32 masks[3] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK};
  for (int i = 0; i < 3; ++i) {
    out->buttons[i] = (live & masks[i]) != 0 || g_mouse.pressed[i];
    g_mouse.pressed[i] = false;
  }
  // Over the window, the position its motion events gave; elsewhere the desktop position
  // (which SDL refreshes from raw device motion only) made relative to the client area.
  SDL_Window* w = static_cast<SDL_Window*>(window);
  if (w && SDL_GetMouseFocus() == w) {
    SDL_GetMouseState(&out->x, &out->y);
  } else {
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    if (w) SDL_GetWindowPosition(w, &wx, &wy);
    out->x = gx - wx;
    out->y = gy - wy;
  }
  if (takeMotion) {
    out->dx = g_mouse.dx;
    out->dy = g_mouse.dy;
    out->wheel = g_mouse.wheel;
    g_mouse.dx = g_mouse.dy = g_mouse.wheel = 0;
  }
}

void DropMouseTaps() {
  for (bool& pressed : g_mouse.pressed) pressed = false;
}

// ---- Joysticks ------------------------------------------------------------------------------

bool live::JoystickInit() {
  // The runtime reads joysticks itself, whether or not its window has the focus.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (g_refuseJoysticks || SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
  SDL_InitSubSystem(SDL_INIT_HAPTIC);  // without it force feedback falls back to rumble
  JoystickSync();
  return true;
}

void JoystickShutdown() {
  for (Pad& pad : g_pads) ClosePad(pad);
  g_pads.clear();
}

int live::JoystickSync() {
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return 0;
  SDL_JoystickUpdate();
  for (Pad& pad : g_pads) {
    if (!SDL_JoystickGetAttached(pad.joystick)) ClosePad(pad);
  }
  std::erase_if(g_pads, [](const Pad& p) { return p.joystick == nullptr; });
  const int attached = SDL_NumJoysticks();
  for (int i = 0; i < attached && static_cast<int>(g_pads.size()) < kMaxJoysticks; ++i) {
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    if (id < 0 || std::any_of(g_pads.begin(), g_pads.end(), [id](const Pad& p) { return p.id == id; })) continue;
    Pad pad;
    pad.joystick = SDL_JoystickOpen(i);
    if (!pad.joystick) continue;
    pad.id = id;
    const char* name = SDL_JoystickName(pad.joystick);
    // The device's one name serves as both its instance name and its product name.
    pad.name = std::string(name ? name : "") + ", " + (name ? name : "");
    g_pads.push_back(std::move(pad));
  }
  return static_cast<int>(g_pads.size());
}

std::string live::JoystickName(int index) {
  if (index < 0 || index >= static_cast<int>(g_pads.size())) return std::string();
  return g_pads[static_cast<std::size_t>(index)].name;
}

bool live::ReadJoystick(int index, JoystickSample* out) {
  *out = JoystickSample{};
  if (index < 0 || index >= static_cast<int>(g_pads.size())) return false;
  SDL_Joystick* j = g_pads[static_cast<std::size_t>(index)].joystick;
  const int axes = std::min(SDL_JoystickNumAxes(j), 6);
  for (int a = 0; a < axes; ++a) out->axes[a] = SDL_JoystickGetAxis(j, a);
  if (SDL_JoystickNumHats(j) > 0) out->pov = HatToPov(SDL_JoystickGetHat(j, 0));
  const int buttons = std::min(SDL_JoystickNumButtons(j), 32);
  for (int b = 0; b < buttons; ++b) out->buttons[b] = SDL_JoystickGetButton(j, b) != 0;
  return true;
}

bool PlayForce(int index, int iterations, double milliseconds, int dirX, int dirY, int magnitude) {
  if (index < 0 || index >= static_cast<int>(g_pads.size())) return false;
  Pad& pad = g_pads[static_cast<std::size_t>(index)];
  magnitude = std::clamp(magnitude, 0, 10000);
  const Uint32 length = Milliseconds(milliseconds);
  if (!pad.hapticTried) {
    pad.hapticTried = true;
    if (SDL_WasInit(SDL_INIT_HAPTIC) && SDL_JoystickIsHaptic(pad.joystick) == 1)
      pad.haptic = SDL_HapticOpenFromJoystick(pad.joystick);
  }
  if (pad.haptic && (SDL_HapticQuery(pad.haptic) & SDL_HAPTIC_CONSTANT)) {
    SDL_HapticStopAll(pad.haptic);
    // The effect lives until the next force replaces it: destroying it would stop it.
    if (pad.effect >= 0) SDL_HapticDestroyEffect(pad.haptic, pad.effect);
    pad.effect = -1;
    SDL_HapticEffect effect;
    std::memset(&effect, 0, sizeof effect);
    effect.type = SDL_HAPTIC_CONSTANT;
    effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    effect.constant.direction.dir[0] = dirX;
    effect.constant.direction.dir[1] = dirY;
    effect.constant.length = length;
    effect.constant.level = static_cast<Sint16>(magnitude * 32767 / 10000);
    if (SDL_HapticQuery(pad.haptic) & SDL_HAPTIC_GAIN) SDL_HapticSetGain(pad.haptic, 100);
    if (length == 0) return true;
    pad.effect = SDL_HapticNewEffect(pad.haptic, &effect);
    if (pad.effect >= 0) SDL_HapticRunEffect(pad.haptic, pad.effect, static_cast<Uint32>(std::max(iterations, 1)));
    return true;
  }
  if (SDL_JoystickHasRumble(pad.joystick)) {
    // Both motors at the force's strength. A zero duration stops the rumble (SDL would
    // otherwise keep it running without end).
    const Uint16 strength = length == 0 ? 0 : static_cast<Uint16>(magnitude * 65535 / 10000);
    SDL_JoystickRumble(pad.joystick, strength, strength, length);
    return true;
  }
  return false;
}

}  // namespace TAVELOR::platform
