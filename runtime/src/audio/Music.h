// Music playback as the frame pump sees it.
#pragma once

namespace TAVELOR {

// Restarts background music that reached its end (called once per frame).
void MusicLoopTick();

}  // namespace TAVELOR
