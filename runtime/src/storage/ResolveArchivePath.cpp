// Name resolution: the disk first, then the command's archive.
#include "storage/ResolveArchivePath.h"

#include "frame/Runtime.h"
#include "storage/WindowsPath.h"
#include "storage/ZyShoeBox.h"

namespace TAVELOR {

std::string ResolveArchivePath(const char* name, ZyShoeBox* box) {
  if (box) box->RemoveUnpacked();
  if (!name || !*name) return std::string();
  return FindWindowsPath(name, PathKind::ExistingFile);
}

std::string ResolveDataPath(const char* name) { return ResolveArchivePath(name, __g_ShoeBox_Data); }
std::string ResolveMediaPath(const char* name) { return ResolveArchivePath(name, __g_ShoeBox_Media); }

}  // namespace TAVELOR
