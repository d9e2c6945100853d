// Lumenar3D: the engine instance, and loading and saving of object slots.
#include "scene3d/Lumenar3D.h"

#include "display/OpenGLLumenar.h"
#include "frame/ErrorLog.h"

namespace TAVELOR {

Lumenar3D lumbo3D(&Lumbo);

bool Lumenar3D::LoadObject(const char* name, int n) {
  MeshObjectX* object = Object(n);
  if (!object) return false;
  object->Clear(true);
  if (!object->Load(name, false)) return false;
  if (object->frames.count == 0 || object->frames[0].nodes.count == 0) return false;
  object->PrepareForDrawing();
  return true;
}

bool Lumenar3D::SaveObject(const char* name, int n) {
  MeshObjectX* object = Object(n);
  return object && object->Save(name);
}

}  // namespace TAVELOR
