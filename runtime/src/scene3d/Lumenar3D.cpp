// Lumenar3D: the engine instance, and loading and saving of object slots.
#include "scene3d/Lumenar3D.h"

#include <cstdio>

#include <tavelor/frame.h>

#include "display/OpenGLLumenar.h"
#include "frame/ErrorLog.h"

namespace TAVELOR {

Lumenar3D lumbo3D(&Lumbo);

bool LoadMeshFile(const char* name, MeshObject* object, const CompanionReader& companions) {
  // The first bytes tell a .ddd file (read by its own loader) from the other formats.
  std::vector<unsigned char> head(65536);
  std::FILE* f = name ? std::fopen(name, "rb") : nullptr;
  head.resize(f ? std::fread(head.data(), 1, head.size(), f) : 0);
  if (f) std::fclose(f);
  const MeshFormat format = SniffMesh(head.data(), head.size());
  if (format == MeshFormat::None || format == MeshFormat::Ddd) return object->Load(name, false);
  std::vector<unsigned char> bytes;
  if (ReadMeshFile(name, &bytes) &&
      ImportMesh(bytes, format, companions ? companions : DiskCompanions(name), object)) {
    return true;
  }
  AppendErrorLog("# read error");
  AppendErrorLog(name);
  return false;
}

bool Lumenar3D::LoadObject(const char* name, int n, const CompanionReader& companions) {
  MeshObjectX* object = Object(n);
  if (!object) return false;
  object->Clear(true);
  if (!LoadMeshFile(name, object, companions)) return false;
  if (object->frames.count == 0 || object->frames[0].nodes.count == 0) return false;
  object->PrepareForDrawing();
  return true;
}

bool Lumenar3D::SaveObject(const char* name, int n) {
  MeshObjectX* object = Object(n);
  return object && object->Save(name);
}

}  // namespace TAVELOR
