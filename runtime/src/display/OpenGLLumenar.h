// OpenGLLumenar: the display engine. It owns the OpenGL context of the program window,
// switches display modes, sets up 2D drawing, paces and presents frames, and holds the
// texture tables of sprites, fonts and surfaces.
#pragma once

#include <GL/gl.h>

#include <array>

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

// Sizes for every sprite slot, each -1: the slot is empty.
constexpr std::array<int, kSpriteSlots> EmptySlotSizes() {
  std::array<int, kSpriteSlots> sizes{};
  sizes.fill(-1);
  return sizes;
}

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

  // ---- Bitmaps, sprites, fonts, primitives, capture ----
  // Slot, font and surface numbers outside their tables make these do nothing (false or 0).
  bool GetBMPSize(const char* file, int* width, int* height);
  int MakeBMPTexture(const char* file, int x, int y, int width, int height, unsigned int* name,
                     unsigned int* mipName, unsigned long key, bool useKey, bool bump);
  bool LoadSprite(int slot, const char* file, unsigned long key, bool bump);
  bool LoadFont(int font, const char* file);
  bool LoadSurface(int surface, const char* file, bool unused = false);
  bool GrabSprite(int slot, int x, int y, int width, int height);
  bool GrabSurface(int surface);
  bool GetSpritePixels(int slot);
  void FreeSprite(int slot);
  void FreeSurface(int surface);
  void GetSpriteSize(int slot, int* width, int* height) const;
  void GetFontSize(int font, int* width, int* height) const;
  void DrawSprite(int slot, float x, float y);
  void StretchSprite(int slot, float x, float y, float width, float height);
  void RotoSprite(int slot, float x, float y, float angle);
  void DrawSpriteFX(int slot, float x, float y, const struct OPENGL_SPRITEFX& fx);
  void DoAlpha(float a);
  bool SpriteCollision(int a, int b, int ax, int ay, int bx, int by);
  void Text2D(int font, const char* text, float x, float y, float z);
  void DrawPixel(float x, float y, unsigned long colour);
  void DrawLine(float x1, float y1, float x2, float y2, unsigned long colour);
  void DrawRect(float x1, float y1, float x2, float y2, unsigned long colour);
  unsigned int GetPixel(int x, int y);
  void StartPoly(int slot);
  void PolyPoint(int x, int y, float u, float v, unsigned long colour);
  void EndPoly();
  bool SaveMemoryToBMP(const char* file, unsigned char* pixels, int width, int height, int sourceWidth,
                       int sourceHeight, bool flip);
  bool SaveBMPFile(const char* file);
  bool SaveBMPSprite(int slot, const char* file);
  void BlendToSurface(int from, int to);
  // Binds a sprite's plain texture on unit 0 for a 2D draw (unit 1 off) and selects {slot, -1, 0}.
  // The binding is remembered: while nothing else uses OpenGL, binding the same sprite again
  // issues no OpenGL call.
  void BindSprite(int slot);
  // Ends a run of sprite drawing: forgets the remembered sprite binding, so that the next sprite
  // sets its state again. Sprites drawn one after the other with the same texture change no
  // OpenGL state, and the driver draws their quads together in one batch. Every other use of
  // OpenGL (2D primitives, surfaces, texture uploads, pixel reads, presenting the frame, 3D
  // drawing) must call this first, as it may change the texture units and bindings.
  void FlushBatch();
  // Makes a texture selection current: stores it and binds as the 3D texture selection does
  // (-1 for none; the twin when mip is non-zero; the second texture on unit 0, the first on 1).
  void ApplyTextureSelection(int texture, int second, int mip);
  // The 3D texture selection (X_SETTEXTURE): ApplyTextureSelection, except that a slot number
  // beyond the sprite table makes it do nothing.
  void SetTexture3D(int texture, int second, int mip);

  // ---- Drawing into the 3D scene (OpenGLLumenarBillboards.cpp) ----
  // Sprite slot as an upright billboard facing the camera, (x, y, z) the middle of its bottom
  // edge, scale x image width / 2 wide and scale x image height / 2 high. Slots outside the
  // table or without a picture draw nothing; the texture selection is kept.
  void DrawBillboard(int slot, float x, float y, float z, float scale);
  // Text of a font: size 0 at the font's pixel size with its top-left corner at the projected
  // point, else in the world facing the camera, each glyph (picture width / 16) x size square.
  // Leaves face culling as it was and the font's texture selected.
  void Text3D(int font, const char* text, float x, float y, float z, float size);

  // ---- Data model ----
  GLuint textureNames[kSpriteSlots][2] = {};  // [slot][0 plain, 1 mipmapped twin]
  TextureSelection selection = {0, -1, 0};
  float currentAlpha = 1.0f;
  std::array<int, kSpriteSlots> textureWidth = EmptySlotSizes();  // power of two; -1 when empty
  std::array<int, kSpriteSlots> textureHeight = EmptySlotSizes();
  int imageWidth[kSpriteSlots] = {};
  int imageHeight[kSpriteSlots] = {};
  void* palette = nullptr;  // no palette-based formats here: always null
  unsigned char* alphaMask[kSpriteSlots] = {};
  HWND window = nullptr;
  int displayWidth = 0;
  int displayHeight = 0;
  int colourBits = 0;
  int fullscreen = 0;
  int viewport[4] = {};  // x, y, width, height; y from the top
  Surface surfaces[kSurfaces] = {};
  bool active = false;
  double nextFrameTime = 0;  // set from the clock by the constructor
  double frameInterval = 0;
  bool hasContext = false;
  double counterFrequency = 0;
  int highResolutionClock = 0;

  // Report of the pixel format, kept for the tests: true when Mesa renders in software.
  bool softwareRendering = false;
  bool pixelFormatChosen = false;

 private:
  bool spriteBound_ = false;  // OpenGL has unit 1 off and boundSprite_ bound and on in unit 0
  GLuint boundSprite_ = 0;
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
