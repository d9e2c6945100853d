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
      // A FLAC tag block whose comment count runs past its end (the mixer read a null tag).
      {0x66, 0x4C, 0x61, 0x43, 0x00, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00, 0x01, 0x04, 0x00,
       0x01, 0x04, 0x01, 0xF4, 0x00, 0xF0, 0x00, 0x00, 0x01, 0x90, 0xED, 0x6B, 0x90, 0x92, 0xE1, 0x0C,
       0x17, 0x5F, 0x4B, 0x0F, 0xA4, 0x91, 0xDD, 0xA7, 0xFF, 0x6C, 0x03, 0x00, 0x00, 0x12, 0x00, 0x00,
       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x90,
       0x84, 0x00, 0x00, 0x44, 0x20, 0x00, 0x00, 0x00, 0x72, 0x65, 0x66, 0x65, 0x72, 0x65, 0x6E, 0x63,
       0x65, 0x20, 0x6C, 0x69, 0x62, 0x46, 0x4C, 0x41, 0x43, 0x20, 0x31, 0x2E, 0x34, 0x2E, 0x32, 0x20,
       0x32, 0x30, 0x32, 0x32, 0x31, 0x30, 0x32, 0x32, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
       0x7F, 0xFF, 0xFF, 0xFF, 0x18, 0x00, 0x00, 0x00, 0x43, 0x6F, 0x6D, 0x6D, 0x65, 0x6E, 0x74, 0x3D,
       0x50, 0x72, 0x6F, 0x63, 0x65, 0x00, 0x00, 0x00},
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
