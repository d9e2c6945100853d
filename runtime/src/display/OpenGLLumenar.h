// OpenGLLumenar: the display engine. It owns the OpenGL context of the program window,
// switches display modes, sets up 2D drawing, paces and presents frames, and holds the
// texture tables of sprites, fonts and surfaces.
#pragma once

#include <GL/gl.h>

#include <tavelor/wintypes.h>

namespace TAVELOR {

constexpr int kSpriteSlots = 4096;
constexpr int kFontSlots = 16;
constexpr int kFirstFontSlot = 4080;  // font n lives in sprite slot 4080 + n
constexpr int kSurfaces = 16;
constexpr int kSurfaceTiles = 64;     // columns and rows per surface
constexpr int kSurfaceTileSize = 64;  // pixels per tile side
constexpr int kSavedWindows = 256;

struct Surface {
  GLuint texture[kSurfaceTiles][kSurfaceTiles];  // [column][row]
  int tileWidth[kSurfaceTiles][kSurfaceTiles];
  int tileHeight[kSurfaceTiles][kSurfaceTiles];
  int columns;
  int rows;
};

struct TextureSelection {
  int slot;
  int secondSlot;  // -1 for none
  int mipmapped;   // 0 or 1
};

class OpenGLLumenar {
 public:
  OpenGLLumenar();
  virtual ~OpenGLLumenar();
  OpenGLLumenar(const OpenGLLumenar&) = delete;
  OpenGLLumenar& operator=(const OpenGLLumenar&) = delete;

  int Init(HWND window, int width, int height, int bits, unsigned int fps);
  bool DoFullscreen();
  bool DoWindowed();
  bool HideWindow();
  void ResizeAuto();
  void ChangeSize(int width, int height);
  void Make2DViewport(int x, int y, int width, int height);
  long double FlipScreens();
  int WinMessages();
  void SetMaxFPS(int fps);
  void SetupAccurateTimer();
  long double AccurateTime() const;
  bool IsActive() const { return active; }
  void SetDCPixelFormat();
  void FreeAll();
  // Releases the context and restores the display; the destructor calls it, and
  // shut-down calls it before the window goes away.
  void Shutdown();

  // Draws background surface n into the back buffer (nothing when it holds no tiles).
  void PasteSurface(int n);

  // ---- Data model ----
  GLuint textureNames[kSpriteSlots][2];  // [slot][0 plain, 1 mipmapped twin]
  TextureSelection selection;
  float currentAlpha;
  int textureWidth[kSpriteSlots];   // power of two; -1 when empty
  int textureHeight[kSpriteSlots];
  int imageWidth[kSpriteSlots];
  int imageHeight[kSpriteSlots];
  void* palette;                     // no palette-based formats here: always null
  unsigned char* alphaMask[kSpriteSlots];
  HWND window;
  int displayWidth;
  int displayHeight;
  int colourBits;
  int fullscreen;
  int viewport[4];  // x, y, width, height; y from the top
  Surface surfaces[kSurfaces];
  bool active;
  double nextFrameTime;
  double frameInterval;
  bool hasContext;
  double counterFrequency;
  int highResolutionClock;

  // Report of the pixel format, kept for the tests: true when Mesa renders in software.
  bool softwareRendering = false;
  bool pixelFormatChosen = false;
};

// The nine extension entry points, null until Init finds "GL_ARB_multitexture".
using PFN_ActiveTexture = void (*)(GLenum);
using PFN_MultiTexCoord2f = void (*)(GLenum, GLfloat, GLfloat);
using PFN_ClientActiveTexture = void (*)(GLenum);
using PFN_GenBuffers = void (*)(GLsizei, GLuint*);
using PFN_BindBuffer = void (*)(GLenum, GLuint);
using PFN_BufferData = void (*)(GLenum, long, const void*, GLenum);
using PFN_DeleteBuffers = void (*)(GLsizei, const GLuint*);
using PFN_MapBuffer = void* (*)(GLenum, GLenum);
using PFN_UnmapBuffer = GLboolean (*)(GLenum);
extern PFN_ActiveTexture glActiveTextureArb;
extern PFN_MultiTexCoord2f glMultiTexCoord2fArb;
extern PFN_ClientActiveTexture glClientActiveTextureArb;
extern PFN_GenBuffers glGenBuffersArb;
extern PFN_BindBuffer glBindBufferArb;
extern PFN_BufferData glBufferDataArb;
extern PFN_DeleteBuffers glDeleteBuffersArb;
extern PFN_MapBuffer glMapBufferArb;
extern PFN_UnmapBuffer glUnmapBufferArb;

// The desktop placement store. Nothing fills it, so restoring it costs nothing.
extern int num_windows;
void save_desktop();
void restore_desktop();
void restore_desktop1();

// True when a GL_RENDERER string names one of Mesa's software rasterisers.
bool IsSoftwareRenderer(const char* renderer);

extern OpenGLLumenar Lumbo;

}  // namespace TAVELOR
