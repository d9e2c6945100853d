// SFXSound: the sound device; SFXSoundBuffer: one of the 128 sound slots.
#pragma once

#include <tavelor/wintypes.h>

namespace TAVELOR {

class SFXSound {
 public:
  SFXSound() = default;
  ~SFXSound() = default;
  SFXSound(const SFXSound&) = delete;
  SFXSound& operator=(const SFXSound&) = delete;
  // Opens the sound device for the window; false when there is none (the game then runs
  // silently).
  bool Create(HWND window);
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
};

class SFXSoundBuffer {
 public:
  SFXSoundBuffer() = default;
  ~SFXSoundBuffer() = default;
  SFXSoundBuffer(const SFXSoundBuffer&) = delete;
  SFXSoundBuffer& operator=(const SFXSoundBuffer&) = delete;
};

}  // namespace TAVELOR
