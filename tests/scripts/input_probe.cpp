// A small program the input script drives under Xvfb: it reports what the input commands
// return, one line per event, on standard output.
#include <cstdio>
#include <cstring>

#include <tavelor/tavelor.h>

using namespace TAVELOR;

namespace {

void MouseMode() {
  // Every frame with something to report gives one line; the script sums and compares.
  for (int frame = 0;; ++frame) {
    const double dx = MOUSEAXIS(0), dx2 = MOUSEAXIS(0), dy = MOUSEAXIS(1), dz = MOUSEAXIS(2);
    const double b1 = MOUSEAXIS(3), b2 = MOUSEAXIS(4);
    double x = 0, y = 0, s1 = 0, s2 = 0;
    MOUSESTATE(x, y, s1, s2);
    const double escape = KEY(1), escape256 = KEY(257);
    if (dx != 0 || dy != 0 || dz != 0 || b1 != 0 || b2 != 0 || escape != 0)
      std::printf("frame %d dx %g dx2 %g dy %g dz %g b1 %g b2 %g x %g y %g esc %g esc257 %g\n", frame, dx, dx2, dy,
                  dz, b1, b2, x, y, escape, escape256);
    if (KEY(57)) std::printf("state %g %g\n", x, y);
    SHOWSCREEN();
  }
}

void PointerMode() {
  SYSTEMPOINTER(1);
  double lastX = -1, lastY = -1;
  for (;;) {
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
  DGStr text = "abc";
  INPUT(text, 10, 30);
  std::printf("text [%s]\n", text.c_str());
  DGStr held;
  INPUT(held, 10, 50);
  std::printf("held [%s]\n", held.c_str());
  std::printf("keywait\n");
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
  std::printf("ready\n");
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "mouse") == 0) MouseMode();
  if (std::strcmp(mode, "pointer") == 0) PointerMode();
  if (std::strcmp(mode, "text") == 0) TextMode();
  if (std::strcmp(mode, "mousewait") == 0) MouseWaitMode();
  __EndProgram();
}
