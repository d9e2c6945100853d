// The .ddd mesh reader on arbitrary bytes, followed by everything a loaded mesh goes through:
// triangle building, bounding spheres, tangent generation, saving and loading again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scene3d/Lumenar3D.h"

using namespace TAVELOR;

namespace {

const std::string& InputPath() {
  static const std::string path = (std::filesystem::temp_directory_path() / "fuzz_mesh_ddd_in.ddd").string();
  return path;
}

const std::string& OutputPath() {
  static const std::string path = (std::filesystem::temp_directory_path() / "fuzz_mesh_ddd_out.ddd").string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  MeshObjectX& slot = lumbo3D.meshes[0];
  if (!lumbo3D.LoadObject(InputPath().c_str(), 0)) return 0;
  slot.AutoNormalsAfterCompression(true, true, true);
  slot.CalcMaxRadius();
  if (!slot.Save(OutputPath().c_str())) std::abort();
  // What was accepted and written must read back with the same frames.
  MeshObjectX again;
  if (!again.Load(OutputPath().c_str(), true) || again.frames.count != slot.frames.count) std::abort();
  again.Compress();
  again.PrepareTriangles();
  return 0;
}
