// Meshes made by other tools (glTF 2.0 as .gltf or .glb, Wavefront OBJ with its .mtl),
// converted into the runtime's mesh model with Assimp: positions, normals, texture
// coordinates and colours in one triangle list per frame; a glTF animation (node
// transforms, morph targets, skinning) sampled into frames.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "scene3d/MeshObject.h"

namespace TAVELOR {

enum class MeshFormat { None, Ddd, Gltf, Glb, Obj };

// Frames per second at which an animation is sampled: frame k is the pose at k / 25 s.
constexpr int kImportFramesPerSecond = 25;
// The model's limits for a converted mesh: more is refused, not cut.
constexpr int kMaxImportFrames = 1000;
constexpr std::size_t kMaxImportTriangles = std::size_t{1} << 18;  // in one frame
constexpr std::size_t kMaxImportNodes = std::size_t{1} << 21;      // in all frames together
// Mesh files larger than this are refused before they are read.
constexpr std::size_t kMaxMeshFile = std::size_t{1} << 28;

// Recognises a mesh file by its content: the .ddd magic, the binary glTF header, a JSON
// object (glTF), or text with OBJ vertex or face lines.
MeshFormat SniffMesh(const unsigned char* bytes, std::size_t size);

// Reads a file that a mesh file names (glTF buffers, OBJ material libraries), given as the
// mesh file writes it: relative to the mesh file's folder. False when there is none.
using CompanionReader = std::function<bool(const std::string& name, std::vector<unsigned char>* bytes)>;

struct MeshImportInfo {
  int frames = 0;
  std::size_t triangles = 0;          // per frame
  std::vector<std::string> textures;  // pictures the materials name, in material order
  std::string error;                  // why a conversion failed
};

// Converts a glTF or OBJ file held in memory into `out` (cleared first) and quantises it,
// leaving it ready to be prepared for drawing or saved. Colours: the vertex colours, else
// the material's diffuse (base) colour, else white; more than 255 distinct colours are
// reduced to 6 levels per channel. The texture coordinates keep the builder's convention
// (v grows downwards). False, with `out` empty and info->error set, for a damaged file, a
// file without triangles, or one beyond the limits above.
bool ImportMesh(const std::vector<unsigned char>& bytes, MeshFormat format, const CompanionReader& companions,
                MeshObject* out, MeshImportInfo* info = nullptr);

// Reads a whole file (at most kMaxMeshFile bytes); false when it cannot be read.
bool ReadMeshFile(const char* path, std::vector<unsigned char>* bytes);

// Companions on disk beside a mesh file at `path`.
CompanionReader DiskCompanions(const std::string& path);

}  // namespace TAVELOR
