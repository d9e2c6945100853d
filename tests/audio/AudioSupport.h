// Helpers of the sound tests: the mixed output captured by SDL's disk driver, waves written
// by sox or by hand, and level measurements on the captured samples.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <tavelor/tavelor.h>

#include "audio/SFXSound.h"
#include "frame/Runtime.h"
#include "platform/platform.h"

namespace audio_test {

namespace fs = std::filesystem;
constexpr double kRate = 22050;
constexpr double kBytesPerSecond = kRate * 4;

inline std::string TempPath(const std::string& name) { return TAVELOR::platform::TempDir() + name; }

inline int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

// Little-endian wave bytes. fmtSize 18 adds the two-byte extension size; factSize >= 0 adds a
// "fact" chunk of that many bytes before the samples.
inline std::vector<unsigned char> MakeWave(int channels, int rate, int bits, const std::vector<int>& samples,
                                           int fmtSize = 16, int factSize = -1) {
  std::vector<unsigned char> b;
  auto put = [&](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
  tag("RIFF");
  put(0, 4);
  tag("WAVE");
  tag("fmt ");
  put(fmtSize, 4);
  put(1, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  for (int i = 16; i < fmtSize; ++i) b.push_back(0);
  if (factSize >= 0) {
    tag("fact");
    put(factSize, 4);
    b.insert(b.end(), static_cast<std::size_t>(factSize), 0x55);
  }
  tag("data");
  put(static_cast<std::uint32_t>(samples.size() * bits / 8), 4);
  for (int s : samples) put(bits == 8 ? static_cast<std::uint32_t>(s + 128) : static_cast<std::uint32_t>(s), bits / 8);
  const std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<unsigned char>(riff >> (8 * i));
  return b;
}

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// A constant level for `seconds` (mono, 16 bits, 22,050 Hz): levels add up exactly when
// copies overlap, whatever their phase.
inline std::string DcWave(const std::string& name, int level, double seconds) {
  const std::string path = TempPath(name);
  WriteFile(path, MakeWave(1, 22050, 16, std::vector<int>(static_cast<std::size_t>(seconds * 22050), level)));
  return path;
}

// A stretch of output where sound is heard, with its levels.
struct Burst {
  double start = 0, seconds = 0;  // from the start of the capture
  double rmsLeft = 0, rmsRight = 0;
  int peak = 0;  // largest absolute sample of either side
};

// Opens the sound device on SDL's disk driver, fresh for each test, with the 128 slots.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = TempPath("sound-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                       ".raw");
    fs::remove(output_);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output_.c_str(), 1);
    TAVELOR::pDXsnd = new TAVELOR::SFXSound;
    ASSERT_TRUE(TAVELOR::pDXsnd->Create(nullptr));
    TAVELOR::DXwav = new TAVELOR::SFXSoundBuffer[TAVELOR::kSoundSlots];
  }
  void TearDown() override {
    delete[] TAVELOR::DXwav;
    delete TAVELOR::pDXsnd;
    TAVELOR::DXwav = nullptr;
    TAVELOR::pDXsnd = nullptr;
    fs::remove(output_);
  }

  std::uintmax_t OutputBytes() const {
    std::error_code ec;
    const std::uintmax_t n = fs::file_size(output_, ec);
    return ec ? 0 : n;
  }
  // Waits until the device has written `seconds` more of output (it writes in real time).
  void WaitOutput(double seconds) const {
    const std::uintmax_t target = OutputBytes() + static_cast<std::uintmax_t>(seconds * kBytesPerSecond);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (OutputBytes() < target && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // The stretches of the output louder than `threshold`, split at silences of 40 ms or more.
  std::vector<Burst> Bursts(int threshold = 200) const {
    std::ifstream in(output_, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t frames = raw.size() / 4;
    auto sample = [&](std::size_t i, int side) {
      const auto* p = reinterpret_cast<const unsigned char*>(raw.data()) + i * 4 + side * 2;
      return static_cast<int>(static_cast<std::int16_t>(p[0] | p[1] << 8));
    };
    std::vector<Burst> out;
    const std::size_t gap = static_cast<std::size_t>(0.04 * kRate);
    std::size_t i = 0;
    while (i < frames) {
      while (i < frames && std::abs(sample(i, 0)) <= threshold && std::abs(sample(i, 1)) <= threshold) ++i;
      if (i >= frames) break;
      const std::size_t begin = i;
      std::size_t last = i;
      while (i < frames && i - last < gap) {
        if (std::abs(sample(i, 0)) > threshold || std::abs(sample(i, 1)) > threshold) last = i;
        ++i;
      }
      Burst b;
      b.start = static_cast<double>(begin) / kRate;
      b.seconds = static_cast<double>(last + 1 - begin) / kRate;
      double sl = 0, sr = 0;
      for (std::size_t k = begin; k <= last; ++k) {
        sl += std::pow(sample(k, 0), 2);
        sr += std::pow(sample(k, 1), 2);
        b.peak = std::max({b.peak, std::abs(sample(k, 0)), std::abs(sample(k, 1))});
      }
      b.rmsLeft = std::sqrt(sl / static_cast<double>(last + 1 - begin));
      b.rmsRight = std::sqrt(sr / static_cast<double>(last + 1 - begin));
      out.push_back(b);
    }
    return out;
  }

  std::string output_;
};

}  // namespace audio_test
