// Music through the mixer into SDL's disk driver: it repeats after its end and stops.
#include "AudioSupport.h"

using namespace TAVELOR;
using namespace audio_test;

TEST_F(SoundTest, MusicRepeatsUntilStopped) {
  // 0.3 s of tone, then 0.3 s of silence, made by ffmpeg's Vorbis encoder.
  const std::string ogg = TempPath("music.ogg");
  ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                  "'sine=frequency=440:duration=0.3,apad=pad_dur=0.3' -ac 1 -ar 22050 -c:a libvorbis " +
                  ogg),
            0);
  EXPECT_EQ(PLAYMUSIC(TempPath("no-such.ogg").c_str()), 3);
  EXPECT_EQ(PLAYMUSIC(ogg.c_str()), 0);
  WaitOutput(1.5);
  STOPMUSIC();
  STOPMUSIC();
  WaitOutput(0.7);
  const std::vector<Burst> b = Bursts(1000);
  ASSERT_GE(b.size(), 2u);
  ASSERT_LE(b.size(), 3u);
  for (std::size_t i = 0; i + 1 < b.size(); ++i) {
    EXPECT_NEAR(b[i].seconds, 0.3, 0.03);
    EXPECT_NEAR(b[i + 1].start - b[i].start, 0.6, 0.03) << "restarts at its end";
  }
}
