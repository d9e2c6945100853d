// A click shorter than a frame: seen once by the frame that follows it, and dropped when that
// frame passes without reading the mouse (the game reads none while she somersaults).
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <tavelor/tavelor.h>

#include "display/DisplaySupport.h"
#include "frame/Runtime.h"

using namespace TAVELOR;

namespace {

void Click() {
  for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
    SDL_Event e{};
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
  }
}

TEST(MouseTap, SeenByTheNextFrameOnlyReadOrNot) {
  display_test::EnsureDisplay();
  LIMITFPS(1000);
  SHOWSCREEN();
  MOUSEAXIS(3);  // nothing left over from earlier tests
  struct Case {
    int framesUnread;  // frames after the click's that pass without a mouse read
    double first, second;  // the next two reads of the left button
  };
  for (const Case c : {Case{0, 1, 0}, Case{1, 0, 0}, Case{3, 0, 0}}) {
    Click();
    SHOWSCREEN();  // the click arrives while this frame is shown
    for (int k = 0; k < c.framesUnread; ++k) SHOWSCREEN();
    EXPECT_EQ(MOUSEAXIS(3), c.first) << c.framesUnread;
    EXPECT_EQ(MOUSEAXIS(3), c.second) << c.framesUnread;
    SHOWSCREEN();
  }
}

}  // namespace
