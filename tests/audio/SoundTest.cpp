// Sound effects heard through SDL's disk driver: levels per burst of output against the
// levels of the waves played (written by sox, or by hand for the layouts sox does not write).
#include "AudioSupport.h"

#include <tavelor/storage.h>

#include "audio/WaveFile.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;
using namespace audio_test;

namespace {

constexpr double kToneRms = 16384 / 1.41421356;  // a sine at half of full scale

// A 440 Hz sine at half of full scale, written by sox.
std::string SoxTone(const std::string& name, double seconds, const std::string& format) {
  const std::string path = TempPath(name);
  EXPECT_EQ(Shell("sox -D -n " + format + " " + path + " synth " + std::to_string(seconds) + " sine 440 vol 0.5"), 0);
  return path;
}

void ExpectNear(double value, double expected, double tolerance, const char* what) {
  EXPECT_NEAR(value, expected, expected * tolerance + 30) << what;
}

}  // namespace

TEST_F(SoundTest, PanAndVolumeGiveEqualPowerLevelsPerSide) {
  LOADSOUND(SoxTone("tone.wav", 0.25, "-r 22050 -c 1 -b 16").c_str(), 0, 1);
  ASSERT_TRUE(DXwav[0].IsLoaded());
  const double plays[][2] = {{0, 1}, {-1, 1}, {1, 1}, {0, 0.5}, {-7, 1}};
  for (const auto& p : plays) {
    PLAYSOUND(0, p[0], p[1]);
    WaitOutput(0.4);
  }
  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), 5u);
  const double half = kToneRms * std::sqrt(0.5);
  ExpectNear(b[0].rmsLeft, half, 0.05, "centre, left side");
  ExpectNear(b[0].rmsRight, half, 0.05, "centre, right side");
  ExpectNear(b[1].rmsLeft, kToneRms, 0.05, "left");
  EXPECT_LT(b[1].rmsRight, 30);
  ExpectNear(b[2].rmsRight, kToneRms, 0.05, "right");
  EXPECT_LT(b[2].rmsLeft, 30);
  ExpectNear(b[3].rmsLeft, half * 0.25, 0.05, "volume 0.5 is a quarter of the level");
  ExpectNear(b[4].rmsLeft, kToneRms, 0.05, "pan below -1 is left");
  for (const Burst& x : b) EXPECT_NEAR(x.seconds, 0.25, 0.02);
}

TEST_F(SoundTest, CopiesOverlapAndTheOldestRestarts) {
  const std::string dc = DcWave("dc.wav", 3000, 0.4);
  const double one = 3000 * std::sqrt(0.5);
  LOADSOUND(dc.c_str(), 1, 3);
  LOADSOUND(dc.c_str(), 300, 1);  // ids above 127 name slot 127
  ASSERT_EQ(DXwav[1].Copies(), 3);
  ASSERT_EQ(DXwav[127].Copies(), 1);

  // Three copies at once, then a fourth play 0.2 s later restarts the first copy: three
  // levels until the others end, then one level for the restarted copy.
  for (int i = 0; i < 3; ++i) PLAYSOUND(1, 0, 1);
  WaitOutput(0.2);
  PLAYSOUND(1, 0, 1);
  WaitOutput(0.8);
  // One copy is not restarted while it plays.
  PLAYSOUND(200, 0, 1);
  WaitOutput(0.2);
  PLAYSOUND(127, 0, 1);
  WaitOutput(0.5);

  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), 2u);
  ExpectNear(b[0].peak, 3 * one, 0.03, "three copies at most");
  EXPECT_GT(b[0].seconds, 0.55);
  EXPECT_LT(b[0].seconds, 0.85);
  ExpectNear(b[1].peak, one, 0.03, "single copy");
  EXPECT_NEAR(b[1].seconds, 0.4, 0.02);
}

TEST_F(SoundTest, HushStopsEverySlot) {
  const std::string dc = DcWave("long.wav", 3000, 2.0);
  LOADSOUND(dc.c_str(), 0, 2);
  LOADSOUND(dc.c_str(), 5, 1);
  PLAYSOUND(0, 0, 1);
  PLAYSOUND(0, 0, 1);
  PLAYSOUND(5, 0, 1);
  WaitOutput(0.2);
  HUSH();
  WaitOutput(0.3);
  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_LT(b[0].seconds, 0.6);
}

TEST_F(SoundTest, FileLayoutsAndFormatsPlay) {
  // Mono 8 bits at the file's own rate, six channels, an 18-byte format chunk with a "fact"
  // chunk behind it, and a long "fact" chunk: each plays for its own length at its level.
  const std::string mono8 = SoxTone("mono8.wav", 0.3, "-r 11025 -c 1 -b 8");
  const std::string six = SoxTone("six.wav", 0.3, "-r 22050 -c 6 -b 16");
  const std::vector<int> dc(0.3 * 22050, 3000);
  WriteFile(TempPath("fmt18.wav"), MakeWave(1, 22050, 16, dc, 18, 4));
  WriteFile(TempPath("fact.wav"), MakeWave(1, 22050, 16, dc, 16, 3000));
  const std::string files[] = {mono8, six, TempPath("fmt18.wav"), TempPath("fact.wav")};
  for (int i = 0; i < 4; ++i) {
    LOADSOUND(files[i].c_str(), 10 + i, 1);
    ASSERT_TRUE(DXwav[10 + i].IsLoaded()) << files[i];
    PLAYSOUND(10 + i, 0, 1);
    WaitOutput(0.45);
  }
  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), 4u);
  for (const Burst& x : b) {
    EXPECT_NEAR(x.seconds, 0.3, 0.02) << &x - b.data();
    EXPECT_NEAR(x.rmsLeft, x.rmsRight, x.rmsLeft * 0.02 + 5);
  }
  ExpectNear(b[0].rmsLeft, kToneRms * std::sqrt(0.5), 0.06, "8-bit mono");
  EXPECT_GT(b[1].rmsLeft, 1000) << "six channels are heard on both sides";
  ExpectNear(b[2].rmsLeft, 3000 * std::sqrt(0.5), 0.02, "18-byte format chunk");
  ExpectNear(b[3].rmsLeft, 3000 * std::sqrt(0.5), 0.02, "long fact chunk");
}

TEST_F(SoundTest, DamagedWavesAreRefusedAndEmptyTheSlot) {
  const std::vector<unsigned char> good = MakeWave(2, 22050, 16, std::vector<int>(200, 1000));
  WaveLayout w;
  ASSERT_TRUE(ReadWaveLayout(good.data(), good.size(), &w));

  auto with = [&](std::size_t at, std::uint32_t value, int n) {
    std::vector<unsigned char> b = good;
    for (int i = 0; i < n; ++i) b.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(value >> (8 * i));
    return b;
  };
  const std::vector<std::vector<unsigned char>> bad = {
      with(22, 0, 2),                                          // no channels
      with(24, 0, 4),                                          // rate 0
      with(24, 50, 4),                                         // rate below 100 Hz
      with(34, 24, 2),                                         // 24-bit samples
      with(40, 401, 4),                                        // data beyond the end
      with(36, 0x61746164 ^ 1, 4),                             // no "data" chunk
      std::vector<unsigned char>(good.begin(), good.begin() + 35),  // header cut short
      std::vector<unsigned char>(good.begin(), good.end() - 1),     // samples cut short
  };
  for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_FALSE(ReadWaveLayout(bad[i].data(), bad[i].size(), &w)) << i;

  WriteFile(TempPath("good.wav"), good);
  WriteFile(TempPath("bad.wav"), bad[3]);
  LOADSOUND(TempPath("good.wav").c_str(), 3, 0);
  ASSERT_TRUE(DXwav[3].IsLoaded());
  EXPECT_EQ(DXwav[3].Copies(), 1);
  LOADSOUND(TempPath("missing.wav").c_str(), 3, 9);
  EXPECT_TRUE(DXwav[3].IsLoaded()) << "a missing file leaves the slot as it was";
  LOADSOUND(TempPath("bad.wav").c_str(), 3, 9);
  EXPECT_FALSE(DXwav[3].IsLoaded());
  LOADSOUND(TempPath("good.wav").c_str(), -1, 9);  // negative ids: nothing happens
  PLAYSOUND(-1, 0, 1);
  PLAYSOUND(3, 0, 1);
  WaitOutput(0.1);
  EXPECT_TRUE(Bursts().empty());
}

TEST_F(SoundTest, WaveFromTheDataArchivePlays) {
  const std::string dir = TempPath("sound-archive");
  fs::create_directories(dir);
  WriteFile(dir + "/bang.wav", MakeWave(1, 22050, 16, std::vector<int>(0.2 * 22050, 3000)));
  const std::string box = dir + "/media.box";
  ASSERT_EQ(Shell(std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack create " + box + " " + dir +
                  "/bang.wav >/dev/null"),
            0);
  fs::remove(dir + "/bang.wav");
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(box.c_str(), "");
  LOADSOUND("Sounds\\BANG.WAV", 4, 4);
  EXPECT_EQ(DXwav[4].Copies(), 4);
  PLAYSOUND(4, 0, 1);
  WaitOutput(0.3);
  __g_ShoeBox_Data->Clear();
  delete __g_ShoeBox_Data;
  __g_ShoeBox_Data = nullptr;
  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_NEAR(b[0].seconds, 0.2, 0.02);
}

TEST(SoundDeviceTest, WithoutADeviceEverythingIsSilent) {
  setenv("SDL_AUDIODRIVER", "none-such", 1);
  SFXSound device;
  EXPECT_FALSE(device.Create(nullptr));
  SFXSoundBuffer slot;
  WriteFile(TempPath("quiet.wav"), MakeWave(1, 22050, 16, std::vector<int>(100, 1)));
  EXPECT_FALSE(slot.Load(&device, TempPath("quiet.wav").c_str(), 1));
  EXPECT_FALSE(slot.Play(0, 1));
  EXPECT_EQ(PLAYMUSIC(TempPath("quiet.wav").c_str()), 0);
  STOPMUSIC();
}
