// Text entry and waits: INKEY_Str, INPUT, KEYWAIT, MOUSEWAIT.
#include <cmath>

#include <tavelor/frame.h>
#include <tavelor/input.h>

#include "display/OpenGLLumenar.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"

namespace TAVELOR {

namespace {
constexpr int kEntrySurface = 3;
constexpr int kBlinkFrames = 20;  // the cursor changes when the counter exceeds this
}  // namespace

DGStr INKEY_Str() {
  const int c = pDXin ? pDXin->GetKeyChar() : 0;
  if (c == 0) return DGStr("");
  const char text[2] = {static_cast<char>(c), 0};
  return DGStr(text);
}

void INPUT(DGStr& text, double x, double y) {
  if (!pDXin) return;
  Lumbo.GrabSurface(kEntrySurface);
  Lumbo.PasteSurface(kEntrySurface);
  Lumbo.Text2D(__nCurFont, text.c_str(), static_cast<float>(x), static_cast<float>(y), 0);
  SHOWSCREEN();
  const float px = static_cast<float>(std::trunc(x));
  const float py = static_cast<float>(std::trunc(y));
  int blink = 0;
  bool cursor = false;
  for (;;) {
    const int c = pDXin->GetKeyChar();
    if (c == 0) {
      if (++blink > kBlinkFrames) {
        blink = 0;
        cursor = !cursor;
      }
    } else if (c == 10) {
      Lumbo.FreeSurface(kEntrySurface);
      return;
    } else if (c == 8) {
      if (text.Len() > 0) text.Left(static_cast<long>(text.Len()) - 1);
    } else {
      const char ch = static_cast<char>(c);
      text.Append(&ch, 1);
    }
    // The screen as it was when the entry began, the text and the cursor on top.
    Lumbo.PasteSurface(kEntrySurface);
    DGStr shown = text;
    if (cursor) shown += "_";
    Lumbo.Text2D(__nCurFont, shown.c_str(), px, py, 0);
    SHOWSCREEN();
  }
}

void INPUT(double& value, double x, double y) {
  DGStr text;
  INPUT(text, x, y);
  value = text.Number();
}

double KEYWAIT() {
  if (!pDXin) return 0;
  for (;;) {
    if (pDXin->AnyKey()) break;
    if (!Lumbo.WinMessages()) __EndProgram();  // a close request ends the program here
    HIBERNATE();
    // A key tapped while the wait slept is in the state HIBERNATE read last.
    if (pDXin->TakeKeyChar() != 0) break;
  }
  while (pDXin && pDXin->AnyKey()) {
  }
  return 0;
}

double MOUSEWAIT() {
  if (!pDXin) return 0;
  // A button still held from before has to be let go first.
  while (pDXin->AnyMouse()) Lumbo.WinMessages();
  while (!pDXin->AnyMouse()) {
    HIBERNATE();
    if (HibernateSawButton()) break;  // a click shorter than the nap, read by HIBERNATE
  }
  return 0;
}

}  // namespace TAVELOR
