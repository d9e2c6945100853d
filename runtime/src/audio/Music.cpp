#include "audio/Music.h"

#include <string>

#include <tavelor/audio.h>

#include "platform/audio.h"
#include "storage/ResolveArchivePath.h"

namespace TAVELOR {

double PLAYMUSIC(DGStr file) {
  STOPMUSIC();
  const std::string path = ResolveMediaPath(file.c_str());
  if (path.empty()) return 3;
  // A file the mixer cannot play (or no sound device) plays nothing, yet counts as started.
  platform::OpenMusic(path.c_str());
  return 0;
}

void STOPMUSIC() { platform::CloseMusic(); }

// The mixer loops the music by itself; this restarts music that stopped anyway (a decoder
// that gave up at the end of a damaged file).
void MusicLoopTick() {
  if (platform::MusicOpen() && !platform::MusicPlaying()) platform::RestartMusic();
}

}  // namespace TAVELOR
