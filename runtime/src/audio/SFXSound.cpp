#include "audio/SFXSound.h"

namespace TAVELOR {

// The mixer device arrives with the sound-effects commands; until then the runtime has no
// sound device and runs silently, as on a machine without a sound card.
bool SFXSound::Create(HWND) {
  open_ = false;
  return open_;
}

}  // namespace TAVELOR
