// Drawing object slots: frame blending, the view-cone test, the static and dynamic vertex
// buffers, bump mapping with a DOT3 combiner, cel shading with its outline pass, and the
// commands X_DRAWOBJ and X_DRAWANIM.
#include <tavelor/scene3d.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/OpenGLLumenar.h"
#include "scene3d/Lumenar3D.h"
#include "scene3d/Math3D.h"
#include "values/Numbers.h"

namespace TAVELOR {

namespace {

constexpr GLsizei kStride = sizeof(POLY_NODE);
constexpr std::size_t kPositionAt = offsetof(POLY_NODE, position);
constexpr std::size_t kNormalAt = offsetof(POLY_NODE, normal);
constexpr std::size_t kTexCoordAt = offsetof(POLY_NODE, u);
constexpr std::size_t kWorkAt = offsetof(POLY_NODE, work);
constexpr std::size_t kCelCoordAt = offsetof(POLY_NODE, binormal);
constexpr std::size_t kRgbAt = offsetof(POLY_NODE, rgb);

// Brightness ramp of the cel texture, from the shadow side to the lit side.
constexpr int kCelRamp[16] = {100, 160, 160, 160, 160, 160, 160, 207, 255, 255, 255, 255, 255, 255, 255, 255};

// Square root from the float's bit pattern: halves the exponent, good to a few percent.
float ApproxSqrt(float x) {
  std::uint32_t bits;
  std::memcpy(&bits, &x, 4);
  bits += 0xC0800000u;
  bits >>= 1;
  bits += 0x3F800000u;
  float r;
  std::memcpy(&r, &bits, 4);
  return r;
}

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Normalise(float* v) {
  const float len = std::sqrt(Dot(v, v));
  if (len > 0) {
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

bool HasBuffers() { return glGenBuffersArb && glBindBufferArb && glBufferDataArb && glDeleteBuffersArb; }
bool HasMultitexture() { return glMultiTexCoord2fArb && glActiveTextureArb && glClientActiveTextureArb; }

// Creates or refills a buffer with count records from source and leaves it bound.
void FillBuffer(GLuint& buffer, const POLY_NODE* source, std::int32_t count, bool dynamic) {
  const long bytes = static_cast<long>(count) * kStride;
  if (buffer == 0) {
    glGenBuffersArb(1, &buffer);
    glBindBufferArb(GL_ARRAY_BUFFER_ARB, buffer);
    glBufferDataArb(GL_ARRAY_BUFFER_ARB, bytes, source, dynamic ? GL_STREAM_DRAW_ARB : GL_STATIC_DRAW_ARB);
    return;
  }
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, buffer);
  if (!dynamic) return;  // the static buffer keeps frame 0 as first uploaded
  if (glMapBufferArb && glUnmapBufferArb) {
    // Orphan the old storage so the copy never waits for a draw still reading it.
    glBufferDataArb(GL_ARRAY_BUFFER_ARB, bytes, nullptr, GL_STREAM_DRAW_ARB);
    if (void* p = glMapBufferArb(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB)) {
      std::memcpy(p, source, static_cast<std::size_t>(bytes));
      glUnmapBufferArb(GL_ARRAY_BUFFER_ARB);
      return;
    }
  }
  glDeleteBuffersArb(1, &buffer);
  glGenBuffersArb(1, &buffer);
  glBindBufferArb(GL_ARRAY_BUFFER_ARB, buffer);
  glBufferDataArb(GL_ARRAY_BUFFER_ARB, bytes, source, GL_STREAM_DRAW_ARB);
}

const char* At(const char* base, std::size_t offset) { return base + offset; }

void DisableArrays() {
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  if (HasMultitexture()) {
    glClientActiveTextureArb(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTextureArb(GL_TEXTURE0);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  if (glBindBufferArb) glBindBufferArb(GL_ARRAY_BUFFER_ARB, 0);
}

}  // namespace

void MeshObjectX::MakeCelShadeTexutre() {
  if (celTexture != 0 || !Lumbo.hasContext) return;
  Lumbo.FlushBatch();  // binds the new texture
  int height = 1;
  while (height < palette.count && height < 32768) height *= 2;
  celRowStep = 1.0f / static_cast<float>(height);

  std::vector<unsigned char> texels(static_cast<std::size_t>(height) * 16 * 4);
  for (int r = 0; r < height; ++r) {
    std::uint32_t colour = r < palette.count ? palette[r] : palette.count > 0 ? palette[0] : 0x00FFFFFFu;
    if (colour >= kNoColour) colour = 0x00FFFFFFu;
    for (int i = 0; i < 16; ++i) {
      unsigned char* t = &texels[(static_cast<std::size_t>(r) * 16 + i) * 4];
      t[0] = static_cast<unsigned char>((colour & 255) * kCelRamp[i] / 255);
      t[1] = static_cast<unsigned char>(((colour >> 8) & 255) * kCelRamp[i] / 255);
      t[2] = static_cast<unsigned char>(((colour >> 16) & 255) * kCelRamp[i] / 255);
      t[3] = 255;
    }
  }
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  // The selection's texture stays bound on the active unit.
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  celTexture = name;
}

void Lumenar3D::RenderObject(int object, int frame) {
  const MeshObjectX* m = Object(object);
  if (m && frame < m->frames.count) RenderMD2(object, frame, frame, 0, false);
}

FramePair ResolveFrames(int a, int b, float blend, bool smooth, int last) {
  if (!std::isfinite(blend)) blend = 0;
  if (smooth) {
    if (blend != 1.0f) blend = std::fmod(blend, 1.0f);
    double x = a + (static_cast<double>(b) - a) * blend;
    x = std::clamp(x, -1e9, 1e9);
    const int i = static_cast<int>(x);
    if (a < b) {
      blend = static_cast<float>(1 - (x - i));
      a = i;
      b = i + 1;
    } else if (b < a) {
      blend = static_cast<float>(x - i);
      // On a whole frame number draw that frame, not its successor.
      a = blend == 0 ? i : i + 1;
      b = i;
    } else {
      blend = 0;
    }
  }
  return {std::clamp(a, 0, last), std::clamp(b, 0, last), blend};
}

namespace {

// Makes texture unit u (0 or 1) the active one for texture state and client arrays alike.
void SelectUnit(int u) {
  glActiveTextureArb(static_cast<GLenum>(GL_TEXTURE0 + u));
  glClientActiveTextureArb(static_cast<GLenum>(GL_TEXTURE0 + u));
}

void TexCoordArray(const char* base, std::size_t offset) {
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, kStride, At(base, offset));
}

// The texture of a sprite slot in the selection's plain or mipmapped form; 0 for no slot.
GLuint TextureName(const OpenGLLumenar& display, const TextureSelection& sel, int slot) {
  return slot >= 0 && slot < kSpriteSlots ? display.textureNames[slot][sel.mipmapped ? 1 : 0] : 0;
}

// Special shading's per-object preparation, then the triangle list when it is missing.
void PrepareMesh(const Lumenar3D& view, MeshObjectX& m) {
  if (view.specialShading) {
    if (view.specialKind == 1) {
      m.AutoNormalsAfterCompression(true, view.autoNormalMode == 2, true);
    } else {
      m.AutoNormalsAfterCompression(true, false, false);
      m.MakeCelShadeTexutre();
    }
  }
  if (m.scratch.count == 0) m.PrepareTriangles();
}

// The triangles both frames hold (frames of one object have the same triangles; a damaged
// one draws only what all share), with the scratch list grown to them. 0: nothing to draw.
std::int32_t SharedCount(MeshObjectX& m, const POLY_FRAME& fa, const POLY_FRAME& fb) {
  const std::int32_t count = std::min(fa.triangles.count, fb.triangles.count);
  if (count == 0) return 0;
  if (m.scratch.count < count) {
    if (!m.scratch.Reserve(count)) return 0;
    for (std::int32_t i = m.scratch.count; i < count; ++i) m.scratch.data[i] = fa.triangles.data[i];
    m.scratch.count = count;
  }
  return count;
}

// Writes the vertices to draw into scratch: frame A blended toward frame B, then with special
// the light terms (bump mapping's light direction as a colour, cel shading's ramp
// coordinates), and the texture offset when shifted.
void FillScratch(const Lumenar3D& view, const MeshObjectX& m, const POLY_FRAME& fa, const POLY_FRAME& fb,
                 POLY_NODE* scratch, std::int32_t count, float blend, bool special, bool shifted) {
  // The light in object coordinates, so shading needs no per-vertex matrix work.
  float light[4] = {view.specialLight[0], view.specialLight[1], view.specialLight[2], 1};
  if (special) {
    float t[16];
    ObjectTransformMatrix(view, t);
    if (invertMatrix(t, t)) TransformVector(t, light, light);
  }
  const float celRow = m.celRowStep;
  for (std::int32_t i = 0; i < count; ++i) {
    POLY_NODE& s = scratch[i];
    const POLY_NODE& first = fa.triangles.data[i];
    const POLY_NODE* shape = &first;  // where tangent and binormal come from
    if (blend == 0) {
      s = first;
    } else {
      const POLY_NODE& second = fb.triangles.data[i];
      for (int k = 0; k < 3; ++k) {
        s.position[k] = second.position[k] + (first.position[k] - second.position[k]) * blend;
        s.normal[k] = second.normal[k] + (first.normal[k] - second.normal[k]) * blend;
      }
      // Texture coordinates are shared by all frames; taking them fresh keeps an offset from
      // adding up over blended draws.
      s.u = first.u;
      s.v = first.v;
      shape = &second;
    }
    if (!special) continue;
    float l[3] = {light[0] - s.position[0], light[1] - s.position[1], light[2] - s.position[2]};
    Normalise(l);
    if (view.specialKind == 1) {
      s.work[0] = Dot(shape->tangent, l) * 0.5f + 0.5f;
      s.work[1] = Dot(shape->binormal, l) * 0.5f + 0.5f;
      s.work[2] = Dot(s.normal, l) * 0.5f + 0.5f;
    } else {
      float n[3] = {s.position[0] - s.normal[0], s.position[1] - s.normal[1], s.position[2] - s.normal[2]};
      Normalise(n);
      s.binormal[0] = std::clamp(Dot(l, n), 0.05f, 0.95f);
      s.binormal[1] = (static_cast<float>(s.colourIndex) + 0.5f) * celRow;
    }
  }
  if (shifted) {
    for (std::int32_t i = 0; i < count; ++i) {
      scratch[i].u += view.textureOffset[0];
      scratch[i].v += view.textureOffset[1];
    }
  }
}

// Points the arrays at base (offsets into the bound buffer when null) and sets up the texture
// units: plain texturing (one texture, or the first on unit 1 modulating the second on unit
// 0, and the vertex colours where the object has them), bump mapping (a DOT3 combiner on
// unit 0 against the light in the colours) or cel shading (the ramp on unit 1).
void BindArrays(const Lumenar3D& view, const MeshObjectX& m, const char* base, bool special,
                const TextureSelection& sel) {
  const OpenGLLumenar& display = *view.display;
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, At(base, kPositionAt));
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, kStride, At(base, kNormalAt));
  if (!special) {
    if (HasMultitexture()) SelectUnit(0);
    if (sel.slot >= 0) {
      // Two textures: the first on unit 1 modulates the second on unit 0, both with the
      // vertex texture coordinates.
      const bool two = sel.secondSlot >= 0 && HasMultitexture();
      if (two) {
        SelectUnit(1);
        glBindTexture(GL_TEXTURE_2D, TextureName(display, sel, sel.slot));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        TexCoordArray(base, kTexCoordAt);
        SelectUnit(0);
      }
      glBindTexture(GL_TEXTURE_2D, TextureName(display, sel, two ? sel.secondSlot : sel.slot));
      TexCoordArray(base, kTexCoordAt);
    }
    if (m.colouringNeeded) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(3, GL_FLOAT, kStride, At(base, kRgbAt));
    }
  } else if (view.specialKind == 1) {
    SelectUnit(1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    TexCoordArray(base, kTexCoordAt);
    SelectUnit(0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB_EXT);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    TexCoordArray(base, kTexCoordAt);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, kStride, At(base, kWorkAt));
  } else {
    SelectUnit(1);
    glBindTexture(GL_TEXTURE_2D, m.celTexture);
    glEnable(GL_TEXTURE_2D);
    TexCoordArray(base, kCelCoordAt);
    SelectUnit(0);
    if (sel.slot >= 0) {
      glBindTexture(GL_TEXTURE_2D, TextureName(display, sel, sel.slot));
      TexCoordArray(base, kTexCoordAt);
    }
  }
}

// Cel shading's outline: the faces turned away, pushed out along their normals by k, drawn
// black. Lighting and blending are put back afterwards so later objects draw as set up.
void DrawOutline(Lumenar3D& view, MeshObjectX& m, const POLY_NODE* source, std::int32_t count, float k,
                 const TextureSelection& sel) {
  POLY_NODE* scratch = m.scratch.data;
  const int savedCull = view.cullMode;
  view.CullMode(-savedCull);
  for (std::int32_t i = 0; i < count; ++i) {
    POLY_NODE& s = scratch[i];
    if (source != scratch) s = source[i];
    for (int c = 0; c < 3; ++c) s.position[c] += s.normal[c] * k;
  }
  const char* outlineBase = reinterpret_cast<const char*>(scratch);
  if (HasBuffers()) {
    FillBuffer(m.dynamicBuffer, scratch, count, true);
    outlineBase = nullptr;
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, At(outlineBase, kPositionAt));
  if (HasMultitexture()) {
    glActiveTextureArb(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureArb(GL_TEXTURE0);
  }
  glDisable(GL_TEXTURE_2D);
  const GLboolean lighting = glIsEnabled(GL_LIGHTING);
  const GLboolean blending = glIsEnabled(GL_BLEND);
  GLint blendSrc = GL_ONE, blendDst = GL_ZERO;
  glGetIntegerv(GL_BLEND_SRC, &blendSrc);
  glGetIntegerv(GL_BLEND_DST, &blendDst);
  glEnable(GL_COLOR_MATERIAL);
  glDisable(GL_LIGHTING);
  glColor3f(0, 0, 0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDrawArrays(GL_TRIANGLES, 0, count);
  DisableArrays();
  glBlendFunc(static_cast<GLenum>(blendSrc), static_cast<GLenum>(blendDst));
  if (!blending) glDisable(GL_BLEND);
  if (lighting) glEnable(GL_LIGHTING);
  glDepthFunc(GL_LESS);
  view.display->SetTexture3D(sel.slot, sel.secondSlot, sel.mipmapped);
  view.CullMode(savedCull);
}

// Both units back to modulating; after special shading (the cel ramp leaves unit 1 enabled)
// the units go back to the texture selection.
void RestoreUnits(OpenGLLumenar& display, bool special, const TextureSelection& sel) {
  if (!HasMultitexture()) return;
  glActiveTextureArb(GL_TEXTURE1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glActiveTextureArb(GL_TEXTURE0);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  if (special) display.SetTexture3D(sel.slot, sel.secondSlot, sel.mipmapped);
}

}  // namespace

bool SphereInViewCone(const float eye[3], const float target[3], const float centre[3], float radius,
                      float coneTan) {
  float dir[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
  Normalise(dir);
  const float v[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
  const float d = Dot(dir, v);
  if (d < 0) return !(Dot(v, v) > radius * radius);
  const float p[3] = {dir[0] * d - v[0], dir[1] * d - v[1], dir[2] * d - v[2]};
  const float s = ApproxSqrt(d * d) * coneTan * 1.05f;
  return Dot(p, p) < radius * radius + s * s;
}

void Lumenar3D::RenderMD2(int object, int frameA, int frameB, float blend, bool smooth) {
  MeshObjectX* m = Object(object);
  if (!m || m->frames.count == 0 || m->frames[0].nodes.count == 0) return;
  if (!display || !display->hasContext) return;
  display->FlushBatch();  // object drawing changes texture units and bindings
  const FramePair frames = ResolveFrames(frameA, frameB, blend, smooth, m->frames.count - 1);
  const POLY_FRAME& fa = m->frames[frames.a];

  // Frame A's bounding sphere where the object is drawn: the centre through the whole object
  // transform (so a rotated or scaled object is tested where it is drawn), the radius by the
  // largest scale.
  const float maxScale = std::max({std::fabs(scaling[0]), std::fabs(scaling[1]), std::fabs(scaling[2])});
  float centre[4] = {fa.centre[0], fa.centre[1], fa.centre[2], 1};
  {
    float t[16];
    ObjectTransformMatrix(*this, t);
    TransformVector(t, centre, centre);
  }
  if (!SphereInViewCone(eye, target, centre, fa.radius * maxScale, viewConeTan)) return;

  const float alpha = display->currentAlpha;
  glColor4f(alpha, alpha, alpha, alpha);
  PrepareMesh(*this, *m);
  const std::int32_t count = SharedCount(*m, fa, m->frames[frames.b]);
  if (count == 0) return;

  const bool special = specialShading && HasMultitexture();
  const bool shifted = textureOffset[0] != 0 || textureOffset[1] != 0;
  const bool direct = !special && frames.blend == 0 && !shifted;
  const POLY_NODE* source = direct ? fa.triangles.data : m->scratch.data;
  if (!direct)
    FillScratch(*this, *m, fa, m->frames[frames.b], m->scratch.data, count, frames.blend, special, shifted);

  const char* base = reinterpret_cast<const char*>(source);
  if (HasBuffers()) {
    const bool useStatic = direct && frames.a == 0;
    FillBuffer(useStatic ? m->staticBuffer : m->dynamicBuffer, source, count, !useStatic);
    base = nullptr;  // pointers become offsets into the bound buffer
  }
  const TextureSelection sel = display->selection;
  BindArrays(*this, *m, base, special, sel);
  glPushMatrix();
  TransformMatrix();
  glDrawArrays(GL_TRIANGLES, 0, count);
  DisableArrays();

  // The outline shows only where the object is large enough on screen.
  if (specialShading && specialKind == 2 && cullMode != 0 && maxScale > 0) {
    const float e[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    const float k = viewConeTan * std::sqrt(Dot(e, e)) * 0.0025f / maxScale;
    if (fa.radius * 0.125f >= k) DrawOutline(*this, *m, source, count, std::max(k, 1e-07f), sel);
  }
  RestoreUnits(*display, special, sel);
  glPopMatrix();
  glColor4f(alpha, alpha, alpha, alpha);
}

// ---- Commands ------------------------------------------------------------------------------

void X_DRAWOBJ(double object, double frame) { lumbo3D.RenderObject(TruncToInt(object), TruncToInt(frame)); }

void X_DRAWANIM(double object, double frameA, double frameB, double blend, double smooth) {
  lumbo3D.RenderMD2(TruncToInt(object), TruncToInt(frameA), TruncToInt(frameB), static_cast<float>(blend),
                    smooth != 0);
}

}  // namespace TAVELOR
