// 3D primitives in world coordinates: lines, dots, coordinate axes, and the wire-frame sphere
// and box that show the collision tests' volumes; the X_LINE, X_DOT, X_DRAWAXES, X_SPRITE and
// X_PRINT commands.
#include <algorithm>
#include <cmath>

#include <tavelor/frame.h>
#include <tavelor/scene3d.h>

#include "display/OpenGLLumenar.h"
#include "scene3d/Lumenar3D.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {

void ColourOf(unsigned long colour) {
  glColor3f(static_cast<float>(colour & 0xFF) / 255.0f, static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
            static_cast<float>((colour >> 16) & 0xFF) / 255.0f);
}

// Keeps the material and the colour-material switch while it lives: the primitives colour
// themselves through GL_COLOR_MATERIAL, which would otherwise leave their colour in the material
// of every lit object drawn after them.
class KeepMaterial {
 public:
  KeepMaterial() { glPushAttrib(GL_LIGHTING_BIT); }
  ~KeepMaterial() { glPopAttrib(); }
  KeepMaterial(const KeepMaterial&) = delete;
  KeepMaterial& operator=(const KeepMaterial&) = delete;
};

// Untextured drawing while it lives: texturing off on every unit when a sprite texture is
// selected, and that selection made current again afterwards.
class NoTexture {
 public:
  explicit NoTexture(OpenGLLumenar& l) : l_(l), saved_(l.selection), active_(l.selection.slot >= 0) {
    l.FlushBatch();
    if (!active_) return;
    if (glMultiTexCoord2fArb && glActiveTextureArb) {
      glActiveTextureArb(GL_TEXTURE1);
      glDisable(GL_TEXTURE_2D);
      glActiveTextureArb(GL_TEXTURE0);
    }
    glDisable(GL_TEXTURE_2D);
  }
  ~NoTexture() {
    if (active_) l_.ApplyTextureSelection(saved_.slot, saved_.secondSlot, saved_.mipmapped);
  }
  NoTexture(const NoTexture&) = delete;
  NoTexture& operator=(const NoTexture&) = delete;

 private:
  OpenGLLumenar& l_;
  TextureSelection saved_;
  bool active_;
};

// Widths and sizes of lines and dots: 1..512 pixels (NaN gives 1).
float ClampPixels(double v) { return v >= 1 ? static_cast<float>(std::min(v, 512.0)) : 1.0f; }

// The regular icosahedron: 12 unit vertices and 20 faces.
constexpr float kX = 0.525731112119133606f;
constexpr float kZ = 0.850650808352039932f;
const float kIcosahedron[12][3] = {{-kX, 0, kZ}, {kX, 0, kZ},   {-kX, 0, -kZ}, {kX, 0, -kZ},
                                   {0, kZ, kX},  {0, kZ, -kX},  {0, -kZ, kX},  {0, -kZ, -kX},
                                   {kZ, kX, 0},  {-kZ, kX, 0},  {kZ, -kX, 0},  {-kZ, -kX, 0}};
const int kIcosahedronFaces[20][3] = {{0, 4, 1},  {0, 9, 4},  {9, 5, 4},  {4, 5, 8},  {4, 8, 1},
                                      {8, 10, 1}, {8, 3, 10}, {5, 3, 8},  {5, 2, 3},  {2, 7, 3},
                                      {7, 10, 3}, {7, 6, 10}, {7, 11, 6}, {11, 0, 6}, {0, 1, 6},
                                      {6, 1, 10}, {9, 0, 11}, {9, 11, 2}, {9, 2, 5},  {7, 2, 11}};

// out = a + b, normalised unless it has no length.
void Midpoint(const float* a, const float* b, float* out) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] + b[i];
  const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
  if (length != 0)
    for (int i = 0; i < 3; ++i) out[i] /= length;
}

// The four triangles of (a, b, c) split at its edge midpoints.
void Subdivide(float* centre, float radius, float* a, float* b, float* c, int depth) {
  float ab[3], bc[3], ca[3];
  Midpoint(a, b, ab);
  Midpoint(b, c, bc);
  Midpoint(c, a, ca);
  SubdivideSphereGrid(centre, radius, a, ab, ca, depth);
  SubdivideSphereGrid(centre, radius, b, bc, ab, depth);
  SubdivideSphereGrid(centre, radius, c, ca, bc, depth);
  SubdivideSphereGrid(centre, radius, ab, bc, ca, depth);
}

}  // namespace

void Lumenar3D::DrawLine(const float* p1, const float* p2, unsigned long colour, float width) {
  if (!display->hasContext) return;
  glPushMatrix();
  {
    KeepMaterial material;
    glEnable(GL_COLOR_MATERIAL);
    ColourOf(colour);
    glEnable(GL_LINE_SMOOTH);
    NoTexture untextured(*display);
    glLineWidth(width);
    glBegin(GL_LINES);
    glVertex3fv(p1);
    glVertex3fv(p2);
    glEnd();
    glLineWidth(1);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_COLOR_MATERIAL);
  }
  const float a = display->currentAlpha;
  glColor4f(a, a, a, a);
  glPopMatrix();
}

void Lumenar3D::DrawDot(const float* p, unsigned long colour, float size) {
  if (!display->hasContext) return;
  glPushMatrix();
  {
    KeepMaterial material;
    glEnable(GL_COLOR_MATERIAL);
    ColourOf(colour);
    glEnable(GL_POINT_SMOOTH);
    NoTexture untextured(*display);
    glPointSize(size);
    glBegin(GL_POINTS);
    glVertex3fv(p);
    glEnd();
    glPointSize(1);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_COLOR_MATERIAL);
  }
  const float a = display->currentAlpha;
  glColor4f(a, a, a, a);
  glPopMatrix();
}

void Lumenar3D::DrawCoordAxis(float x, float y, float z) {
  if (!display->hasContext) return;
  static const float kArrows[3][8][3] = {
      {{0, 0, 0}, {1, 0, 0}, {0.75f, 0.25f, 0}, {0.75f, -0.25f, 0}, {1, 0, 0}, {0.75f, 0, 0.25f}, {0.75f, 0, -0.25f}, {1, 0, 0}},
      {{0, 0, 0}, {0, 1, 0}, {0, 0.75f, 0.25f}, {0, 0.75f, -0.25f}, {0, 1, 0}, {0.25f, 0.75f, 0}, {-0.25f, 0.75f, 0}, {0, 1, 0}},
      {{0, 0, 0}, {0, 0, 1}, {0.25f, 0, 0.75f}, {-0.25f, 0, 0.75f}, {0, 0, 1}, {0, 0.25f, 0.75f}, {0, -0.25f, 0.75f}, {0, 0, 1}}};
  glPushMatrix();
  glLoadMatrixf(cameraMatrix);
  glTranslatef(x, y, z);
  glScalef(20, 20, 20);
  for (int axis = 0; axis < 3; ++axis) {
    glColor3f(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f);
    glBegin(GL_LINE_STRIP);
    for (const float* v : kArrows[axis]) glVertex3fv(v);
    glEnd();
  }
  glPopMatrix();
}

void SubdivideSphereGrid(float* centre, float radius, float* a, float* b, float* c, int depth) {
  if (depth > 0) {
    Subdivide(centre, radius, a, b, c, depth - 1);
    return;
  }
  glBegin(GL_LINE_LOOP);
  for (const float* v : {a, b, c})
    glVertex3f(centre[0] + radius * v[0], centre[1] + radius * v[1], centre[2] + radius * v[2]);
  glEnd();
}

void Lumenar3D::DrawSphereGrid(float* centre, float radius, unsigned long colour, short lineWidth) {
  if (!display->hasContext) return;
  {
    KeepMaterial material;
    NoTexture untextured(*display);
    for (const int* face : kIcosahedronFaces) {
      float a[3], b[3], c[3];
      std::copy(kIcosahedron[face[0]], kIcosahedron[face[0]] + 3, a);
      std::copy(kIcosahedron[face[1]], kIcosahedron[face[1]] + 3, b);
      std::copy(kIcosahedron[face[2]], kIcosahedron[face[2]] + 3, c);
      glPushMatrix();
      ColourOf(colour);
      glDisable(GL_BLEND);
      glEnable(GL_COLOR_MATERIAL);
      glLineWidth(lineWidth);
      Subdivide(centre, radius, a, b, c, 0);
      glLineWidth(1);
      glDisable(GL_COLOR_MATERIAL);
      glPopMatrix();
    }
  }
  glColor3f(1, 1, 1);
}

void Lumenar3D::DrawAABB(const float* centre, const float* a, const float* b, const float* c, unsigned long colour,
                         short lineWidth) {
  if (!display->hasContext) return;
  // Corner k is centre + (k&1 ? a : -a) + (k&2 ? b : -b) + (k&4 ? c : -c); an edge joins two
  // corners that differ in one bit.
  float corner[8][3];
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 3; ++i)
      corner[k][i] = centre[i] + (k & 1 ? a[i] : -a[i]) + (k & 2 ? b[i] : -b[i]) + (k & 4 ? c[i] : -c[i]);
  {
    KeepMaterial material;
    NoTexture untextured(*display);
    glPushMatrix();
    ColourOf(colour);
    glDisable(GL_BLEND);
    glEnable(GL_COLOR_MATERIAL);
    glLineWidth(lineWidth);
    glBegin(GL_LINES);
    for (int k = 0; k < 8; ++k)
      for (int bit = 1; bit < 8; bit <<= 1)
        if (!(k & bit)) {
          glVertex3fv(corner[k]);
          glVertex3fv(corner[k | bit]);
        }
    glEnd();
    glLineWidth(1);
    glDisable(GL_COLOR_MATERIAL);
    glPopMatrix();
  }
  glColor3f(1, 1, 1);
}

// ---- Commands --------------------------------------------------------------------------------

void X_LINE(double x1, double y1, double z1, double x2, double y2, double z2, double width, double colour) {
  const float p1[3] = {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(z1)};
  const float p2[3] = {static_cast<float>(x2), static_cast<float>(y2), static_cast<float>(z2)};
  lumbo3D.DrawLine(p1, p2, TruncToColour(colour), ClampPixels(width));
}

void X_DOT(double x, double y, double z, double size, double colour) {
  const float p[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  lumbo3D.DrawDot(p, TruncToColour(colour), ClampPixels(size));
}

void X_DRAWAXES(double x, double y, double z) {
  lumbo3D.DrawCoordAxis(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void X_SPRITE(double n, double x, double y, double z, double scale) {
  // Back faces culled around the draw, then the mode last given to X_CULLMODE.
  lumbo3D.CullMode(-1);
  Lumbo.DrawBillboard(TruncToInt(n), static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                      static_cast<float>(scale));
  lumbo3D.CullMode(__current_cullmode);
}

void X_PRINT(DGStr text, double x, double y, double z, double size) {
  Lumbo.Text3D(__nCurFont, text.c_str(), static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
               static_cast<float>(size));
}

}  // namespace TAVELOR
