// The sound device: sound-effect channels, music, and a stream that the video
// player feeds with its sound. All samples handed over are interleaved little-endian PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TAVELOR::platform {

// Opens the default output device with the given format (16-bit samples), converting in
// software where the hardware differs. False when there is no sound device.
bool OpenSoundDevice(int rate, int channels, int bufferFrames);
void CloseSoundDevice();
bool SoundDeviceOpen();

// A sound converted to the device's format (rate, channels), ready for any channel.
struct SoundChunk;
// bits: 8 (unsigned) or 16 (signed). Null when there is no device or the format cannot be
// converted (more than 8 channels).
SoundChunk* CreateSoundChunk(const unsigned char* samples, std::size_t bytes, int channels, int rate, int bits);
// Decodes a whole OGG Vorbis, FLAC or MP3 file held in memory into a chunk. Null when there
// is no device, the file cannot be decoded, or it decodes to nothing or to more than 1 GiB.
SoundChunk* DecodeSoundChunk(const unsigned char* bytes, std::size_t size);
// Decodes the sound of a whole file held in memory (the FFmpeg backend) into interleaved
// 16-bit samples with the file's own channels and rate. False, *out empty, when nothing can
// be decoded, the format changes within the stream or it holds more than maxSamples samples.
bool DecodeSoundFile(const unsigned char* bytes, std::size_t size, std::size_t maxSamples, std::vector<std::int16_t>* out,
                     int* channels, int* rate);
// Halts every channel that plays it, then frees it.
void DestroySoundChunk(SoundChunk* chunk);
// Output frames the chunk holds.
std::size_t SoundChunkFrames(const SoundChunk* chunk);

// Makes at least count mixer channels available (numbered from 0).
bool ReserveSoundChannels(int count);
// Plays the chunk once from its start on the channel with these gains (0..1) on the left
// and right output; a sound the channel played before is cut off.
bool PlaySoundChunk(int channel, SoundChunk* chunk, float left, float right);
bool SoundChannelPlaying(int channel);
void StopSoundChannel(int channel);

// Music: one piece at a time, in any format the mixer reads. OpenMusic starts it looping
// and returns false when the file cannot be played (or there is no device).
bool OpenMusic(const char* path);
void CloseMusic();
bool MusicOpen();
bool MusicPlaying();
// Plays the open music again from its start.
void RestartMusic();

// The sound of a video: 16-bit samples at the device's rate and channel count, mixed over
// everything else as they are queued.
bool OpenSoundStream(int* rate, int* channels);
void QueueSoundStream(const std::int16_t* samples, std::size_t count);
std::size_t SoundStreamQueued();  // samples not yet played
void CloseSoundStream();

}  // namespace TAVELOR::platform
