// Sound effects the mixer decodes (OGG Vorbis, FLAC, MP3), recognised by content and
// decoded into a chunk on the dummy sound device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "audio/WaveFile.h"
#include "platform/audio.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool open = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return platform::OpenSoundDevice(22050, 2, 1024);
  }();
  if (!open || !IsEncodedSound(data, size)) return 0;
  platform::SoundChunk* chunk = platform::DecodeSoundChunk(data, size);
  if (chunk && platform::SoundChunkFrames(chunk) == 0) __builtin_trap();
  platform::DestroySoundChunk(chunk);
  return 0;
}
