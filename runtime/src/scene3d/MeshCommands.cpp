// The mesh commands: loading and saving object slots and the object builder.
#include <tavelor/scene3d.h>

#include <string>

#include "scene3d/Lumenar3D.h"
#include "storage/ResolveArchivePath.h"
#include "values/Numbers.h"

namespace TAVELOR {

void X_LOADOBJ(DGStr name, double object) {
  int n = TruncToInt(object);
  if (!lumbo3D.Object(n)) return;
  // A file on disk, else the data archive's member unpacked to a temporary file.
  std::string path = ResolveDataPath(name.c_str());
  if (path.empty()) return;
  // Files a glTF or OBJ file names are found the same way, beside the name the game gave.
  const std::string requested = name.c_str();
  const std::size_t slash = requested.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : requested.substr(0, slash + 1);
  auto companions = [folder](const std::string& file, std::vector<unsigned char>* bytes) {
    const std::string found = ResolveDataPath((folder + file).c_str());
    return !found.empty() && ReadMeshFile(found.c_str(), bytes);
  };
  lumbo3D.LoadObject(path.c_str(), n, companions);
}

void X_SAVEOBJ(DGStr name, double object) { lumbo3D.SaveObject(name.c_str(), TruncToInt(object)); }

void X_OBJSTART(double object) { lumbo3D.UserObjectStart(TruncToInt(object), 1); }

void X_OBJADDVERTEX(double x, double y, double z, double u, double v, double colour) {
  lumbo3D.UserObjectAddVertex(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                              static_cast<float>(u), static_cast<float>(v), TruncToColour(colour));
}

void X_OBJNEWGROUP() { lumbo3D.UserObjectNewGroup(1); }

void X_OBJEND() { lumbo3D.UserObjectEnd(); }

void X_AUTONORMALS(double mode) { lumbo3D.UserObjectAutoNormalMode(static_cast<long>(TruncToLong(mode))); }

}  // namespace TAVELOR
