// SFXSound: the sound device; SFXSoundBuffer: one of the 128 sound slots, holding a loaded
// wave with 1 to 4 copies that can play at the same time.
#pragma once

#include <tavelor/wintypes.h>

namespace TAVELOR {

namespace platform {
struct SoundChunk;
}

class SFXSound {
 public:
  // Device format: 22,050 samples per second, 16 bits, stereo.
  static constexpr int kRate = 22050;
  static constexpr int kChannels = 2;

  SFXSound() = default;
  ~SFXSound();
  SFXSound(const SFXSound&) = delete;
  SFXSound& operator=(const SFXSound&) = delete;
  // Opens the sound device for the window; false when there is none (the game then runs
  // silently, as on a machine without a sound card).
  bool Create(HWND window);
  bool IsOpen() const { return open_; }

  // Mixer channels for one slot's copies; -1 without a device. Given back with
  // ReleaseChannels.
  int ClaimChannels();
  void ReleaseChannels(int first);

 private:
  bool open_ = false;
  unsigned char* blocksUsed_ = nullptr;  // one flag per block of kMaxCopies channels
  int blocks_ = 0;
};

class SFXSoundBuffer {
 public:
  static constexpr int kMaxCopies = 4;

  SFXSoundBuffer() = default;
  ~SFXSoundBuffer();
  SFXSoundBuffer(const SFXSoundBuffer&) = delete;
  SFXSoundBuffer& operator=(const SFXSoundBuffer&) = delete;

  // Stops and empties the slot, then loads the wave file with copies (clamped to 1..4)
  // copies. False when the device is missing or the file cannot be read; the slot is then
  // empty.
  bool Load(SFXSound* device, const char* file, int copies);
  // Plays the next free copy with pan -1 (left) .. 1 (right) and volume 0 .. 1. A single
  // copy that is still playing is not restarted; with more copies, a play that finds every
  // copy busy restarts the oldest one. True when a copy started.
  bool Play(double pan, double volume);
  // Stops every copy.
  void Stop();

  bool IsLoaded() const { return count_ > 0 && device_ && device_->IsOpen() && chunk_; }
  int Copies() const { return count_; }
  int CurrentCopy() const { return current_; }
  const char* FileName() const { return fileName_; }

 private:
  // The copy to play next, or -1 (see Play).
  int GetFreeBuffer();
  void Release();

  int count_ = 0;
  int current_ = 0;
  char* fileName_ = nullptr;
  SFXSound* device_ = nullptr;
  platform::SoundChunk* chunk_ = nullptr;  // shared by all copies
  int firstChannel_ = -1;                  // copy i plays on mixer channel firstChannel_ + i
};

// Gains of the left and right output for pan -1..1 and volume 0..1: equal-power panning
// (cos and sin of (pan + 1) x 45 degrees) times the volume squared.
void SoundGains(double pan, double volume, float* left, float* right);

}  // namespace TAVELOR
