// Untextured 2D drawing: pixels, lines, filled rectangles, reading a pixel back, shaded and
// textured polygons, the 2D viewport and the screen size.
#include <algorithm>
#include <cstring>

#include <tavelor/frame.h>
#include <tavelor/graphics2d.h>

#include "display/Display2D.h"
#include "values/Numbers.h"

namespace TAVELOR {

PolyPointList g_PolyPoints;
int g_nTexture = 0;

void PolyPointList::Clear() {
  data.reset();
  count = 0;
  capacity = 0;
}

void PolyPointList::Append(const PolyPointRecord& p) {
  if (count == capacity) {
    const int grown = capacity == 0 ? 512 : capacity + 128;
    std::unique_ptr<PolyPointRecord[]> next(new PolyPointRecord[grown]);
    if (count > 0) std::memcpy(next.get(), data.get(), sizeof(PolyPointRecord) * count);
    data = std::move(next);
    capacity = grown;
  }
  data[count++] = p;
}

namespace {
bool IsKeyColour(unsigned long colour) { return (colour & 0xFFFFFFFFul) == kSpriteColourKey; }

// The state shared by pixels, lines and rectangles: the colour scaled by the current alpha,
// no texture, no alpha test, and a projection nudged so integer coordinates hit pixel centres.
class PrimitiveScope {
 public:
  PrimitiveScope(OpenGLLumenar& l, unsigned long colour) : l_(l), saved_(l.selection) {
    l.FlushBatch();
    const float a = l.currentAlpha;
    glDisable(GL_ALPHA_TEST);
    auto scaled = [a](unsigned long c) { return static_cast<GLubyte>(static_cast<int>(static_cast<float>(c & 255) * a) & 255); };
    const GLubyte alpha = IsKeyColour(colour) ? 0 : static_cast<GLubyte>(static_cast<int>(a * 255) & 255);
    glColor4ub(scaled(colour), scaled(colour >> 8), scaled(colour >> 16), alpha);
    l.selection = {-1, -1, 0};
    if (glMultiTexCoord2fArb && glActiveTextureArb) {
      glActiveTextureArb(GL_TEXTURE1);
      glDisable(GL_TEXTURE_2D);
      glActiveTextureArb(GL_TEXTURE0);
      glDisable(GL_TEXTURE_2D);
    } else {
      glDisable(GL_TEXTURE_2D);
      glEnable(GL_COLOR_MATERIAL);
    }
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0);
    glMatrixMode(GL_MODELVIEW);
  }
  ~PrimitiveScope() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    const float a = l_.currentAlpha;
    glColor4f(a, a, a, a);
    l_.ApplyTextureSelection(saved_.slot, saved_.secondSlot, saved_.mipmapped);
    glEnable(GL_ALPHA_TEST);
  }
  PrimitiveScope(const PrimitiveScope&) = delete;
  PrimitiveScope& operator=(const PrimitiveScope&) = delete;

 private:
  OpenGLLumenar& l_;
  TextureSelection saved_;
};

// One pixel at window coordinates, y from the top.
void PlotPoint(float x, float y) {
  glBegin(GL_POINTS);
  glVertex2f(x, -(y + 1));
  glEnd();
}
}  // namespace

void OpenGLLumenar::DrawPixel(float x, float y, unsigned long colour) {
  if (!hasContext) return;
  PrimitiveScope scope(*this, colour);
  PlotPoint(x, y);
}

void OpenGLLumenar::DrawLine(float x1, float y1, float x2, float y2, unsigned long colour) {
  if (!hasContext) return;
  PrimitiveScope scope(*this, colour);
  glBegin(GL_LINES);
  glVertex2f(x1, -(y1 + 1));
  glVertex2f(x2, -(y2 + 1));
  glEnd();
  PlotPoint(x2, y2);  // lines leave out their last pixel; it is always wanted
}

void OpenGLLumenar::DrawRect(float x1, float y1, float x2, float y2, unsigned long colour) {
  if (!hasContext) return;
  PrimitiveScope scope(*this, colour);
  const float right = x2 + 1, bottom = y2 + 1;
  glBegin(GL_QUADS);
  glVertex2f(x1, -bottom);
  glVertex2f(right, -bottom);
  glVertex2f(right, -y1);
  glVertex2f(x1, -y1);
  glEnd();
}

unsigned int OpenGLLumenar::GetPixel(int x, int y) {
  FlushBatch();
  if (!hasContext || x < 0 || y < 0 || x >= displayWidth || y >= displayHeight) return 0;
  unsigned char rgb[3] = {0, 0, 0};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(x, displayHeight - y - 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  return static_cast<unsigned int>(rgb[0]) | static_cast<unsigned int>(rgb[1]) << 8 |
         static_cast<unsigned int>(rgb[2]) << 16;
}

void OpenGLLumenar::StartPoly(int slot) {
  g_nTexture = slot;
  g_PolyPoints.Clear();
}

void OpenGLLumenar::PolyPoint(int x, int y, float u, float v, unsigned long colour) {
  const float a = currentAlpha;
  PolyPointRecord p;
  p.x = static_cast<float>(x);
  p.y = -static_cast<float>(y);
  p.u = u;
  p.v = 1 - v;
  p.red = static_cast<float>(colour & 255) / 255 * a;
  p.green = static_cast<float>((colour >> 8) & 255) / 255 * a;
  p.blue = static_cast<float>((colour >> 16) & 255) / 255 * a;
  p.alpha = IsKeyColour(colour) ? 0.0f : 1.0f;
  g_PolyPoints.Append(p);
}

void OpenGLLumenar::EndPoly() {
  FlushBatch();
  if (!hasContext || g_PolyPoints.count < 3) return;
  // A slot beyond the sprite table draws untextured, like a negative one.
  const int texture = IsSpriteSlot(g_nTexture) ? g_nTexture : -1;
  ApplyTextureSelection(texture, -1, 0);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_DITHER);
  glShadeModel(GL_SMOOTH);
  if (glBindBufferArb) glBindBufferArb(GL_ARRAY_BUFFER_ARB, 0);  // client memory, not a buffer object
  const PolyPointRecord* p = g_PolyPoints.data.get();
  constexpr GLsizei stride = sizeof(PolyPointRecord);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, stride, &p->x);
  if (texture >= 0) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, &p->u);
  }
  glEnableClientState(GL_COLOR_ARRAY);
  glColorPointer(4, GL_FLOAT, stride, &p->red);
  glDrawArrays(GL_TRIANGLE_FAN, 0, g_PolyPoints.count);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glShadeModel(GL_FLAT);
  glEnable(GL_TEXTURE_2D);
  const float a = currentAlpha;
  glColor4f(a, a, a, a);
  glDisable(GL_DITHER);
  glDisable(GL_COLOR_MATERIAL);
}

// ---- Commands ------------------------------------------------------------------------

void SETPIXEL(double x, double y, double colour) {
  Lumbo.DrawPixel(static_cast<float>(TruncToInt(x)), static_cast<float>(TruncToInt(y)), TruncToColour(colour));
}

void DRAWLINE(double x1, double y1, double x2, double y2, double colour) {
  Lumbo.DrawLine(static_cast<float>(TruncToInt(x1)), static_cast<float>(TruncToInt(y1)),
                 static_cast<float>(TruncToInt(x2)), static_cast<float>(TruncToInt(y2)), TruncToColour(colour));
}

void FILLRECT(double x1, double y1, double x2, double y2, double colour) {
  const int ax = TruncToInt(x1), ay = TruncToInt(y1), bx = TruncToInt(x2), by = TruncToInt(y2);
  Lumbo.DrawRect(static_cast<float>(std::min(ax, bx)), static_cast<float>(std::min(ay, by)),
                 static_cast<float>(std::max(ax, bx)), static_cast<float>(std::max(ay, by)), TruncToColour(colour));
}

double GETPIXEL(double x, double y) { return Lumbo.GetPixel(TruncToInt(x), TruncToInt(y)); }

void STARTPOLY(double n) { Lumbo.StartPoly(TruncToInt(n)); }

void POLYVECTOR(double x, double y, double tx, double ty, double colour) {
  Lumbo.PolyPoint(TruncToInt(x), TruncToInt(y), static_cast<float>(tx), static_cast<float>(ty),
                  TruncToColour(colour));
}

void ENDPOLY() { Lumbo.EndPoly(); }

void VIEWPORT(double x, double y, double width, double height) {
  Lumbo.Make2DViewport(TruncToInt(x), TruncToInt(y), TruncToInt(width), TruncToInt(height));
}

void GETSCREENSIZE(double& width, double& height) {
  width = __DG_RESX;
  height = __DG_RESY;
}

}  // namespace TAVELOR
