// Sound effects, music and video.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Stops the music that PLAYMUSIC started, if any.
void STOPMUSIC();

}  // namespace TAVELOR
