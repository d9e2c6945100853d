// The 3D engine: scene, camera, meshes, rendering, lights and collision.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Selects the mipmapped twin of a texture for 3D drawing while non-zero.
void X_MIPMAPPING(double flag);

// ---- Meshes -----------------------------------------------------------------------------
// Object numbers are 0..4095; a command given any other number does nothing.

// Loads a .ddd mesh (a file on disk, else a member of the data archive) into an object slot.
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

}  // namespace TAVELOR
