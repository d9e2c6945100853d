// The sound device on SDL2 and SDL_mixer.
#include "platform/audio.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace TAVELOR::platform {

struct SoundChunk {
  std::vector<Uint8> data;
  Mix_Chunk chunk{};
};

namespace {

bool g_open = false;
int g_rate = 0;
int g_channels = 0;
Mix_Music* g_music = nullptr;

// Gains of each mixer channel, read by the channel's effect on the mixing thread.
struct ChannelGain {
  std::atomic<float> left{1.0f};
  std::atomic<float> right{1.0f};
};
std::vector<std::unique_ptr<ChannelGain>> g_gains;

void SDLCALL ApplyGain(int, void* stream, int len, void* udata) {
  const auto* gain = static_cast<const ChannelGain*>(udata);
  const float l = gain->left.load(std::memory_order_relaxed);
  const float r = gain->right.load(std::memory_order_relaxed);
  auto* s = static_cast<Sint16*>(stream);
  const int n = len / 2;
  for (int i = 0; i + 1 < n; i += 2) {
    s[i] = static_cast<Sint16>(static_cast<float>(s[i]) * l);
    s[i + 1] = static_cast<Sint16>(static_cast<float>(s[i + 1]) * r);
  }
}

// The video sound waiting to be mixed in.
std::mutex g_streamLock;
std::deque<Sint16> g_stream;
bool g_streamOpen = false;

void SDLCALL MixStream(void*, Uint8* stream, int len) {
  std::lock_guard<std::mutex> lock(g_streamLock);
  auto* s = reinterpret_cast<Sint16*>(stream);
  const std::size_t n = std::min(g_stream.size(), static_cast<std::size_t>(len / 2));
  for (std::size_t i = 0; i < n; ++i) {
    const int v = s[i] + g_stream[i];
    s[i] = static_cast<Sint16>(std::clamp(v, -32768, 32767));
  }
  g_stream.erase(g_stream.begin(), g_stream.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

bool OpenSoundDevice(int rate, int channels, int bufferFrames) {
  if (g_open) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudioDevice(rate, AUDIO_S16LSB, channels, bufferFrames, nullptr, 0) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_MID | MIX_INIT_MOD | MIX_INIT_OPUS);
  Uint16 format = 0;
  Mix_QuerySpec(&g_rate, &format, &g_channels);
  Mix_AllocateChannels(0);
  g_gains.clear();
  g_open = true;
  return true;
}

void CloseSoundDevice() {
  if (!g_open) return;
  CloseSoundStream();
  CloseMusic();
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  g_gains.clear();
  g_open = false;
}

bool SoundDeviceOpen() { return g_open; }

SoundChunk* CreateSoundChunk(const unsigned char* samples, std::size_t bytes, int channels, int rate, int bits) {
  if (!g_open || !samples || bytes == 0 || channels < 1 || channels > 8 || rate < 1) return nullptr;
  if (bits != 8 && bits != 16) return nullptr;
  if (bytes > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  SDL_AudioCVT cvt;
  const int built = SDL_BuildAudioCVT(&cvt, bits == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(channels), rate,
                                      AUDIO_S16LSB, static_cast<Uint8>(g_channels), g_rate);
  if (built < 0) return nullptr;
  // A sound that would take more than 1 GiB once converted is refused rather than allocated.
  if (bytes > (std::size_t{1} << 30) / static_cast<std::size_t>(cvt.len_mult > 0 ? cvt.len_mult : 1)) return nullptr;
  auto chunk = std::make_unique<SoundChunk>();
  cvt.len = static_cast<int>(bytes);
  chunk->data.resize(bytes * static_cast<std::size_t>(cvt.len_mult));
  std::memcpy(chunk->data.data(), samples, bytes);
  cvt.buf = chunk->data.data();
  if (built == 1 && SDL_ConvertAudio(&cvt) != 0) return nullptr;
  chunk->data.resize(built == 1 ? static_cast<std::size_t>(cvt.len_cvt) : bytes);
  // Whole output frames only.
  chunk->data.resize(chunk->data.size() - chunk->data.size() % (2 * static_cast<std::size_t>(g_channels)));
  if (chunk->data.empty()) return nullptr;
  chunk->data.shrink_to_fit();
  chunk->chunk.allocated = 0;
  chunk->chunk.abuf = chunk->data.data();
  chunk->chunk.alen = static_cast<Uint32>(chunk->data.size());
  chunk->chunk.volume = MIX_MAX_VOLUME;
  return chunk.release();
}

// A decoded sound effect may fill at most this much memory.
constexpr std::size_t kMaxDecodedBytes = std::size_t{1} << 30;

SoundChunk* DecodeSoundChunk(const unsigned char* bytes, std::size_t size) {
  if (!g_open || !bytes || size == 0 || size > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  if (size >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) {
    // The mixer's FLAC reader trusts the stream header's channel count and the tags, and
    // damaged files make it read through null pointers: FFmpeg's decoder reads FLAC instead.
    // Channels and rate are then converted exactly as for a wave file.
    std::vector<std::int16_t> samples;
    int channels = 0, rate = 0;
    if (!DecodeSoundFile(bytes, size, kMaxDecodedBytes / 2, &samples, &channels, &rate)) return nullptr;
    return CreateSoundChunk(reinterpret_cast<const unsigned char*>(samples.data()), samples.size() * 2, channels, rate,
                            16);
  }
  SDL_RWops* rw = SDL_RWFromConstMem(bytes, static_cast<int>(size));
  if (!rw) return nullptr;
  Mix_Chunk* decoded = Mix_LoadWAV_RW(rw, 1);  // already in the device's format
  if (!decoded) return nullptr;
  const std::size_t frame = 2 * static_cast<std::size_t>(g_channels);
  const std::size_t length = decoded->alen - decoded->alen % frame;
  std::unique_ptr<SoundChunk> chunk;
  if (length > 0 && length <= kMaxDecodedBytes) {
    chunk = std::make_unique<SoundChunk>();
    chunk->data.assign(decoded->abuf, decoded->abuf + length);
    chunk->chunk.allocated = 0;
    chunk->chunk.abuf = chunk->data.data();
    chunk->chunk.alen = static_cast<Uint32>(length);
    chunk->chunk.volume = MIX_MAX_VOLUME;
  }
  Mix_FreeChunk(decoded);
  return chunk.release();
}

void DestroySoundChunk(SoundChunk* chunk) {
  if (!chunk) return;
  if (g_open) {
    const int n = Mix_AllocateChannels(-1);
    for (int c = 0; c < n; ++c) {
      if (Mix_GetChunk(c) == &chunk->chunk) Mix_HaltChannel(c);
    }
  }
  delete chunk;
}

std::size_t SoundChunkFrames(const SoundChunk* chunk) {
  return chunk && g_channels > 0 ? chunk->data.size() / (2 * static_cast<std::size_t>(g_channels)) : 0;
}

bool ReserveSoundChannels(int count) {
  if (!g_open) return false;
  if (Mix_AllocateChannels(-1) < count) Mix_AllocateChannels(count);
  while (static_cast<int>(g_gains.size()) < count) g_gains.push_back(std::make_unique<ChannelGain>());
  return Mix_AllocateChannels(-1) >= count;
}

bool PlaySoundChunk(int channel, SoundChunk* chunk, float left, float right) {
  if (!g_open || !chunk || channel < 0 || channel >= static_cast<int>(g_gains.size())) return false;
  Mix_HaltChannel(channel);
  Mix_UnregisterAllEffects(channel);
  ChannelGain* gain = g_gains[static_cast<std::size_t>(channel)].get();
  gain->left.store(left, std::memory_order_relaxed);
  gain->right.store(g_channels > 1 ? right : left, std::memory_order_relaxed);
  if (g_channels == 2 && Mix_RegisterEffect(channel, ApplyGain, nullptr, gain) == 0) return false;
  return Mix_PlayChannel(channel, &chunk->chunk, 0) == channel;
}

bool SoundChannelPlaying(int channel) {
  return g_open && channel >= 0 && channel < Mix_AllocateChannels(-1) && Mix_Playing(channel) != 0;
}

void StopSoundChannel(int channel) {
  if (g_open && channel >= 0 && channel < Mix_AllocateChannels(-1)) Mix_HaltChannel(channel);
}

bool OpenMusic(const char* path) {
  CloseMusic();
  if (!g_open || !path) return false;
  g_music = Mix_LoadMUS(path);
  if (!g_music) return false;
  if (Mix_PlayMusic(g_music, -1) != 0) {
    Mix_FreeMusic(g_music);
    g_music = nullptr;
    return false;
  }
  return true;
}

void CloseMusic() {
  if (!g_music) return;
  Mix_HaltMusic();
  Mix_FreeMusic(g_music);
  g_music = nullptr;
}

bool MusicOpen() { return g_music != nullptr; }
bool MusicPlaying() { return g_music && Mix_PlayingMusic() != 0; }

void RestartMusic() {
  if (g_music) Mix_PlayMusic(g_music, -1);
}

bool OpenSoundStream(int* rate, int* channels) {
  if (!g_open) return false;
  {
    std::lock_guard<std::mutex> lock(g_streamLock);
    g_stream.clear();
  }
  Mix_SetPostMix(MixStream, nullptr);
  g_streamOpen = true;
  *rate = g_rate;
  *channels = g_channels;
  return true;
}

void QueueSoundStream(const std::int16_t* samples, std::size_t count) {
  if (!g_streamOpen) return;
  std::lock_guard<std::mutex> lock(g_streamLock);
  g_stream.insert(g_stream.end(), samples, samples + count);
}

std::size_t SoundStreamQueued() {
  std::lock_guard<std::mutex> lock(g_streamLock);
  return g_stream.size();
}

void CloseSoundStream() {
  if (!g_streamOpen) return;
  Mix_SetPostMix(nullptr, nullptr);
  g_streamOpen = false;
  std::lock_guard<std::mutex> lock(g_streamLock);
  g_stream.clear();
}

}  // namespace TAVELOR::platform
