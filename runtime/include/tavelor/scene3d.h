// The 3D engine: scene, camera, meshes, rendering, lights and collision.
#pragma once

namespace TAVELOR {

// Selects the mipmapped twin of a texture for 3D drawing while non-zero.
void X_MIPMAPPING(double flag);

}  // namespace TAVELOR
