// A starting point for a game of your own: a window, and a frame loop that reads the mouse and
// draws. The left button leaves a mark where the pointer is, the right button wipes the marks,
// Escape or closing the window ends the program.
#include <tavelor/tavelor.h>

namespace __TAVELOR__ {
using namespace TAVELOR;

constexpr int kMaxMarks = 100;
DGIntArray marks;  // (k, 0..1): where mark k was left
double markCount = 0;

// One frame: read the mouse, change the game's state, draw everything, show it.
void __MainGameSub_() {
  LIMITFPS(60);
  DIM(marks, kMaxMarks, 2);
  double wasDown = 0;
  for (;;) {
    double x, y, left, right;
    MOUSESTATE(x, y, left, right);
    if (left && !wasDown && markCount < kMaxMarks) {
      marks(markCount, 0) = x;
      marks(markCount, 1) = y;
      markCount = markCount + 1;
    }
    wasDown = left;
    if (right) markCount = 0;

    double width, height;
    GETSCREENSIZE(width, height);
    FILLRECT(0, 0, width - 1, height - 1, 0x402010);
    for (int k = 0; k < markCount; ++k) FILLRECT(marks(k, 0) - 4, marks(k, 1) - 4, marks(k, 0) + 4, marks(k, 1) + 4, 0x00FFFF);
    DRAWLINE(x - 12, y, x + 12, y, 0xFFFFFF);
    DRAWLINE(x, y - 12, x, y + 12, 0xFFFFFF);
    PRINT(DGStr("Mouse at ") + x + ", " + y + "   left: mark, right: wipe, Escape: end", 8, 8);
    SHOWSCREEN();
  }
}
}  // namespace __TAVELOR__

// The process entry: the settings, then the game.
int main(int argc, char** argv) {
  TAVELOR::RunGame(argc, argv, {.width = 640, .height = 480, .frameRate = 60, .caption = "My Game"},
                   __TAVELOR__::__MainGameSub_);
}
