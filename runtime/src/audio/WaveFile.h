// Wave files as the sound slots read them: where the samples are and how they are laid out.
#pragma once

#include <cstddef>
#include <vector>

namespace TAVELOR {

// The sample rates a sound buffer accepts.
constexpr unsigned kMinWaveRate = 100;
constexpr unsigned kMaxWaveRate = 200000;

struct WaveLayout {
  int channels = 0;  // as the file says
  int rate = 0;      // samples per second per channel
  int bits = 0;      // 8 (unsigned) or 16 (signed)
  std::size_t dataOffset = 0;
  std::size_t dataSize = 0;  // whole sample frames only
};

// Reads the layout of a wave file held in memory. The format fields sit at their fixed
// places (channels at 22, rate at 24, bits at 34; the RIFF, WAVE and format ids and the
// format tag are not checked, samples are always taken as PCM). The chunks after the format
// chunk are walked until "data"; "fact" and any other chunk are skipped. False, and the
// sound not loaded, when the file is shorter than the 36-byte header, has 0 channels, a
// rate outside 100..200,000 (0 included), samples of other than 8 or 16 bits, no "data" chunk, a data size beyond the end
// of the file or less than one sample frame.
bool ReadWaveLayout(const unsigned char* bytes, std::size_t size, WaveLayout* out);

// True for the start of an OGG, FLAC or MP3 file (by content, whatever the name says):
// such sounds are decoded by the mixer; everything else is read as a wave file.
bool IsEncodedSound(const unsigned char* bytes, std::size_t size);

// The first two channels of interleaved frames of `channels` channels of `bits` bits.
std::vector<unsigned char> FirstTwoChannels(const unsigned char* samples, std::size_t size, int channels, int bits);

}  // namespace TAVELOR
