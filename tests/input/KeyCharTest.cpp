// Characters of key presses: one per press, the lower key code first, the Shift rules; the
// mouse where relative mode is refused, and a click shorter than a frame.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <tavelor/tavelor.h>

#include "display/DisplaySupport.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/input.h"

using namespace TAVELOR;

namespace {

// The character of the keys pressed since the last release (the frame's tap memory).
int Press(const std::vector<int>& codes) {
  for (int code : codes) platform::PushKeyEvent(__hWnd, code, true);
  Lumbo.WinMessages();
  return pDXin->GetKeyChar();
}
void ReleaseAll() {
  platform::ClearKeyTaps();
  EXPECT_EQ(pDXin->GetKeyChar(), 0);
}

void PushMouse(SDL_EventType type, std::uint8_t button = SDL_BUTTON_LEFT) {
  SDL_Event e{};
  e.type = type;
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONUP ? SDL_RELEASED : SDL_PRESSED;
  if (type == SDL_MOUSEMOTION) e.motion.xrel = 5, e.motion.yrel = -3;
  if (type == SDL_MOUSEWHEEL) e.wheel.y = -2;
  SDL_PushEvent(&e);
}

TEST(KeyChar, OnePerPressLowestCodeFirstAndShiftRules) {
  display_test::EnsureDisplay();
  ReleaseAll();
  EXPECT_STREQ(INKEY_Str().c_str(), "");
  EXPECT_EQ(Press({30}), 'a');
  EXPECT_EQ(pDXin->GetKeyChar(), 0);  // still held
  EXPECT_EQ(Press({48}), 0);          // B while A is held: A is found first and repeats
  ReleaseAll();
  // Either Shift capitalises letters only: Return, Backspace, Space and digits read the same.
  const std::pair<std::vector<int>, int> cases[] = {
      {{42, 30}, 'A'}, {{54, 30}, 'A'}, {{54, 2}, '1'}, {{42, 2}, '1'}, {{42, 14}, 8},  {{42, 28}, 10}, {{54, 156}, 10},
      {{42, 57}, ' '}, {{28}, 10},      {{156}, 10},    {{14}, 8},      {{1}, 0},       {{57}, ' '},    {{52}, '.'}};
  for (const auto& [keys, expected] : cases) {
    EXPECT_EQ(Press(keys), expected) << keys.front() << " " << keys.back();
    ReleaseAll();
  }
  platform::PushKeyEvent(__hWnd, 2, true);
  Lumbo.WinMessages();
  EXPECT_STREQ(INKEY_Str().c_str(), "1");
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
  for (int round = 0; round < 2; ++round) {
    for (SDL_EventType type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEWHEEL}) PushMouse(type, SDL_BUTTON_RIGHT);
    input.mouseRefresh = 1;
    EXPECT_TRUE(input.GetMouseData(&m));
    EXPECT_EQ(std::vector<long>({m.dx, m.dy, m.dz, m.button1, m.button2}), std::vector<long>({5, -3, -1, 0, 1}));
  }
  platform::RefuseDevices(false, false);
}

// A click shorter than a frame: seen once by the frame that follows it, and dropped when that
// frame passes without reading the mouse (the game reads none while she somersaults).
TEST(Mouse, ShortClickSeenByTheNextFrameOnlyReadOrNot) {
  display_test::EnsureDisplay();
  LIMITFPS(1000);
  SHOWSCREEN();
  MOUSEAXIS(3);  // nothing left over from earlier tests
  // Frames after the click's that pass without a mouse read; the next two reads of the button.
  for (auto [framesUnread, first] : {std::pair{0, 1}, {1, 0}, {3, 0}}) {
    PushMouse(SDL_MOUSEBUTTONDOWN);
    PushMouse(SDL_MOUSEBUTTONUP);
    SHOWSCREEN();  // the click arrives while this frame is shown
    for (int k = 0; k < framesUnread; ++k) SHOWSCREEN();
    EXPECT_EQ(MOUSEAXIS(3), first) << framesUnread;
    EXPECT_EQ(MOUSEAXIS(3), 0) << framesUnread;
    SHOWSCREEN();
  }
}

}  // namespace
