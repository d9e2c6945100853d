// The frame pump SHOWSCREEN, the idle wait HIBERNATE and the timing commands.
#include <tavelor/frame.h>
#include <tavelor/input.h>
#include <tavelor/scene3d.h>

#include <algorithm>
#include <cstdint>

#include "audio/Music.h"
#include "display/OpenGLLumenar.h"
#include "frame/ReplayFrames.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "platform/replay.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {
[[noreturn]] void NormalEnd() {
  __g_error = 0;
  __g_errorline = __g_debugline;
  __EndProgram();
}

bool EscapeDown() { return pDXin && pDXin->IsKeyDown(1); }
bool AltF4Down() { return pDXin && pDXin->IsKeyDown(56) && pDXin->IsKeyDown(62); }

// The mouse reading (x, y, buttons 1 and 2) of the previous HIBERNATE; 0 at start, so the
// first call returns at once unless the mouse is at (0, 0) with no button down.
double g_hibernateMouse[4] = {};
bool g_hibernateButton = false;

bool MouseChangedSinceLastHibernate() {
  double now[4];
  MOUSESTATE(now[0], now[1], now[2], now[3]);
  g_hibernateButton = now[2] != 0 || now[3] != 0;
  if (std::equal(now, now + 4, g_hibernateMouse)) return false;
  std::copy(now, now + 4, g_hibernateMouse);
  return true;
}

// A button down, the x, y or z axis off centre, or the hat pointing along an axis.
bool JoystickOffCentre() {
  if (!pDXin) return false;
  for (int j = pDXin->GetNumJoysticks() - 1; j >= 0; --j) {
    DIJOYSTATE s;
    if (!pDXin->GetJoystickData(&s, j)) continue;
    if (std::any_of(s.rgbButtons, s.rgbButtons + 32, [](unsigned char b) { return b != 0; })) return true;
    const std::uint32_t pov = s.rgdwPOV[0];
    if (s.lX != 0 || s.lY != 0 || s.lZ != 0 || pov == 0 || pov == 9000 || pov == 18000 || pov == 27000) return true;
  }
  return false;
}
}  // namespace

void PollInputForFrame() {
  if (!pDXin) return;
  pDXin->GetKeyboardStatus();
  platform::ClearKeyTaps();
  pDXin->mouseRefresh = 1;
}

void SHOWSCREEN() {
  platform::replay::FrameEnding();  // a scripted session's clock moves on to the next frame here
  __g_LastTime = __g_ThisTime;
  __g_ThisTime = static_cast<double>(Lumbo.AccurateTime());
  MusicLoopTick();
  while (__g_paused) {
    if (!Lumbo.WinMessages()) NormalEnd();
    if (!__g_paused) break;
    platform::SleepMs(100);
  }
  PollInputForFrame();
  platform::DropMouseTaps();  // a short click is kept for the frame after it only
  if (EscapeDown() || AltF4Down()) NormalEnd();
  ReplayFrameShown();  // a recording's frame ends here
  if (Lumbo.FlipScreens() == 0) NormalEnd();  // ends the sprite run too
  if (Lumbo.hasContext) {
    glEnable(GL_BLEND);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
  }
  Lumbo.currentAlpha = 1.0f;
  Lumbo.PasteSurface(0);
  Lumbo.Make2DViewport(0, 0, 0, 0);
  X_MIPMAPPING(0);
}

bool HibernateSawButton() { return g_hibernateButton; }

void HIBERNATE() {
  g_hibernateButton = false;
  for (int pass = 0; pass < 8; ++pass) {
    if (!Lumbo.WinMessages()) __EndProgram();
    PollInputForFrame();
    if (EscapeDown()) __EndProgram();
    if (pDXin) {
      for (int key = 0; key <= 254; ++key) {
        if (pDXin->IsKeyDown(key)) return;
      }
    }
    if (MouseChangedSinceLastHibernate() || JoystickOffCentre()) return;
    platform::SleepMs(30);
  }
}

void LIMITFPS(double fps) { Lumbo.SetMaxFPS(TruncToInt(fps)); }

double GETTIMER() {
  double t = static_cast<double>(Lumbo.AccurateTime()) - __g_LastTime;
  return t <= 0 ? 1 : t;
}

double GETTIMERALL() { return static_cast<double>(Lumbo.AccurateTime()) - __g_FirstTime; }

}  // namespace TAVELOR
