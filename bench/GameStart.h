// Starts the runtime headless at 640 x 480 the way Hollerquast does, then moves into the game's
// build folder so its generated media load; false (with a message) where that folder is missing.
#pragma once
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "Hollerquast.h"

inline bool StartGameHeadless(const char* bench) {
  using namespace TAVELOR;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  __DG_RESX = 640;
  __DG_RESY = 480;
  static char cmdline[4] = {0};
  __GlobalInit(nullptr, nullptr, cmdline, 1, "Hollerquast");
  if (chdir(TAVELOR_GAME_DIR) != 0) {
    std::fprintf(stderr, "%s: no game directory %s\n", bench, TAVELOR_GAME_DIR);
    return false;
  }
  return true;
}
