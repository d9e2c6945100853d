// A small program the input check drives under Xvfb: what the input commands return, one line
// per event on standard output. The mode (first argument) picks the commands.
#include <cstdio>
#include <string>

#include <tavelor/tavelor.h>

using namespace TAVELOR;

namespace {

// The game owns the mouse: a line for every frame with something to report.
void MouseMode() {
  for (;;) {
    const double dx = MOUSEAXIS(0), dx2 = MOUSEAXIS(0), dy = MOUSEAXIS(1), dz = MOUSEAXIS(2), b1 = MOUSEAXIS(3);
    double x = 0, y = 0, s1 = 0, s2 = 0;
    MOUSESTATE(x, y, s1, s2);
    if (dx != 0 || dy != 0 || dz != 0 || b1 != 0 || KEY(1) != 0)
      std::printf("m %g %g %g %g %g %g %g\n", dx, dx2, dy, dz, b1, KEY(1), KEY(257));
    if (KEY(57)) std::printf("state %g %g\n", x, y);
    SHOWSCREEN();
  }
}

void PointerMode() {
  SYSTEMPOINTER(1);
  for (double lastX = -1, lastY = -1;;) {
    double x = 0, y = 0, b1 = 0, b2 = 0;
    MOUSESTATE(x, y, b1, b2);
    if (x != lastX || y != lastY) std::printf("pos %g %g\n", x, y);
    lastX = x;
    lastY = y;
    SHOWSCREEN();
  }
}

void TextMode() {
  double value = 0;
  INPUT(value, 10, 10);
  std::printf("value %g\n", value);
  DGStr text = "abc", held;
  INPUT(text, 10, 30);
  INPUT(held, 10, 50);
  std::printf("text [%s]\nheld [%s]\nkeywait\n", text.c_str(), held.c_str());
  KEYWAIT();
  std::printf("key\n");
  KEYWAIT();
  std::printf("not closed\n");
}

void MouseWaitMode() {
  while (MOUSEAXIS(3) == 0) SHOWSCREEN();
  std::printf("held\n");
  MOUSEWAIT();
  std::printf("done\n");
  END();
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  __DG_RESX = 640;
  __DG_RESY = 480;
  __g_cmdline = JoinCommandLine(argc, argv);
  __GlobalInit(nullptr, nullptr, __g_cmdline.c_str(), 1, "Input Probe");
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "mouse") MouseMode();
  if (mode == "pointer") PointerMode();
  if (mode == "text") TextMode();
  if (mode == "mousewait") MouseWaitMode();
  __EndProgram();
}
