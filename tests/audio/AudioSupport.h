// What the sound and movie tests share: temporary files, the sox/ffmpeg programs that write
// the reference media, and what SDL's disk driver wrote (16-bit stereo) cut into bursts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <tavelor/tavelor.h>

#include "frame/Runtime.h"
#include "platform/platform.h"

namespace audio_test {

namespace fs = std::filesystem;

inline std::string TempPath(const std::string& name) { return TAVELOR::platform::TempDir() + name; }
inline int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }
// Writes bytes to the temporary file name and returns its path.
inline std::string TempFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  std::ofstream(TempPath(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return TempPath(name);
}

constexpr double kRate = 22050;

// A stretch of output where sound is heard: start and length in seconds from the mark it was
// looked for after, the RMS level of each side and the largest absolute sample of either.
struct Burst {
  double start, seconds, rms[2];
  int peak;
};

// The stretches of the output after byte `from` louder than `threshold`, split at silences
// of 40 ms or more.
inline std::vector<Burst> Bursts(const std::string& output, std::uintmax_t from, int threshold = 200) {
  std::ifstream in(output, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from / 4 * 4));
  const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t frames = raw.size() / 4, gap = static_cast<std::size_t>(0.04 * kRate);
  auto sample = [&](std::size_t i, int side) { return std::abs(static_cast<std::int16_t>((raw[i * 4 + side * 2] & 255) | raw[i * 4 + side * 2 + 1] << 8)); };
  auto loud = [&](std::size_t i) { return sample(i, 0) > threshold || sample(i, 1) > threshold; };
  std::vector<Burst> out;
  for (std::size_t i = 0, begin, last; i < frames;) {
    while (i < frames && !loud(i)) ++i;
    if (i >= frames) break;
    for (begin = last = i; i < frames && i - last < gap; ++i) last = loud(i) ? i : last;
    Burst b{begin / kRate, (last + 1 - begin) / kRate, {0, 0}, 0};
    for (std::size_t k = begin; k <= last; ++k) {
      for (int side : {0, 1}) b.rms[side] += std::pow(sample(k, side), 2) / static_cast<double>(last + 1 - begin);
      b.peak = std::max({b.peak, sample(k, 0), sample(k, 1)});
    }
    out.push_back({b.start, b.seconds, {std::sqrt(b.rms[0]), std::sqrt(b.rms[1])}, b.peak});
  }
  return out;
}

}  // namespace audio_test
