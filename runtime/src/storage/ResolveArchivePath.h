// Name resolution of every command that loads a file by name.
//
//   std::string path = ResolveArchivePath(name, __g_ShoeBox_Data);
//   if (path.empty()) { /* not found: fail as the command does */ }
//   else { /* open and read path as a plain file */ }
//
// Which archive a command passes:
//   __g_ShoeBox_Data  pictures, fonts, sprites, bump textures, sounds, meshes, the
//                     blend-screen picture, and the line files of GETFILE / PUTFILE
//   __g_ShoeBox_Media music and video
// (ResolveDataPath / ResolveMediaPath below pass them for you.)
//
// Order: the file on disk first (a Windows name is accepted: '\' separators and any letter
// case, see WindowsPath.h); else the archive member whose name equals the end of the
// requested name without regard to case ("Data/HAG.DDD" finds "hag.ddd"), unpacked into a
// temporary file that lives until the next lookup in the same archive, the next SETSHOEBOX
// or the end of the program. So finish reading the returned file before the next lookup.
// Every lookup first removes the archive's previous temporary file.
#pragma once

#include <string>

namespace TAVELOR {

class ZyShoeBox;

// The path to open, or "" when the name is neither on disk nor in the archive. box may be
// null: then only the disk is searched.
std::string ResolveArchivePath(const char* name, ZyShoeBox* box);

// The same with the data archive and with the media archive of the runtime.
std::string ResolveDataPath(const char* name);
std::string ResolveMediaPath(const char* name);

}  // namespace TAVELOR
