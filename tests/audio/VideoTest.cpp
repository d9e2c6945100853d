// Movies made by the ffmpeg program, played into a real window (SDL's offscreen driver) with
// their sound in SDL's disk driver. Each window size runs in a child process of its own.
#include "AudioSupport.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <iterator>

#include "audio/Video.h"
#include "display/OpenGLLumenar.h"

using namespace TAVELOR;
using namespace audio_test;

namespace {

#define CHILD_CHECK(cond) \
  if (!(cond)) (std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__), std::_Exit(3))

// Whether window pixel (x, y), y from the top, in the back buffer, is within tolerance of RGB want.
bool PixelNear(int x, int y, std::uint32_t want, int tolerance) {
  unsigned char p[3] = {};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, __DG_RESY - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
  for (int s = 0; s < 3; ++s) {
    if (std::abs(p[s] - static_cast<int>(want >> (8 * s) & 255)) > tolerance) return false;
  }
  return true;
}

int ThreadCount() { return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator())); }

struct Case {
  int width, height, windowWidth, windowHeight;
  MovieRect fit;
  bool last;
};

// Runs in a fresh process with the case's window and the sound device on the disk driver; its
// checks decide the exit code. A wide movie is letterboxed and a narrow one pillarboxed: at
// frame 10 the picture sits in its rectangle, black outside, white in its top-left quarter,
// the movie's blue-grey in the rest; every frame is shown and the tone comes through the sound
// device. Then keys, and the window's close button.
void PlayInWindow(const Case& c, const std::string& clip) {
  const std::string sound = TempPath("video-sound.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", sound.c_str(), 1);
  __DG_RESX = c.windowWidth;
  __DG_RESY = c.windowHeight;
  char cmd[1] = {0};
  __GlobalInit(nullptr, nullptr, cmd, 1, "video");
  CHILD_CHECK(Lumbo.hasContext);
  const MovieRect r = FitMovie(c.width, c.height, c.windowWidth, c.windowHeight);
  CHILD_CHECK(r == c.fit);
  bool checked = false;
  MovieOptions o;
  o.afterDraw = [&](long long frame) {
    if (frame != 10) return;
    checked = true;
    CHILD_CHECK(PixelNear(r.x + r.width / 4, r.y + r.height / 4, 0xFFFFFF, 12));
    CHILD_CHECK(PixelNear(r.x + 2, r.y + r.height - 3, 0xC08040, 12));
    CHILD_CHECK(PixelNear(r.x + r.width - 3, r.y + 2, 0xC08040, 12));
    // Just outside the picture: black bars where there is room for them.
    if (r.x > 0) CHILD_CHECK(PixelNear(r.x - 1, r.y + r.height / 2, 0, 0) && PixelNear(r.x + r.width, r.y + r.height / 2, 0, 0));
    if (r.y > 0) CHILD_CHECK(PixelNear(r.x + r.width / 2, r.y - 1, 0, 0) && PixelNear(r.x + r.width / 2, r.y + r.height, 0, 0));
  };
  long long shown = 0, all = 0;
  CHILD_CHECK(PlayMovieFile(clip.c_str(), false, o, &all) == 0);
  CHILD_CHECK(checked && all >= 28 && all <= 31);
  platform::SleepMs(300);
  const std::vector<Burst> heard = Bursts(sound, 0);
  CHILD_CHECK(!heard.empty() && heard[0].seconds > 0.5 && heard[0].rms[0] > 300);
  if (!c.last) std::_Exit(0);
  // A loop repeats until a character key: not one tapped before the movie starts, nor a
  // function key (F1 at frame 3); Space ends it in the second pass.
  platform::PushKeyEvent(Lumbo.window, 30, true);
  platform::PushKeyEvent(Lumbo.window, 30, false);
  o.afterDraw = [](long long frame) {
    if (frame == 3 || frame == 40) platform::PushKeyEvent(Lumbo.window, frame == 3 ? 59 : 57, true);
  };
  CHILD_CHECK(PlayMovieFile(clip.c_str(), true, o, &shown) == 0 && shown == 41);
  platform::PushKeyEvent(Lumbo.window, 57, false);
  // Closing the window during a movie ends the program (code 0) with the decoding thread and
  // FFmpeg's threads stopped: at exit no more threads run than before the movie.
  static const int before = ThreadCount();
  std::atexit([] { if (ThreadCount() > before) std::_Exit(3); });
  o.paced = false;
  o.afterDraw = [](long long frame) { if (frame == 5) platform::PushCloseEvent(__hWnd); };
  PlayMovieFile(clip.c_str(), true, o);
  std::_Exit(4);  // the close ends the program before this
}

}  // namespace

// Movies of 1 s at 30 frames per second, made by ffmpeg: a blue-grey picture whose top-left
// quarter is white, with a 440 Hz tone.
TEST(VideoTest, MoviesAreFittedHeardAndEndedByKeysOrClosing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
  if (options.find("detect_leaks=0") == std::string::npos) setenv("ASAN_OPTIONS", (options + ":detect_leaks=0").c_str(), 1);
  for (const Case& c : {Case{320, 240, 640, 360, {80, 0, 480, 360}, false}, Case{320, 180, 640, 480, {0, 60, 640, 360}, true}}) {
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height), clip = TempPath("clip" + size + ".mp4");
    ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y -f lavfi -i 'color=c=0x4080C0:s=" + size + ":r=30:d=1,drawbox=x=0:y=0:"
                    "w=iw/2:h=ih/2:color=white:t=fill' -f lavfi -i 'sine=frequency=440:duration=1' -c:v mpeg4 -q:v 2 "
                    "-pix_fmt yuv420p -c:a aac -shortest " + clip), 0);
    EXPECT_EXIT(PlayInWindow(c, clip), testing::ExitedWithCode(0), "") << size;
  }
}

TEST(VideoTest, MissingDamagedAndPictureLessFilesGiveThree) {
  EXPECT_EQ(PLAYMOVIE(TempPath("no-such-movie.mp4").c_str()), 3);
  EXPECT_EQ(LOOPMOVIE(TempPath("no-such-movie.mp4").c_str()), 3);
  std::vector<unsigned char> junk(4096);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<unsigned char>(i * 7919 >> 3);
  EXPECT_EQ(PLAYMOVIE(TempFile("junk.mp4", junk).c_str()), 3);
  ASSERT_EQ(Shell("ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=duration=0.2 " + TempPath("tone.ogg")), 0);
  EXPECT_EQ(PLAYMOVIE(TempPath("tone.ogg").c_str()), 3);
  EXPECT_EQ(FitMovie(100, 100, 641, 480), (MovieRect{80, 0, 480, 480}));
}
