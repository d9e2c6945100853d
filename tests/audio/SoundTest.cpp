// Sound effects and music heard through SDL's disk driver: the levels and lengths of each
// burst of output against the files played, written by sox and ffmpeg (or by hand for the
// layouts sox does not write).
#include "AudioSupport.h"

#include <tavelor/storage.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numbers>
#include <thread>

#include "audio/SFXSound.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;
using namespace audio_test;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr double kToneRms = 16384 / std::numbers::sqrt2;  // a sine at half of full scale

// Wave bytes, 16 bits at 22,050 Hz. fmtSize 18 adds the two-byte extension size; factSize >= 0
// adds a "fact" chunk of that many bytes before the samples.
Bytes MakeWave(int channels, const std::vector<int>& samples, int fmtSize = 16, int factSize = -1) {
  Bytes b;
  auto put = [&](std::uint32_t v, int n = 4) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto chunk = [&](const char* tag, std::size_t size) {
    b.insert(b.end(), tag, tag + 4);
    put(static_cast<std::uint32_t>(size));
  };
  chunk("RIFF", 36 + samples.size() * 2 + (fmtSize - 16) + (factSize >= 0 ? 8 + factSize : 0));
  b.insert(b.end(), {'W', 'A', 'V', 'E'});
  chunk("fmt ", fmtSize);
  for (std::uint32_t v : {1u | channels << 16, 22050u, 44100u * channels, 2u * channels | 16 << 16}) put(v);
  b.resize(b.size() + static_cast<std::size_t>(fmtSize - 16));
  if (factSize >= 0) chunk("fact", factSize), b.resize(b.size() + static_cast<std::size_t>(factSize), 0x55);
  chunk("data", samples.size() * 2);
  for (int s : samples) put(static_cast<std::uint32_t>(s), 2);
  return b;
}

std::uintmax_t Size(const std::string& file) { return fs::exists(file) ? fs::file_size(file) : 0; }

}  // namespace

// One device on the disk driver for everything heard: file layouts and formats at their levels
// and lengths, pan and volume by equal power, copies, HUSH, music, and damaged files refused.
TEST(SoundTest, WhatIsPlayedIsHeardAtItsLevel) {
  const std::string output = TempPath("sound.raw"), dir = TempPath("sounds");
  fs::remove(output);
  fs::create_directories(dir);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
  pDXsnd = new SFXSound;
  ASSERT_TRUE(pDXsnd->Create(nullptr));
  DXwav = new SFXSoundBuffer[kSoundSlots];
  // Waits until the device has written `seconds` more of output (it writes in real time).
  auto waitOutput = [&](double seconds) {
    const std::uintmax_t target = Size(output) + static_cast<std::uintmax_t>(seconds * kRate * 4);
    for (int i = 0; i < 6000 && Size(output) < target; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };

  const std::string wav = dir + "/tone.wav", tone = " synth 0.25 sine 440 vol 0.5";
  ASSERT_EQ(Shell("sox -D -n -r 22050 -c 1 -b 16 " + wav + tone), 0);
  const double c = std::sqrt(0.5);
  const struct Play {
    std::string file, make;           // the file and the command that writes it, if any
    double pan, volume, left, right;  // the levels expected per side, in tone levels
    double lengthTolerance = 0.02, levelTolerance = 0.05;
  } plays[] = {
      {wav, "", 0, 0.5, c / 4, c / 4},  // volume 0.5 is a quarter of the level
      {wav, "", -7, 1, 1, 0},           // pans beyond -1 are left
      {dir + "/mono8.wav", "sox -D -n -r 11025 -c 1 -b 8 " + dir + "/mono8.wav" + tone, 0, 1, c, c, 0.02, 0.06},
      {dir + "/six.wav", "sox -D -n -r 22050 -c 6 -b 16 " + dir + "/six.wav" + tone, 0, 1, c, c},
      // A level at the tone's RMS, with the format's extension size and a "fact" chunk.
      {TempFile("fmt18.wav", MakeWave(1, std::vector<int>(0.25 * kRate, 11585), 18, 3000)), "", 0, 1, c, c},
      // Content decides the decoder: the FLAC file is named .wav.
      {dir + "/tone.ogg", "sox " + wav + " -C 6 " + dir + "/tone.ogg", -1, 1, 1, 0, 0.02, 0.06},
      {dir + "/flac.wav", "sox " + wav + " -t flac " + dir + "/flac.wav", -1, 1, 1, 0, 0.02, 0.06},
      {dir + "/tone.mp3", "ffmpeg -v error -y -i " + wav + " -b:a 128k " + dir + "/tone.mp3", -1, 1, 1, 0, 0.06, 0.06},
      // Without a tag the file starts with an MPEG frame header; without the encoder's delay
      // information its ramps in and out are heard too.
      {dir + "/bare.mp3", "ffmpeg -v error -y -i " + wav + " -id3v2_version 0 -write_xing 0 " + dir + "/bare.mp3", -1, 1, 1, 0, 0.06, 0.1},
      {"Sfx\\BOXED.OGG", "", 1, 1, 0, 1, 0.02, 0.06},  // from the archive by a Windows name
  };
  for (const Play& p : plays) ASSERT_EQ(p.make.empty() ? 0 : Shell(p.make), 0) << p.make;
  // The archive holds a copy of the Vorbis file, which is gone from the disk.
  const std::string box = TempPath("sounds.box");
  fs::copy_file(dir + "/tone.ogg", dir + "/boxed.ogg", fs::copy_options::overwrite_existing);
  ASSERT_EQ(Shell(std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack create " + box + " " + dir + "/boxed.ogg >/dev/null"), 0);
  fs::remove(dir + "/boxed.ogg");
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(box.c_str(), "");
  std::uintmax_t mark = Size(output);
  for (std::size_t i = 0; i < std::size(plays); ++i) {
    LOADSOUND(plays[i].file.c_str(), 20 + i, 9);
    ASSERT_TRUE(DXwav[20 + i].IsLoaded()) << plays[i].file;
    EXPECT_EQ(DXwav[20 + i].Copies(), 4);  // at most four
    PLAYSOUND(20 + i, plays[i].pan, plays[i].volume);
    waitOutput(0.4);
  }
  __g_ShoeBox_Data->Clear();
  delete __g_ShoeBox_Data;
  __g_ShoeBox_Data = nullptr;
  std::vector<Burst> b = Bursts(output, mark);
  ASSERT_EQ(b.size(), std::size(plays));
  for (std::size_t i = 0; i < b.size(); ++i) {
    const Play& p = plays[i];
    SCOPED_TRACE(p.file + " " + std::to_string(p.pan) + " " + std::to_string(p.volume));
    EXPECT_NEAR(b[i].seconds, 0.25, p.lengthTolerance);
    EXPECT_NEAR(b[i].rms[0], p.left * kToneRms, p.left * kToneRms * p.levelTolerance + 30);
    EXPECT_NEAR(b[i].rms[1], p.right * kToneRms, p.right * kToneRms * p.levelTolerance + 30);
  }

  // Damaged waves and encoded files are refused and empty the slot.
  const Bytes good = MakeWave(2, std::vector<int>(200, 1000));
  auto with = [&](std::size_t at, std::uint32_t value, int n) {
    Bytes w = good;
    for (int i = 0; i < n; ++i) w.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(value >> (8 * i));
    return w;
  };
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const std::vector<Bytes> damaged = {
      with(22, 0, 2),                             // no channels
      with(24, 50, 4),                            // rate below 100 Hz
      with(34, 24, 2),                            // 24-bit samples
      with(40, 401, 4),                           // data beyond the end
      with(36, 0x61746164 ^ 1, 4),                // no "data" chunk
      Bytes(good.begin(), good.begin() + 35),     // header cut short
      {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3},
      // A FLAC tag block whose comment count runs past its end (the mixer read a null tag).
      text(std::string("fLaC\0\0\0\x22\x10\0\x10\0\0\x01\x04\0\x01\x04\x01\xF4\0\xF0\0\0\x01\x90\xEDk\x90\x92\xE1\x0C\x17_K\x0F"
                       "\xA4\x91\xDD\xA7\xFFl\x03\0\0\x12\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\x90\x84\0\0D \0\0\0"
                       "reference libFLAC 1.4.2 20221022\x01\0\0\0\0\0\0\0\x7F\xFF\xFF\xFF\x18\0\0\0Comment=Proce\0\0\0", 136)),
  };
  const std::string goodFile = TempFile("good.wav", good);
  LOADSOUND(goodFile.c_str(), -1, 9);  // negative ids name no slot
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    LOADSOUND(goodFile.c_str(), 3, 1);
    ASSERT_TRUE(DXwav[3].IsLoaded());
    LOADSOUND(TempFile("bad.wav", damaged[i]).c_str(), 3, 1);
    EXPECT_FALSE(DXwav[3].IsLoaded()) << i;
  }

  // A constant level adds up exactly when copies overlap, whatever their phase.
  const std::string dc = TempFile("dc.wav", MakeWave(1, std::vector<int>(0.4 * kRate, 3000)));
  const double one = 3000 * c;
  LOADSOUND(dc.c_str(), 1, 3);
  LOADSOUND(dc.c_str(), 300, 0);  // ids above 127 name slot 127; fewer than one copy is one
  LOADSOUND(TempPath("missing.wav").c_str(), 1, 9);  // a missing file leaves the slot as it was
  ASSERT_EQ(std::pair(DXwav[1].Copies(), DXwav[127].Copies()), std::pair(3, 1));
  // Negative ids and the slot emptied above play nothing. Three copies at once, then a fourth
  // play 0.2 s later restarts the first copy: three levels until the others end, then one
  // level for the restarted copy.
  mark = Size(output);
  PLAYSOUND(-1, 0, 1);
  PLAYSOUND(3, 0, 1);
  for (int i = 0; i < 3; ++i) PLAYSOUND(1, 0, 1);
  waitOutput(0.2);
  PLAYSOUND(1, 0, 1);
  waitOutput(0.8);
  // One copy is not restarted while it plays.
  PLAYSOUND(200, 0, 1);
  waitOutput(0.2);
  PLAYSOUND(127, 0, 1);
  waitOutput(0.5);
  // HUSH stops every slot.
  for (int slot : {1, 1, 127}) PLAYSOUND(slot, 0, 1);
  waitOutput(0.1);
  HUSH();
  waitOutput(0.5);
  b = Bursts(output, mark);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_NEAR(b[0].peak, 3 * one, 3 * one * 0.03 + 30) << "three copies at most";
  EXPECT_TRUE(b[0].seconds > 0.55 && b[0].seconds < 0.85) << b[0].seconds;
  EXPECT_NEAR(b[1].peak, one, one * 0.03 + 30) << "single copy";
  EXPECT_NEAR(b[1].seconds, 0.4, 0.02);
  EXPECT_LT(b[2].seconds, 0.3);

  // Music repeats after its end until it is stopped: 0.3 s of tone, then 0.3 s of silence,
  // made by ffmpeg's Vorbis encoder.
  const std::string ogg = TempPath("music.ogg");
  ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=0.3,apad=pad_dur=0.3' "
                  "-ac 1 -ar 22050 -c:a libvorbis " + ogg), 0);
  EXPECT_EQ(PLAYMUSIC(TempPath("no-such.ogg").c_str()), 3);
  mark = Size(output);
  EXPECT_EQ(PLAYMUSIC(ogg.c_str()), 0);
  waitOutput(1.5);
  STOPMUSIC();
  STOPMUSIC();
  waitOutput(0.7);
  b = Bursts(output, mark, 1000);
  ASSERT_TRUE(b.size() == 2 || b.size() == 3) << b.size();
  for (std::size_t i = 0; i + 1 < b.size(); ++i) {
    EXPECT_NEAR(b[i].seconds, 0.3, 0.03);
    EXPECT_NEAR(b[i + 1].start - b[i].start, 0.6, 0.03) << "restarts at its end";
  }

  delete[] DXwav;
  delete pDXsnd;
  DXwav = nullptr;
  pDXsnd = nullptr;
  fs::remove(output);
}

TEST(SoundTest, WithoutADeviceEverythingIsSilent) {
  setenv("SDL_AUDIODRIVER", "none-such", 1);
  SFXSound device;
  EXPECT_FALSE(device.Create(nullptr));
  SFXSoundBuffer slot;
  const std::string quiet = TempFile("quiet.wav", MakeWave(1, std::vector<int>(100, 1)));
  EXPECT_FALSE(slot.Load(&device, quiet.c_str(), 1));
  EXPECT_EQ(PLAYMUSIC(quiet.c_str()), 0);
}
