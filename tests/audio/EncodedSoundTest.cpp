// OGG Vorbis, FLAC and MP3 sound effects, made by sox and ffmpeg from one tone and heard
// through the disk driver at the tone's level.
#include "AudioSupport.h"

#include <tavelor/storage.h>

#include "storage/ZyShoeBox.h"

using namespace TAVELOR;
using namespace audio_test;

namespace {

constexpr double kToneRms = 16384 / 1.41421356;  // a sine at half of full scale

TEST_F(SoundTest, EncodedSoundsPlayLikeWaves) {
  const std::string wav = TempPath("tone.wav");
  ASSERT_EQ(Shell("sox -D -n -r 22050 -c 1 -b 16 " + wav + " synth 0.3 sine 440 vol 0.5"), 0);
  const std::string dir = TempPath("encoded");
  fs::create_directories(dir);
  struct Case {
    std::string file, command;
    double lengthTolerance, levelTolerance;
  };
  // Content decides: the FLAC file is named .wav.
  const Case cases[] = {
      {dir + "/tone.ogg", "sox " + wav + " -C 6 " + dir + "/tone.ogg", 0.02, 0.06},
      {dir + "/flac.wav", "sox " + wav + " -t flac " + dir + "/flac.wav", 0.02, 0.06},
      {dir + "/tone.mp3", "ffmpeg -v error -y -i " + wav + " -b:a 128k " + dir + "/tone.mp3", 0.06, 0.06},
      // Without a tag the file starts with an MPEG frame header; without the encoder's delay
      // information its ramps in and out are heard too.
      {dir + "/bare.mp3", "ffmpeg -v error -y -i " + wav + " -id3v2_version 0 -write_xing 0 " + dir + "/bare.mp3",
       0.06, 0.1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(Shell(cases[i].command), 0) << cases[i].command;
    LOADSOUND(cases[i].file.c_str(), 20 + i, 2);
    ASSERT_TRUE(DXwav[20 + i].IsLoaded()) << cases[i].file;
    EXPECT_EQ(DXwav[20 + i].Copies(), 2);
    PLAYSOUND(20 + i, -1, 1);
    WaitOutput(0.5);
  }
  // From the data archive by a Windows name, panned right.
  const std::string box = dir + "/sounds.box";
  ASSERT_EQ(Shell(std::string(TAVELOR_BINARY_DIR) + "/tools/pack/tavelor-pack create " + box + " " + dir +
                  "/tone.ogg >/dev/null"),
            0);
  fs::remove(dir + "/tone.ogg");
  __g_ShoeBox_Data = new ZyShoeBox;
  SETSHOEBOX(box.c_str(), "");
  LOADSOUND("Sfx\\TONE.OGG", 30, 1);
  __g_ShoeBox_Data->Clear();
  delete __g_ShoeBox_Data;
  __g_ShoeBox_Data = nullptr;
  PLAYSOUND(30, 1, 1);
  WaitOutput(0.5);

  const std::vector<Burst> b = Bursts();
  ASSERT_EQ(b.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < b.size(); ++i) {
    SCOPED_TRACE(i);
    const bool left = i < std::size(cases);
    EXPECT_NEAR(b[i].seconds, 0.3, left ? cases[i].lengthTolerance : 0.02);
    EXPECT_NEAR(left ? b[i].rmsLeft : b[i].rmsRight, kToneRms, kToneRms * (left ? cases[i].levelTolerance : 0.06));
    EXPECT_LT(left ? b[i].rmsRight : b[i].rmsLeft, 30);
  }
}

TEST_F(SoundTest, DamagedEncodedSoundsEmptyTheSlot) {
  const std::vector<std::vector<unsigned char>> damaged = {
      {'O', 'g', 'g', 'S', 0, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9},
      {'f', 'L', 'a', 'C', 0, 0, 0, 34, 1, 2},
      {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0},
      {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3},
  };
  WriteFile(TempPath("good.wav"), MakeWave(1, 22050, 16, std::vector<int>(100, 1000)));
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    LOADSOUND(TempPath("good.wav").c_str(), 3, 1);
    ASSERT_TRUE(DXwav[3].IsLoaded());
    WriteFile(TempPath("bad.ogg"), damaged[i]);
    LOADSOUND(TempPath("bad.ogg").c_str(), 3, 1);
    EXPECT_FALSE(DXwav[3].IsLoaded()) << i;
  }
}

}  // namespace
