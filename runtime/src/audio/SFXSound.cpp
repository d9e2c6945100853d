#include "audio/SFXSound.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <tavelor/audio.h>

#include "audio/WaveFile.h"
#include "frame/Runtime.h"
#include "platform/audio.h"
#include "storage/ResolveArchivePath.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {

// About 46 ms of latency: short enough for effects, long enough not to run dry on a busy
// machine.
constexpr int kBufferFrames = 1024;

// Sound files larger than this are refused (about 100 minutes of CD-quality stereo).
constexpr std::size_t kMaxWaveFile = std::size_t{1} << 30;

bool ReadWholeFile(const char* path, std::vector<unsigned char>* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  unsigned char block[65536];
  std::size_t n = 0;
  bool ok = true;
  while (ok && (n = std::fread(block, 1, sizeof block, f)) > 0) {
    ok = out->size() + n <= kMaxWaveFile;
    if (ok) out->insert(out->end(), block, block + n);
  }
  ok = ok && !std::ferror(f);
  std::fclose(f);
  return ok;
}

// The slot a command's id names: ids above 127 mean 127, ids below 0 none (-1).
int SlotIndex(double id) {
  const int slot = TruncToInt(id);
  if (slot < 0) return -1;
  return slot >= kSoundSlots ? kSoundSlots - 1 : slot;
}

// The chunk of a wave file's samples; null when the mixer cannot take them.
platform::SoundChunk* WaveChunk(const std::vector<unsigned char>& bytes, const WaveLayout& wave) {
  const unsigned char* samples = bytes.data() + wave.dataOffset;
  std::size_t size = wave.dataSize;
  int channels = wave.channels;
  std::vector<unsigned char> twoChannels;
  if (channels > 8) {
    // More channels than the mixer lays out: the first two are kept as left and right.
    twoChannels = FirstTwoChannels(samples, size, channels, wave.bits);
    samples = twoChannels.data();
    size = twoChannels.size();
    channels = 2;
  }
  return platform::CreateSoundChunk(samples, size, channels, wave.rate, wave.bits);
}

}  // namespace

void SoundGains(double pan, double volume, float* left, float* right) {
  if (std::isnan(pan)) pan = 0;
  if (std::isnan(volume)) volume = 0;
  pan = std::fmin(1.0, std::fmax(-1.0, pan));
  volume = std::fmin(1.0, std::fmax(0.0, volume));
  const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
  const double level = volume * volume;
  *left = static_cast<float>(std::cos(angle) * level);
  *right = static_cast<float>(std::sin(angle) * level);
}

// ---- SFXSound --------------------------------------------------------------------------

SFXSound::~SFXSound() {
  if (open_) platform::CloseSoundDevice();
  delete[] blocksUsed_;
}

bool SFXSound::Create(HWND) {
  if (!open_) open_ = platform::OpenSoundDevice(kRate, kChannels, kBufferFrames);
  return open_;
}

int SFXSound::ClaimChannels() {
  if (!open_) return -1;
  for (int b = 0; b < blocks_; ++b) {
    if (!blocksUsed_[b]) {
      blocksUsed_[b] = 1;
      return b * SFXSoundBuffer::kMaxCopies;
    }
  }
  // The 128 slots need 128 blocks; more are made only when more slots exist.
  const int grown = blocks_ == 0 ? kSoundSlots : blocks_ * 2;
  if (!platform::ReserveSoundChannels(grown * SFXSoundBuffer::kMaxCopies)) return -1;
  auto* used = new unsigned char[grown]();
  if (blocksUsed_) std::memcpy(used, blocksUsed_, static_cast<std::size_t>(blocks_));
  delete[] blocksUsed_;
  blocksUsed_ = used;
  const int first = blocks_;
  blocks_ = grown;
  blocksUsed_[first] = 1;
  return first * SFXSoundBuffer::kMaxCopies;
}

void SFXSound::ReleaseChannels(int first) {
  const int b = first / SFXSoundBuffer::kMaxCopies;
  if (first >= 0 && b < blocks_) blocksUsed_[b] = 0;
}

// ---- SFXSoundBuffer ----------------------------------------------------------------------

SFXSoundBuffer::~SFXSoundBuffer() { Release(); }

void SFXSoundBuffer::Release() {
  Stop();
  platform::DestroySoundChunk(chunk_);
  chunk_ = nullptr;
  if (device_ && firstChannel_ >= 0) device_->ReleaseChannels(firstChannel_);
  firstChannel_ = -1;
  delete[] fileName_;
  fileName_ = nullptr;
  count_ = 0;
  current_ = 0;
}

bool SFXSoundBuffer::Load(SFXSound* device, const char* file, int copies) {
  Release();
  device_ = device;
  if (!device || !device->IsOpen() || !file) return false;

  std::vector<unsigned char> bytes;
  WaveLayout wave;
  if (!ReadWholeFile(file, &bytes)) return false;
  if (IsEncodedSound(bytes.data(), bytes.size())) {
    chunk_ = platform::DecodeSoundChunk(bytes.data(), bytes.size());
  } else if (ReadWaveLayout(bytes.data(), bytes.size(), &wave)) {
    chunk_ = WaveChunk(bytes, wave);
  }
  if (!chunk_) return false;
  firstChannel_ = device->ClaimChannels();
  if (firstChannel_ < 0) {
    Release();
    return false;
  }
  count_ = copies < 1 ? 1 : copies > kMaxCopies ? kMaxCopies : copies;
  const std::size_t length = std::strlen(file);
  fileName_ = new char[length + 1];
  std::memcpy(fileName_, file, length + 1);
  return true;
}

int SFXSoundBuffer::GetFreeBuffer() {
  if (!platform::SoundChannelPlaying(firstChannel_ + current_)) return current_;
  if (count_ == 1) return -1;  // a single copy is not restarted while it plays
  current_ = (current_ + 1) % count_;
  // PlaySoundChunk cuts off a copy that still plays and starts it again from its start.
  return current_;
}

bool SFXSoundBuffer::Play(double pan, double volume) {
  if (!IsLoaded()) return false;
  const int copy = GetFreeBuffer();
  if (copy < 0) return false;
  float left = 0, right = 0;
  SoundGains(pan, volume, &left, &right);
  return platform::PlaySoundChunk(firstChannel_ + copy, chunk_, left, right);
}

void SFXSoundBuffer::Stop() {
  if (firstChannel_ < 0) return;
  for (int i = 0; i < count_; ++i) platform::StopSoundChannel(firstChannel_ + i);
}

// ---- Commands ----------------------------------------------------------------------------

void LOADSOUND(DGStr file, double id, double copies) {
  const int slot = SlotIndex(id);
  if (slot < 0 || !DXwav) return;
  const std::string path = ResolveDataPath(file.c_str());
  if (path.empty()) return;  // neither on disk nor in the archive: the slot stays as it was
  DXwav[slot].Load(pDXsnd, path.c_str(), TruncToInt(copies));
}

void PLAYSOUND(double id, double pan, double volume) {
  const int slot = SlotIndex(id);
  if (slot < 0 || !DXwav) return;
  DXwav[slot].Play(pan, volume);
}

void HUSH() {
  if (!DXwav) return;
  for (int i = 0; i < kSoundSlots; ++i) DXwav[i].Stop();
}

}  // namespace TAVELOR
