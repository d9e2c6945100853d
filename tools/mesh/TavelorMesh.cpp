// tavelor-mesh: converts a mesh file into the runtime's .ddd format, as X_LOADOBJ followed
// by X_SAVEOBJ would.
//
//   tavelor-mesh convert IN OUT.ddd
//
// IN may be a glTF 2.0 file (.gltf with its buffers, or .glb), a Wavefront OBJ file (with
// its .mtl) or a .ddd file, told apart by content. Prints the frame and triangle counts and
// the pictures the materials name (the game loads those itself with LOADSPRITE).
// Exit status: 0 done, 1 the input could not be converted or the output written, 2 usage.
#include <cstdio>
#include <string>
#include <vector>

#include "scene3d/Lumenar3D.h"
#include "scene3d/MeshImport.h"

using namespace TAVELOR;

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "convert") {
    std::fprintf(stderr, "usage: tavelor-mesh convert IN OUT.ddd\n");
    return 2;
  }
  const char* in = argv[2];
  const char* out = argv[3];
  std::vector<unsigned char> bytes;
  if (!ReadMeshFile(in, &bytes)) {
    std::fprintf(stderr, "tavelor-mesh: cannot read %s\n", in);
    return 1;
  }
  MeshObject mesh;
  MeshImportInfo info;
  const MeshFormat format = SniffMesh(bytes.data(), bytes.size());
  bool ok;
  if (format == MeshFormat::Ddd) {
    ok = mesh.Load(in, false);
    info.error = "not a readable .ddd file";
  } else {
    ok = ImportMesh(bytes, format, DiskCompanions(in), &mesh, &info);
  }
  if (!ok || mesh.frames.count == 0 || mesh.frames[0].nodes.count == 0) {
    std::fprintf(stderr, "tavelor-mesh: %s: %s\n", in, info.error.empty() ? "no triangles" : info.error.c_str());
    return 1;
  }
  if (!mesh.Save(out)) {
    std::fprintf(stderr, "tavelor-mesh: cannot write %s\n", out);
    return 1;
  }
  std::printf("%s: %d frame(s), %d nodes per frame\n", out, mesh.frames.count, mesh.frames[0].nodes.count);
  for (const std::string& t : info.textures) std::printf("texture: %s\n", t.c_str());
  return 0;
}
