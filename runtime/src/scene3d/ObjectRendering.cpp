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

void Lumenar3D::RenderMD2(int object, int a, int b, float blend, bool smooth) {
  MeshObjectX* m = Object(object);
  if (!m || m->frames.count == 0 || m->frames[0].nodes.count == 0) return;
  if (!display || !display->hasContext) return;
  display->FlushBatch();  // object drawing changes texture units and bindings
  if (!std::isfinite(blend)) blend = 0;

  if (smooth) {
    // A..B is a range of frames and blend the position in it.
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
  const int last = m->frames.count - 1;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  const POLY_FRAME& fa = m->frames[a];

  // View-cone test against frame A's bounding sphere.
  const float maxScale = std::max({std::fabs(scaling[0]), std::fabs(scaling[1]), std::fabs(scaling[2])});
  // The sphere's centre goes through the whole object transform, so a rotated or scaled
  // object is tested where it is drawn.
  float centre[4] = {fa.centre[0], fa.centre[1], fa.centre[2], 1};
  {
    float t[16];
    ObjectTransformMatrix(*this, t);
    TransformVector(t, centre, centre);
  }
  const float radius = fa.radius * maxScale;
  {
    float dir[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    Normalise(dir);
    const float v[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    const float d = Dot(dir, v);
    if (d < 0) {
      if (Dot(v, v) > radius * radius) return;
    } else {
      const float p[3] = {dir[0] * d - v[0], dir[1] * d - v[1], dir[2] * d - v[2]};
      const float s = ApproxSqrt(d * d) * viewConeTan * 1.05f;
      if (!(Dot(p, p) < radius * radius + s * s)) return;
    }
  }

  const float alpha = display->currentAlpha;
  glColor4f(alpha, alpha, alpha, alpha);

  if (specialShading) {
    if (specialKind == 1) {
      m->AutoNormalsAfterCompression(true, autoNormalMode == 2, true);
    } else {
      m->AutoNormalsAfterCompression(true, false, false);
      m->MakeCelShadeTexutre();
    }
  }
  if (m->scratch.count == 0) m->PrepareTriangles();

  // Frames of one object have the same triangles; a damaged one draws only what all share.
  const POLY_FRAME& fb = m->frames[b];
  std::int32_t count = std::min(fa.triangles.count, fb.triangles.count);
  if (count == 0) return;
  if (m->scratch.count < count) {
    if (!m->scratch.Reserve(count)) return;
    for (std::int32_t i = m->scratch.count; i < count; ++i) m->scratch.data[i] = fa.triangles.data[i];
    m->scratch.count = count;
  }

  const bool special = specialShading && HasMultitexture();
  const bool shifted = textureOffset[0] != 0 || textureOffset[1] != 0;
  const bool direct = !special && blend == 0 && !shifted;
  const POLY_NODE* source = direct ? fa.triangles.data : m->scratch.data;
  POLY_NODE* scratch = m->scratch.data;

  if (!direct) {
    // The light in object coordinates, so shading needs no per-vertex matrix work.
    float light[4] = {specialLight[0], specialLight[1], specialLight[2], 1};
    if (special) {
      float t[16];
      ObjectTransformMatrix(*this, t);
      if (invertMatrix(t, t)) TransformVector(t, light, light);
    }
    const float celRow = m->celRowStep;
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
      if (specialKind == 1) {
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
        scratch[i].u += textureOffset[0];
        scratch[i].v += textureOffset[1];
      }
    }
  }

  const char* base = reinterpret_cast<const char*>(source);
  if (HasBuffers()) {
    const bool useStatic = direct && a == 0;
    FillBuffer(useStatic ? m->staticBuffer : m->dynamicBuffer, source, count, !useStatic);
    base = nullptr;  // pointers become offsets into the bound buffer
  }

  const TextureSelection sel = display->selection;
  const int mip = sel.mipmapped ? 1 : 0;
  auto textureName = [&](int slot) -> GLuint { return slot >= 0 && slot < kSpriteSlots ? display->textureNames[slot][mip] : 0; };

  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, At(base, kPositionAt));
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, kStride, At(base, kNormalAt));
  if (!specialShading || !HasMultitexture()) {
    if (HasMultitexture()) {
      glActiveTextureArb(GL_TEXTURE0);
      glClientActiveTextureArb(GL_TEXTURE0);
    }
    if (sel.slot >= 0) {
      // Two textures: the first on unit 1 modulates the second on unit 0, both with the
      // vertex texture coordinates.
      const bool two = sel.secondSlot >= 0 && HasMultitexture();
      if (two) {
        glActiveTextureArb(GL_TEXTURE1);
        glClientActiveTextureArb(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, textureName(sel.slot));
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kTexCoordAt));
        glActiveTextureArb(GL_TEXTURE0);
        glClientActiveTextureArb(GL_TEXTURE0);
      }
      glBindTexture(GL_TEXTURE_2D, textureName(two ? sel.secondSlot : sel.slot));
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kTexCoordAt));
    }
    if (m->colouringNeeded) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(3, GL_FLOAT, kStride, At(base, kRgbAt));
    }
  } else if (specialKind == 1) {
    glActiveTextureArb(GL_TEXTURE1);
    glClientActiveTextureArb(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kTexCoordAt));
    glActiveTextureArb(GL_TEXTURE0);
    glClientActiveTextureArb(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB_EXT);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kTexCoordAt));
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, kStride, At(base, kWorkAt));
  } else {
    glActiveTextureArb(GL_TEXTURE1);
    glClientActiveTextureArb(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, m->celTexture);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kCelCoordAt));
    glActiveTextureArb(GL_TEXTURE0);
    glClientActiveTextureArb(GL_TEXTURE0);
    if (sel.slot >= 0) {
      glBindTexture(GL_TEXTURE_2D, textureName(sel.slot));
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, kStride, At(base, kTexCoordAt));
    }
  }

  glPushMatrix();
  TransformMatrix();
  glDrawArrays(GL_TRIANGLES, 0, count);
  DisableArrays();

  // Outline: the faces turned away, pushed out along their normals, drawn black. Only where
  // the object is large enough on screen for it to show.
  if (specialShading && specialKind == 2 && cullMode != 0 && maxScale > 0) {
    const float e[3] = {centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]};
    float k = viewConeTan * std::sqrt(Dot(e, e)) * 0.0025f / maxScale;
    if (fa.radius * 0.125f >= k) {
      k = std::max(k, 1e-07f);
      const int savedCull = cullMode;
      CullMode(-savedCull);
      for (std::int32_t i = 0; i < count; ++i) {
        POLY_NODE& s = scratch[i];
        if (source != scratch) s = source[i];
        for (int c = 0; c < 3; ++c) s.position[c] += s.normal[c] * k;
      }
      const char* outlineBase = reinterpret_cast<const char*>(scratch);
      if (HasBuffers()) {
        FillBuffer(m->dynamicBuffer, scratch, count, true);
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
      // Lighting and blending are put back afterwards so later objects draw as set up.
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
      display->SetTexture3D(sel.slot, sel.secondSlot, sel.mipmapped);
      CullMode(savedCull);
    }
  }

  if (HasMultitexture()) {
    glActiveTextureArb(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTextureArb(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // The cel ramp leaves unit 1 enabled: give the units back to the texture selection.
    if (special) display->SetTexture3D(sel.slot, sel.secondSlot, sel.mipmapped);
  }
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
