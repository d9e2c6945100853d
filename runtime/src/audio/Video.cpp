#include "audio/Video.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <tavelor/audio.h>

#include "display/OpenGLLumenar.h"
#include "frame/Runtime.h"
#include "input/DXInput.h"
#include "platform/audio.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "platform/video.h"
#include "storage/ResolveArchivePath.h"

namespace TAVELOR {

namespace {

// Key codes that type a character (letters, digits, punctuation, space, Return, Backspace
// and the keypad): the keys that end a video. Modifiers, function and cursor keys do not.
bool IsCharacterKey(int code) {
  return (code >= 2 && code <= 14) || (code >= 16 && code <= 28) || (code >= 30 && code <= 41) ||
         (code >= 43 && code <= 53) || code == 55 || code == 57 || (code >= 71 && code <= 83) || code == 86 ||
         code == 141 || code == 156 || code == 181;
}

double Now() { return static_cast<double>(Lumbo.AccurateTime()); }

// Dispatches the window's messages (a close request ends the program there) and tells
// whether a character key or a mouse button is down.
bool KeyOrButtonDown() {
  if (!Lumbo.WinMessages()) __EndProgram();
  bool down = false;
  if (pDXin) {
    pDXin->GetKeyboardStatus();
    platform::ClearKeyTaps();
    for (int code = 0; code < 256 && !down; ++code) down = IsCharacterKey(code) && pDXin->IsKeyDown(code);
  }
  return platform::TakeMouseButton() || down;
}

// The pictures drawn into the game window with OpenGL; the game's drawing state is saved
// first and given back afterwards.
class MovieScreen {
 public:
  MovieScreen(const MovieRect& rect, int clientWidth, int clientHeight)
      : rect_(rect), bars_(rect.width < clientWidth || rect.height < clientHeight) {
    if (!Lumbo.hasContext) return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, clientWidth, clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, clientWidth, clientHeight);
    Lumbo.FlushBatch();  // the movie binds its own texture
    for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_BLEND, GL_CULL_FACE, GL_FOG, GL_ALPHA_TEST, GL_SCISSOR_TEST})
      glDisable(cap);
    if (glActiveTextureArb) {
      glActiveTextureArb(GL_TEXTURE1_ARB);
      glDisable(GL_TEXTURE_2D);
      glActiveTextureArb(GL_TEXTURE0_ARB);
    }
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glClearColor(0, 0, 0, 1);
    while (texWidth_ < rect.width) texWidth_ *= 2;
    while (texHeight_ < rect.height) texHeight_ *= 2;
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texWidth_, texHeight_, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  }
  ~MovieScreen() {
    if (!Lumbo.hasContext) return;
    glDeleteTextures(1, &texture_);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    // The game's next frame starts from a clean back buffer.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  MovieScreen(const MovieScreen&) = delete;
  MovieScreen& operator=(const MovieScreen&) = delete;

  // Draws the picture (BGRA rows from the top, the rectangle's size) into the back buffer.
  void Draw(const unsigned char* bgra) {
    if (!Lumbo.hasContext) return;
    if (bars_) glClear(GL_COLOR_BUFFER_BIT);  // a picture that fills the window covers everything
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, rect_.width, rect_.height, GL_BGRA, GL_UNSIGNED_BYTE, bgra);
    const float u = static_cast<float>(rect_.width) / static_cast<float>(texWidth_);
    const float v = static_cast<float>(rect_.height) / static_cast<float>(texHeight_);
    const float x0 = static_cast<float>(rect_.x), y0 = static_cast<float>(rect_.y);
    const float x1 = x0 + static_cast<float>(rect_.width), y1 = y0 + static_cast<float>(rect_.height);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    glTexCoord2f(u, 0);
    glVertex2f(x1, y0);
    glTexCoord2f(u, v);
    glVertex2f(x1, y1);
    glTexCoord2f(0, v);
    glVertex2f(x0, y1);
    glEnd();
  }
  void Show() {
    if (Lumbo.hasContext) platform::SwapWindow(Lumbo.window);
  }

 private:
  MovieRect rect_;
  bool bars_;
  GLuint texture_ = 0;
  int texWidth_ = 1, texHeight_ = 1;
};

// The sound of the movie, mixed over the game's sounds while the movie plays.
class MovieSound {
 public:
  explicit MovieSound(bool wanted) { open_ = wanted && platform::OpenSoundStream(&rate_, &channels_); }
  ~MovieSound() {
    if (open_) platform::CloseSoundStream();
  }
  MovieSound(const MovieSound&) = delete;
  MovieSound& operator=(const MovieSound&) = delete;
  void Attach(platform::MovieDecoder& d) const {
    if (open_) d.SetSoundFormat(rate_, channels_);
  }
  void Queue(std::vector<std::int16_t>* samples) const {
    if (open_ && !samples->empty()) platform::QueueSoundStream(samples->data(), samples->size());
    samples->clear();
  }
  // Lets the last queued sound play out (at most a second), unless interrupted.
  void Drain() const {
    const double until = Now() + 1000;
    while (open_ && platform::SoundStreamQueued() > 0 && Now() < until && !KeyOrButtonDown()) platform::SleepMs(5);
  }

 private:
  bool open_ = false;
  int rate_ = 0, channels_ = 0;
};

std::unique_ptr<platform::MovieDecoder> OpenMovie(const char* path, const MovieRect& rect, const MovieSound& sound) {
  std::unique_ptr<platform::MovieDecoder> d = platform::MovieDecoder::Open(path);
  if (d && !d->SetPictureSize(rect.width, rect.height)) d.reset();
  if (d) sound.Attach(*d);
  return d;
}

// A decoded picture with the sound decoded since the one before it.
struct Picture {
  std::vector<unsigned char> pixels;
  std::vector<std::int16_t> sound;
  double at = 0;  // seconds from the start of its pass
  int pass = 0;   // how often the movie had started over before it
};

class MovieFeeder;
// The movie playing now: the program's end (closing the window during it) stops it there,
// since the player's own clean-up never runs.
MovieFeeder* g_playing = nullptr;

// Decodes pictures ahead on a thread of its own, so that decoding and drawing overlap;
// hands them over in order. Looping movies start over here.
class MovieFeeder {
 public:
  MovieFeeder(std::string path, const MovieRect& rect, const MovieSound& sound, bool loop,
              std::unique_ptr<platform::MovieDecoder> movie)
      : path_(std::move(path)), rect_(rect), sound_(sound), loop_(loop), movie_(std::move(movie)) {
    thread_ = std::thread([this] { Run(); });
    g_playing = this;
  }
  ~MovieFeeder() {
    Stop();
    g_playing = nullptr;
  }
  // Stops and joins the decoding thread, then frees the decoder (and with it FFmpeg's
  // threads).
  void Stop() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    movie_.reset();
  }
  MovieFeeder(const MovieFeeder&) = delete;
  MovieFeeder& operator=(const MovieFeeder&) = delete;

  // Gives back the picture handed out before and waits for the next one; null at the end.
  Picture* Next() {
    std::unique_lock<std::mutex> hold(lock_);
    if (handedOut_) {
      head_ = (head_ + 1) % kSlots;
      --count_;
      handedOut_ = false;
      changed_.notify_all();
    }
    changed_.wait(hold, [this] { return count_ > 0 || done_; });
    if (count_ == 0) return nullptr;
    handedOut_ = true;
    return &slots_[head_];
  }
  // Sound decoded after the last picture.
  std::vector<std::int16_t>* TailSound() { return &tail_; }

 private:
  static constexpr int kSlots = 3;

  void Run() {
    int pass = 0;
    long long inPass = 0;
    std::vector<std::int16_t> carried;
    for (;;) {
      int slot = 0;
      {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return stop_ || count_ < kSlots; });
        if (stop_) return;
        slot = (head_ + count_) % kSlots;
      }
      Picture& p = slots_[slot];
      p.sound.swap(carried);
      carried.clear();
      const unsigned char* pixels = nullptr;
      if (!movie_->NextPicture(&pixels, &p.at, &p.sound)) {
        // The end: once more from the start when looping (a movie without a single picture
        // ends here all the same).
        carried.swap(p.sound);
        if (loop_ && inPass > 0 && (movie_ = OpenMovie(path_.c_str(), rect_, sound_))) {
          ++pass;
          inPass = 0;
          continue;
        }
        std::lock_guard<std::mutex> hold(lock_);
        tail_.swap(carried);
        done_ = true;
        changed_.notify_all();
        return;
      }
      p.pixels.assign(pixels, pixels + static_cast<std::size_t>(rect_.width) * rect_.height * 4);
      p.pass = pass;
      ++inPass;
      std::lock_guard<std::mutex> hold(lock_);
      ++count_;
      changed_.notify_all();
    }
  }

  const std::string path_;
  const MovieRect rect_;
  const MovieSound& sound_;
  const bool loop_;
  std::unique_ptr<platform::MovieDecoder> movie_;
  std::mutex lock_;
  std::condition_variable changed_;
  Picture slots_[kSlots];
  std::vector<std::int16_t> tail_;
  int head_ = 0, count_ = 0;
  bool handedOut_ = false, done_ = false, stop_ = false;
  std::thread thread_;
};

}  // namespace

MovieRect FitMovie(int movieWidth, int movieHeight, int clientWidth, int clientHeight) {
  MovieRect r;
  if (movieWidth < 1 || movieHeight < 1 || clientWidth < 1 || clientHeight < 1) return r;
  const std::int64_t mw = movieWidth, mh = movieHeight, cw = clientWidth, ch = clientHeight;
  if (cw * mh <= ch * mw) {  // the width limits the scale
    r.width = clientWidth;
    r.height = static_cast<int>(mh * cw / mw);
  } else {
    r.height = clientHeight;
    r.width = static_cast<int>(mw * ch / mh);
  }
  r.x = (clientWidth - r.width) / 2;
  r.y = (clientHeight - r.height) / 2;
  return r;
}

double PlayMovieFile(const char* path, bool loop, const MovieOptions& options, long long* shown) {
  if (shown) *shown = 0;
  std::unique_ptr<platform::MovieDecoder> probe = platform::MovieDecoder::Open(path);
  if (!probe) return 3;
  int cw = 0, ch = 0;
  platform::GetWindowClientSize(Lumbo.window, &cw, &ch);
  if (cw < 1 || ch < 1) {
    cw = __DG_RESX;
    ch = __DG_RESY;
  }
  const MovieRect rect = FitMovie(probe->Width(), probe->Height(), cw, ch);
  if (rect.width < 1 || rect.height < 1) return 0;  // nothing to show
  probe.reset();

  MovieSound sound(options.paced);
  std::unique_ptr<platform::MovieDecoder> movie = OpenMovie(path, rect, sound);
  if (!movie) return 3;
  MovieScreen screen(rect, cw, ch);
  MovieFeeder feeder(path, rect, sound, loop, std::move(movie));

  // A key or button still held from before does not end the movie at once.
  while (KeyOrButtonDown()) platform::SleepMs(1);

  double start = Now();
  int pass = 0;
  long long frames = 0;
  bool interrupted = false;
  while (Picture* p = feeder.Next()) {
    if (p->pass != pass) {
      pass = p->pass;
      start = Now();
    }
    sound.Queue(&p->sound);
    if (options.paced) {
      for (double wait = start + p->at * 1000 - Now(); wait > 0 && !interrupted; wait = start + p->at * 1000 - Now()) {
        interrupted = KeyOrButtonDown();
        platform::SleepMs(std::min(wait, 4.0));
      }
      if (interrupted) break;
    }
    screen.Draw(p->pixels.data());
    if (options.afterDraw) options.afterDraw(frames);
    screen.Show();
    ++frames;
    if ((interrupted = KeyOrButtonDown())) break;
  }
  if (!interrupted) {
    sound.Queue(feeder.TailSound());
    sound.Drain();
  }
  if (shown) *shown = frames;
  return 0;
}

void StopMovie() {
  if (g_playing) g_playing->Stop();
}

double PlayVideo(DGStr file, int loop) {
  const std::string path = ResolveMediaPath(file.c_str());
  if (path.empty()) return 3;
  return PlayMovieFile(path.c_str(), loop != 0);
}

double PLAYMOVIE(DGStr file) { return PlayVideo(file, 0); }
double LOOPMOVIE(DGStr file) { return PlayVideo(file, 1); }

}  // namespace TAVELOR
