// OpenGLLumenar core: construction, context, display modes, 2D viewport and frame flip.
#include "display/OpenGLLumenar.h"

#include <cstdlib>
#include <cstring>

#include <tavelor/frame.h>

#include "frame/ErrorLog.h"
#include "frame/Runtime.h"
#include "platform/platform.h"
#include "platform/replay.h"

namespace TAVELOR {

OpenGLLumenar Lumbo;

PFN_ActiveTexture glActiveTextureArb = nullptr;
PFN_MultiTexCoord2f glMultiTexCoord2fArb = nullptr;
PFN_ClientActiveTexture glClientActiveTextureArb = nullptr;
PFN_GenBuffers glGenBuffersArb = nullptr;
PFN_BindBuffer glBindBufferArb = nullptr;
PFN_BufferData glBufferDataArb = nullptr;
PFN_DeleteBuffers glDeleteBuffersArb = nullptr;
PFN_MapBuffer glMapBufferArb = nullptr;
PFN_UnmapBuffer glUnmapBufferArb = nullptr;

int num_windows = 0;

void save_desktop() { num_windows = 0; }
void restore_desktop() {
  // Placements are re-applied twice with a pause between; an empty store needs neither.
  if (num_windows == 0) return;
  restore_desktop1();
  platform::SleepMs(500);
  restore_desktop1();
}
void restore_desktop1() {}

bool IsSoftwareRenderer(const char* renderer) {
  if (!renderer) return false;
  return std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
         std::strstr(renderer, "swrast");
}

namespace {
// How long before a frame deadline the wait stops sleeping and watches the clock.
constexpr double kSpinMarginMs = 1.0;
// The longest single sleep, so window messages keep flowing while waiting.
constexpr double kMaxSleepMs = 4.0;

template <class F>
void Load(F& fn, const char* name) {
  fn = reinterpret_cast<F>(platform::GetGLProcAddress(name));
}

// Fences (OpenGL 3.2) for keeping the renderer at most one frame behind; null without them.
constexpr GLenum kSyncCommandsComplete = 0x9117;
constexpr GLbitfield kSyncFlushCommands = 0x1;
void* (*fenceSync)(GLenum, GLbitfield) = nullptr;
GLenum (*clientWaitSync)(void*, GLbitfield, unsigned long long) = nullptr;
void (*deleteSync)(void*) = nullptr;
void* g_frameFence = nullptr;  // set when the last frame was handed over

// Waits until the frame handed over before this one is drawn, then marks this one. A renderer
// that queues whole frames (Mesa's software rasteriser does) would otherwise run ever further
// behind, holding the memory of every queued frame and showing each one late.
void PaceRenderer() {
  if (!fenceSync || !clientWaitSync || !deleteSync) return;
  if (g_frameFence) {
    clientWaitSync(g_frameFence, kSyncFlushCommands, 1000000000ULL);
    deleteSync(g_frameFence);
  }
  g_frameFence = fenceSync(kSyncCommandsComplete, 0);
}
}  // namespace

// Every table starts empty where it is declared; only the clock needs setting up here.
OpenGLLumenar::OpenGLLumenar() {
  SetupAccurateTimer();
  nextFrameTime = platform::replay::PacingMilliseconds();
}

OpenGLLumenar::~OpenGLLumenar() { Shutdown(); }

void OpenGLLumenar::Shutdown() {
  FreeAll();
  if (window) DoWindowed();
  if (hasContext) platform::DeleteGLContext();
  hasContext = false;
  active = false;
}

void OpenGLLumenar::SetupAccurateTimer() {
  highResolutionClock = 0;
  counterFrequency = 0;
  std::uint64_t f = platform::PerformanceFrequency();
  if (f > 0) {
    counterFrequency = static_cast<double>(f);
    highResolutionClock = 1;
  }
}

long double OpenGLLumenar::AccurateTime() const {
  if (highResolutionClock)
    return static_cast<long double>(platform::PerformanceCounter()) * 1000.0L / counterFrequency;
  return static_cast<long double>(platform::TickCount());
}

void OpenGLLumenar::SetMaxFPS(int fps) { frameInterval = fps > 0 ? 1000.0 / fps : 2.0; }

int OpenGLLumenar::Init(HWND win, int width, int height, int bits, unsigned int fps) {
  FlushBatch();
  SetMaxFPS(static_cast<int>(fps));
  window = win;
  if (bits == 0) bits = platform::GetDesktopMode().bits;
  int w = 0, h = 0;
  platform::GetWindowClientSize(win, &w, &h);
  if (width == 0) width = std::abs(w);
  if (height == 0) height = std::abs(h);
  displayWidth = width;
  displayHeight = height;
  colourBits = bits;
  fullscreen = 0;

  hasContext = platform::CreateGLContext(win);
  SetDCPixelFormat();
  nextFrameTime = platform::replay::PacingMilliseconds();

  const char* ext = hasContext ? reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)) : nullptr;
  if (ext && std::strstr(ext, "GL_ARB_multitexture")) {
    Load(glActiveTextureArb, "glActiveTextureARB");
    Load(glMultiTexCoord2fArb, "glMultiTexCoord2fARB");
    Load(glClientActiveTextureArb, "glClientActiveTextureARB");
    Load(glGenBuffersArb, "glGenBuffersARB");
    Load(glBindBufferArb, "glBindBufferARB");
    Load(glBufferDataArb, "glBufferDataARB");
    Load(glDeleteBuffersArb, "glDeleteBuffersARB");
    Load(glMapBufferArb, "glMapBufferARB");
    Load(glUnmapBufferArb, "glUnmapBufferARB");
  }
  g_frameFence = nullptr;  // a fence of an earlier context is gone with it
  fenceSync = nullptr;
  clientWaitSync = nullptr;
  deleteSync = nullptr;
  if (ext && std::strstr(ext, "GL_ARB_sync")) {
    Load(fenceSync, "glFenceSync");
    Load(clientWaitSync, "glClientWaitSync");
    Load(deleteSync, "glDeleteSync");
  }
  Make2DViewport(0, 0, 0, 0);
  active = true;
  return 1;
}

void OpenGLLumenar::SetDCPixelFormat() {
  FlushBatch();
  if (!hasContext) return;
  pixelFormatChosen = true;
  softwareRendering = IsSoftwareRenderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  if (softwareRendering) {
    platform::MessageBox("!!OpenGL Software Emulation!!",
                         "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
                         "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE unterst\xC3\xBCtzt!");
    AppendErrorLog("OpenGL Software Emulation");
  } else {
    AppendErrorLog("OpenGL Hardware Support");
  }
}

bool OpenGLLumenar::DoFullscreen() {
  int desktopBits = platform::GetDesktopMode().bits;
  bool ok = false;
  if (colourBits != 0 && colourBits != desktopBits)
    ok = platform::EnterFullscreen(window, displayWidth, displayHeight, colourBits);
  else
    ok = platform::EnterFullscreen(window, displayWidth, displayHeight, 0);
  bool retried = false;
  if (!ok) {
    ok = platform::EnterFullscreen(window, displayWidth, displayHeight, 0);
    retried = ok;
  }
  if (!ok) {
    AppendErrorLog("No Fullscreen Mode available");
    DoWindowed();
    return false;
  }
  if (retried) colourBits = desktopBits;
  platform::ShowWindow(window, true);
  platform::RaiseWindow(window);
  ChangeSize(displayWidth, displayHeight);
  fullscreen = 1;
  return true;
}

bool OpenGLLumenar::DoWindowed() {
  if (fullscreen) {
    platform::LeaveFullscreen(window);
    restore_desktop();
  }
  int x = 0, y = 0;
  platform::GetWindowPosition(window, &x, &y);
  platform::SetWindowClientSize(window, displayWidth, displayHeight);
  platform::SetWindowPosition(window, x, y);
  platform::ShowWindow(window, true);
  ResizeAuto();
  fullscreen = 0;
  return true;
}

bool OpenGLLumenar::HideWindow() {
  if (fullscreen) platform::LeaveFullscreen(window);
  platform::ShowWindow(window, false);
  fullscreen = 0;
  return true;
}

void OpenGLLumenar::ResizeAuto() { Make2DViewport(0, 0, 0, 0); }

void OpenGLLumenar::ChangeSize(int width, int height) {
  displayWidth = width;
  displayHeight = height;
  Make2DViewport(0, 0, 0, 0);
}

void OpenGLLumenar::Make2DViewport(int x, int y, int width, int height) {
  FlushBatch();
  if (width < 1 || height < 1) {
    width = displayWidth;
    height = displayHeight;
  }
  viewport[0] = x;
  viewport[1] = y;
  viewport[2] = width;
  viewport[3] = height;
  if (!hasContext) return;
  glViewport(x, displayHeight - height - y, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, -height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0);
  glColor4f(1, 1, 1, 1);
  glClearColor(0, 0, 0, 1);
  glShadeModel(GL_FLAT);
  for (GLenum cap : {GL_DITHER, GL_FOG, GL_LINE_SMOOTH, GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                     GL_POLYGON_OFFSET_POINT, GL_COLOR_MATERIAL, GL_AUTO_NORMAL, GL_NORMALIZE, GL_LIGHTING})
    glDisable(cap);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
}

int OpenGLLumenar::WinMessages() {
  platform::Message m;
  while (platform::PeekMessage(&m)) __WndProc_(window, m.message, m.wParam, m.lParam);
  return 1;
}

long double OpenGLLumenar::FlipScreens() {
  FlushBatch();
  if (hasContext) {
    glFlush();
    PaceRenderer();
    platform::SwapWindow(window);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  // The frame cap's wait reads the live clock (a recording holds only the game's clock
  // readings); a replay makes no wait.
  const double start = platform::replay::PacingMilliseconds();
  WinMessages();
  double now = platform::replay::PacingMilliseconds();
  if (platform::replay::PacingSkipped()) nextFrameTime = now - 1;
  // Sleep while the deadline is far, then watch the clock for the last part; messages
  // are dispatched on every pass either way.
  while (now <= nextFrameTime) {
    double remaining = nextFrameTime - now;
    if (remaining > kSpinMarginMs) {
      double nap = remaining - kSpinMarginMs;
      platform::SleepMs(nap < kMaxSleepMs ? nap : kMaxSleepMs);
    }
    WinMessages();
    now = platform::replay::PacingMilliseconds();
  }
  nextFrameTime += frameInterval;
  if (frameInterval > 0) {
    while (nextFrameTime < now) nextFrameTime += frameInterval;
  }
  return 1.0L + static_cast<long double>(now - start);
}

void OpenGLLumenar::FreeAll() {
  const bool gl = hasContext && platform::HasGLContext();
  FlushBatch();
  for (int i = 0; i < kSpriteSlots; ++i) {
    if (gl) glDeleteTextures(2, textureNames[i]);
    textureNames[i][0] = textureNames[i][1] = 0;
    textureWidth[i] = -1;
    textureHeight[i] = -1;
    delete[] alphaMask[i];
    alphaMask[i] = nullptr;
  }
  for (Surface& s : surfaces) {
    if (gl) {
      for (int c = 0; c < s.columns && c < kSurfaceTiles; ++c)
        for (int r = 0; r < s.rows && r < kSurfaceTiles; ++r) glDeleteTextures(1, &s.texture[c][r]);
    }
    std::memset(&s, 0, sizeof s);
  }
}

}  // namespace TAVELOR
