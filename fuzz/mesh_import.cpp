// Meshes of other tools (glTF, GLB, OBJ) recognised by content and converted into the mesh
// model with Assimp; files they name are not available here.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene3d/MeshImport.h"

using namespace TAVELOR;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MeshFormat format = SniffMesh(data, size);
  if (format == MeshFormat::None || format == MeshFormat::Ddd) return 0;
  MeshObject mesh;
  if (!ImportMesh(std::vector<unsigned char>(data, data + size), format, nullptr, &mesh)) {
    if (mesh.frames.count != 0) __builtin_trap();  // a failure leaves the mesh empty
    return 0;
  }
  // Every frame has the same node stream length, as the texture table requires.
  for (const POLY_FRAME& frame : mesh.frames) {
    if (frame.nodes.count != mesh.frames[0].nodes.count || frame.nodes.count > mesh.textureU.count) __builtin_trap();
  }
  return 0;
}
