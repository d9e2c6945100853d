// Characters of key presses: one per press, the lower key code first, the Shift rules; the
// mouse where relative mode is refused.
#include <SDL2/SDL.h>

#include "display/DisplaySupport.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/input.h"

using namespace TAVELOR;

namespace {

// Keys pressed since the last release read as held (the frame's tap memory).
void Press(std::initializer_list<int> codes) {
  for (int code : codes) platform::PushKeyEvent(__hWnd, code, true);
  Lumbo.WinMessages();
}
void ReleaseAll() {
  platform::ClearKeyTaps();
  EXPECT_EQ(pDXin->GetKeyChar(), 0);
}

TEST(KeyChar, OnePerPressLowestCodeFirstAndShiftRules) {
  display_test::EnsureDisplay();
  ReleaseAll();
  EXPECT_EQ(std::string(INKEY_Str().c_str()), "");

  Press({30});  // A
  EXPECT_EQ(pDXin->GetKeyChar(), 'a');
  EXPECT_EQ(pDXin->GetKeyChar(), 0);  // still held
  Press({48});                        // B while A is held: A is found first and repeats
  EXPECT_EQ(pDXin->GetKeyChar(), 0);
  ReleaseAll();

  struct Case {
    std::initializer_list<int> keys;
    int expected;
  };
  // Either Shift capitalises letters only: Return, Backspace, Space and digits read the same.
  for (Case c : {Case{{42, 30}, 'A'}, Case{{54, 30}, 'A'}, Case{{54, 2}, '1'}, Case{{42, 2}, '1'},
                 Case{{42, 14}, 8}, Case{{42, 28}, 10}, Case{{54, 156}, 10}, Case{{42, 57}, ' '},
                 Case{{28}, 10}, Case{{156}, 10}, Case{{14}, 8}, Case{{1}, 0}, Case{{57}, ' '}, Case{{52}, '.'}}) {
    Press(c.keys);
    EXPECT_EQ(pDXin->GetKeyChar(), c.expected) << *c.keys.begin();
    ReleaseAll();
  }
  Press({2});
  EXPECT_EQ(std::string(INKEY_Str().c_str()), "1");
  ReleaseAll();
}

// Where the window system refuses relative mouse mode the mouse still works: motion from
// the pointer's events, buttons and wheel, every read (not an all-zero record).
TEST(Mouse, RefusedRelativeModeFallsBackToThePointer) {
  display_test::EnsureDisplay();
  platform::RefuseDevices(true, false);
  DXInput input;
  input.window = __hWnd;
  input.hasMouse = true;  // as with a driver that has a pointer
  DIMOUSEDATA m;
  input.GetMouseData(&m);  // the first read asks for relative mode
  const SDL_EventType types[] = {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEWHEEL};
  for (int round = 0; round < 2; ++round) {
    for (SDL_EventType type : types) {
      SDL_Event e{};
      e.type = type;
      if (type == SDL_MOUSEMOTION) e.motion.xrel = 5, e.motion.yrel = -3;
      if (type == SDL_MOUSEBUTTONDOWN) e.button.button = SDL_BUTTON_RIGHT;
      if (type == SDL_MOUSEWHEEL) e.wheel.y = -2;
      SDL_PushEvent(&e);
    }
    input.mouseRefresh = 1;
    EXPECT_TRUE(input.GetMouseData(&m));
    EXPECT_EQ(m.dx, 5);
    EXPECT_EQ(m.dy, -3);
    EXPECT_EQ(m.dz, -1);
    EXPECT_EQ(m.button2, 1);
    EXPECT_EQ(m.button1, 0);
  }
  platform::RefuseDevices(false, false);
}

}  // namespace
