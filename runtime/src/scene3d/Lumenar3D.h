// Lumenar3D: the 3D engine. Holds the 4096 object slots and the object builder's state.
#pragma once

#include "scene3d/MeshImport.h"
#include "scene3d/MeshObject.h"

namespace TAVELOR {

class OpenGLLumenar;

constexpr int kObjectSlots = 4096;

// Reads a mesh file of any accepted format into object: a .ddd through MeshObject::Load, a
// glTF or OBJ file through ImportMesh, whose failures log "# read error" and the name as a
// bad .ddd file does. False for a missing or bad file.
bool LoadMeshFile(const char* name, MeshObject* object, const CompanionReader& companions = nullptr);

class Lumenar3D {
 public:
  explicit Lumenar3D(OpenGLLumenar* displayEngine) : display(displayEngine) {}
  virtual ~Lumenar3D() = default;
  Lumenar3D(const Lumenar3D&) = delete;
  Lumenar3D& operator=(const Lumenar3D&) = delete;

  // The slot of object n, or null for a number outside 0..4095.
  MeshObjectX* Object(int n) { return n >= 0 && n < kObjectSlots ? &meshes[n] : nullptr; }

  // Loads a .ddd, glTF or OBJ file (told apart by content) into slot n and prepares it for
  // drawing; false when the file is missing or bad, when it has no nodes in frame 0, or when
  // n is no slot. companions reads the files a glTF or OBJ file names (null: beside it on disk).
  bool LoadObject(const char* name, int n, const CompanionReader& companions = nullptr);
  // Writes slot n as a .ddd file; false when n is no slot or the file cannot be written.
  bool SaveObject(const char* name, int n);

  // ---- Object builder ----
  // Empties slot n and makes it the object being built, opening a group of the given kind
  // (0 triangle list, 1 strip, 2 fan).
  void UserObjectStart(int n, int kind);
  void UserObjectNewGroup(int kind);
  // Colours of 0xFFFFFFFC and above are drawn white.
  void UserObjectAddVertex(float x, float y, float z, float u, float v, unsigned long colour);
  // Quantises the vertices, generates normals by the auto-normal mode and prepares drawing.
  void UserObjectEnd();
  // 0 none, 1 one normal per vertex, 2 one per position; the remainder of mode by 3.
  void UserObjectAutoNormalMode(long mode);

  MeshObjectX meshes[kObjectSlots];

  // ---- Scene state (camera, object transform, texture offset) ----
  struct Rotation {
    float angle, x, y, z;
  };
  static constexpr int kMaxRotations = 16;
  signed char cullMode = 0;  // -1, 0 or 1
  int rotationCount = 0;     // 0..16
  Rotation rotations[kMaxRotations] = {};
  float scaling[3] = {1, 1, 1};
  float movement[3] = {0, 0, 0};
  float cameraMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float textureOffset[2] = {0, 0};

  // ---- Lights and special shading ----
  unsigned char lightMask = 0;  // bit i while GL light i is on
  bool lightingOn = false;
  bool specialShading = false;
  unsigned char specialKind = 0;  // 1 bump mapping, 2 cel shading
  float specialLight[3] = {0, 0, 0};

  // ==== Lights, collision and 3D primitives ====================================================
  // Light 0..7 (taken modulo 8) of colour 0x00BBGGRR; negative lights switch the special
  // shading instead (-1 bump mapping, others cel shading; cut-off 0 off) and touch no GL state.
  // debug has no effect.
  void SpotLt(int light, unsigned long colour, float x, float y, float z, float dx, float dy,
              float dz, float cutoff, int debug);
  void AmbientLt(int light, unsigned long colour);

  // Shape tests against frame `frame` of an object drawn at the current movement, rotations and
  // scaling. The shape is moved into object space by the inverse of that whole transform;
  // a ray's distance stays in world units. Object numbers outside the table, frames past the object and frames of fewer
  // than three triangle records give no contact.
  bool CollisionSphere(int object, int frame, float radius, float x, float y, float z);
  bool CollisionAABB(int object, int frame, const float* centre, const float* a1, const float* a2,
                     const float* a3);
  // Distance to the nearest face in front (positive), else to the nearest behind (negative),
  // else 0.
  float CollisionRay(int object, int frame, float x, float y, float z, float dx, float dy,
                     float dz);
  // World to object space for the collision tests: the full inverse of the object transform,
  // scaling included. False when a scale factor is 0 or not finite (no inverse).
  bool ObjectSpaceInverse(float inverse[16]) const;
  // The sphere radius in object space: divided by the largest scale factor (exact for a
  // uniform scaling; otherwise the largest sphere inside the scaled one).
  float ObjectSpaceRadius(float radius) const;

  // World-space drawing with the current model-view matrix; colours 0x00BBGGRR.
  void DrawLine(const float* p1, const float* p2, unsigned long colour, float width);
  void DrawDot(const float* p, unsigned long colour, float size);
  // Arrows of 20 units along x (red), y (green) and z (blue) from (x, y, z), drawn with the
  // stored camera matrix.
  void DrawCoordAxis(float x, float y, float z);
  // The outlines of 80 triangles on the sphere; the colour is white afterwards.
  void DrawSphereGrid(float* centre, float radius, unsigned long colour, short lineWidth);
  // The 12 edges of the box centre +- a +- b +- c; the colour is white afterwards.
  void DrawAABB(const float* centre, const float* a, const float* b, const float* c,
                unsigned long colour, short lineWidth);
  // ==== end of lights, collision and 3D primitives ============================================

  float eye[3] = {0, 0, 0};
  float target[3] = {0, 0, -1};
  float viewConeTan = 0;
  float nearPlane = 1, farPlane = 1000;

  OpenGLLumenar* display;
  int autoNormalMode = 2;
  int userObject = -1;  // the object being built, -1 when none

  // ---- Scene, transforms and object drawing ----
  // Projection for the current 2D viewport and the 3D drawing state; fov <= 0 gives an
  // orthographic box.
  void Make3DViewport(float nearClip, float farClip, float fov);
  // Camera at eye looking at target (up +y); resets the object transform and culling.
  void SetCamera(float x, float y, float z, float tx, float ty, float tz);
  // Appends a rotation; ignored once 16 are stored.
  void SetRotation(float angle, float x, float y, float z);
  // Applies movement, rotations (last given first) and scaling to the current matrix.
  void TransformMatrix() const;
  // 0 no culling, 1 front faces clockwise, -1 front faces counter-clockwise.
  void CullMode(int mode);
  void ClearZBuffer();
  // colour 0xFFFFFFFF switches fog off; mode 0 linear from a to b (both 0: the clip
  // distances), otherwise exponential with density a.
  void Fog(unsigned int colour, int mode, float a, float b);
  void SetTextureOffset(float u, float v);
  // Light mask 0 and special shading off; OpenGL lights are left as they are.
  void LightsOff();
  // Draws an object between frames A and B (see X_DRAWANIM) at the object transform.
  void RenderMD2(int object, int frameA, int frameB, float blend, bool smooth);
  // Draws one frame when it exists.
  void RenderObject(int object, int frame);
};

extern Lumenar3D lumbo3D;

// Non-zero selects the mipmapped twin of each texture in X_SETTEXTURE.
extern int __mipmapping_state;
// The mode last given to X_CULLMODE (-1, 0 or 1), which billboards restore after drawing.
extern int __current_cullmode;

// Outlines of the spherical triangle (a, b, c) (unit vectors) at centre and radius, split into
// four depth times.
void SubdivideSphereGrid(float* centre, float radius, float* a, float* b, float* c, int depth);

// The frames X_DRAWANIM draws and the weight of the first against the second.
struct FramePair {
  int a;
  int b;
  float blend;
};
// With smooth, a..b is a range of frames and blend the position in it (taken modulo 1 unless
// it is exactly 1); otherwise a and b are the frames and blend the weight of a. A blend that is
// not finite counts as 0. Both frames are clamped to 0..last.
FramePair ResolveFrames(int a, int b, float blend, bool smooth, int last);

// Whether a sphere can be in view from eye looking toward target through a cone whose
// half-angle has tangent coneTan: its centre lies within the cone widened by 5% and by the
// radius. A sphere whose centre is behind the eye is seen only when it reaches the eye.
bool SphereInViewCone(const float eye[3], const float target[3], const float centre[3], float radius,
                      float coneTan);

}  // namespace TAVELOR
