// The frame pump SHOWSCREEN, the idle wait HIBERNATE and the timing commands.
#include <tavelor/frame.h>
#include <tavelor/scene3d.h>

#include "audio/Music.h"
#include "display/OpenGLLumenar.h"
#include "frame/ReplayFrames.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
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

void HIBERNATE() {
  for (int pass = 0; pass < 8; ++pass) {
    if (!Lumbo.WinMessages()) __EndProgram();
    PollInputForFrame();
    if (EscapeDown()) __EndProgram();
    if (pDXin) {
      for (int key = 0; key <= 254; ++key) {
        if (pDXin->IsKeyDown(key)) return;
      }
    }
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
