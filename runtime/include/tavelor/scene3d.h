// The 3D engine: scene, camera, meshes, rendering, lights and collision.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Selects the mipmapped twin of a texture for 3D drawing while non-zero.
void X_MIPMAPPING(double flag);

// ---- Meshes -----------------------------------------------------------------------------
// Object numbers are 0..4095; a command given any other number does nothing.

// Loads a .ddd, glTF 2.0 (.gltf, .glb) or Wavefront OBJ mesh (a file on disk, else a member
// of the data archive; told apart by content) into an object slot. A glTF animation becomes
// frames, one per 1/25 s. A damaged file logs "# read error" and leaves the slot empty.
void X_LOADOBJ(DGStr name, double object);
// Writes an object slot as a .ddd mesh file.
void X_SAVEOBJ(DGStr name, double object);

// ---- Object builder -------------------------------------------------------------------------
// X_OBJSTART empties the slot and opens it; vertices follow as triangle strips, each
// X_OBJNEWGROUP starting a new strip; X_OBJEND quantises them, generates normals and makes the
// object drawable. Calls while no object is open do nothing.
void X_OBJSTART(double object);
// colour: 0x00BBGGRR (red in the low byte).
void X_OBJADDVERTEX(double x, double y, double z, double u, double v, double colour);
void X_OBJNEWGROUP();
void X_OBJEND();
// 0: no normals; 1: one normal per vertex; 2 (the start value): one normal per position,
// smooth across coincident vertices. The mode is taken modulo 3.
void X_AUTONORMALS(double mode);

// ---- Scene, camera and transforms -----------------------------------------------------------
// A 3D projection for the current viewport: near and far clip distances and the vertical field
// of view in degrees (a negative field of view gives an orthographic box). Also sets the cull
// mode to 0 and switches all lights off.
void X_MAKE3D(double nearPlane, double farPlane, double fov);
// Back to the 2D projection of the whole window.
void X_MAKE2D();
// Camera at (x, y, z) looking at (tx, ty, tz), up is +y.
void X_CAMERA(double x, double y, double z, double tx, double ty, double tz);
// Position of the next object; forgets earlier X_ROTATIONs.
void X_MOVEMENT(double x, double y, double z);
// Scaling of the next object; forgets earlier X_ROTATIONs.
void X_SCALING(double x, double y, double z);
// Adds a rotation of angle degrees about (x, y, z); up to 16, the last given is applied first.
void X_ROTATION(double angle, double x, double y, double z);
// 1 culls back faces, -1 front faces, 0 none (the sign of mode counts).
void X_CULLMODE(double mode);
// Clears the depth buffer.
void X_CLEAR_Z();
// Fog of colour 0x00BBGGRR (-1 switches fog off); mode 0 linear from start to end (both 0: the
// X_MAKE3D clip distances), other modes exponential with density start.
void X_FOG(double colour, double mode, double start, double end);
// Texture (sprite number) for the next objects, and the second (bump) texture; -1 for none.
void X_SETTEXTURE(double texture, double secondTexture);
// Added to the texture coordinates of drawn objects until the next X_MAKE3D.
void X_SETTEXTUREOFFSET(double u, double v);
// World point to window coordinates; outputs kept when the point cannot be projected.
void X_WORLD2SCREEN(double x, double y, double z, double& sx, double& sy, double& sz);
// Window coordinates (with depth 0..1) to a world point; outputs kept when it cannot be done.
void X_SCREEN2WORLD(double sx, double sy, double sz, double& x, double& y, double& z);

// ---- Drawing objects ------------------------------------------------------------------------
// Draws frame `frame` of an object at the current transform.
void X_DRAWOBJ(double object, double frame);
// Draws an object blended between two frames (blend 0..1); smooth blends across the range.
void X_DRAWANIM(double object, double frameA, double frameB, double blend, double smooth);

// ---- Lights -----------------------------------------------------------------------------------
// Light 0..7 of colour 0x00BBGGRR at (x, y, z) shining along (dx, dy, dz) with a cut-off angle
// in degrees: 0 switches the light off, 180 gives a directional light, up to 90 a spot light,
// other values a point light; all positions and directions zero give an ambient light.
// Light -1 switches bump shading, -2 cel shading (cut-off 0 off, else on, lit from (x, y, z)).
void X_SPOT_LT(double light, double colour, double x, double y, double z, double dx, double dy,
               double dz, double cutoff);
// An ambient light of that colour.
void X_AMBIENT_LT(double light, double colour);

// ---- Collision ----------------------------------------------------------------------------------
// The object is taken at the current X_MOVEMENT/X_ROTATION transform.
// 1 when a sphere touches frame `frame` of the object, else 0.
double X_COLLISION(double object, double frame, double radius, double x, double y, double z);
// 1 when an upright box (width in x and z, height in y) centred at (x, y, z) touches it.
double X_COLLISIONAABB(double object, double frame, double x, double y, double z, double width,
                       double height);
// Distance along the ray from (x, y, z) in direction (dx, dy, dz) to the object (negative when
// the face is behind), 0 when nothing is hit.
double X_COLLISIONRAY(double object, double frame, double x, double y, double z, double dx,
                      double dy, double dz);

// ---- 3D primitives, billboards and text -----------------------------------------------------
// A line from (x1, y1, z1) to (x2, y2, z2), width 1..512 pixels.
void X_LINE(double x1, double y1, double z1, double x2, double y2, double z2, double width,
            double colour);
// A round dot of size 1..512 pixels.
void X_DOT(double x, double y, double z, double size, double colour);
// Coordinate axes at (x, y, z).
void X_DRAWAXES(double x, double y, double z);
// Sprite n as a billboard facing the camera at (x, y, z).
void X_SPRITE(double n, double x, double y, double z, double scale);
// Text of the current font at (x, y, z): size 0 draws at screen size at the projected point.
void X_PRINT(DGStr text, double x, double y, double z, double size);

}  // namespace TAVELOR
