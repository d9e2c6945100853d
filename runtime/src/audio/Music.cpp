#include "audio/Music.h"

#include <tavelor/audio.h>

namespace TAVELOR {

// No music player exists before the music commands do: nothing to loop or stop.
void MusicLoopTick() {}
void STOPMUSIC() {}

}  // namespace TAVELOR
