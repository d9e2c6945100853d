// Name resolution: the disk first, then the command's archive.
#include "storage/ResolveArchivePath.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "frame/Runtime.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/WindowsPath.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

namespace TAVELOR {

namespace {

// The member name as one harmless file-name component: separators become '_', so no name
// can leave the temporary directory ("~sbx" in front also keeps ".." from being one).
std::string SafeComponent(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  return out;
}

// "~sbx%X%x%s" in the temporary directory; names longer than a file name may be lose
// characters from the middle of the member name, keeping its extension. attempt > 0 inserts
// a number for a name that is taken by a file that is not ours to remove.
std::string TempName(const ArchiveMember& m, int attempt) {
  char head[64];
  if (attempt == 0) {
    std::snprintf(head, sizeof head, "~sbx%X%x", static_cast<unsigned>(m.offset), static_cast<unsigned>(m.size));
  } else {
    std::snprintf(head, sizeof head, "~sbx%X%x-%d-", static_cast<unsigned>(m.offset), static_cast<unsigned>(m.size),
                  attempt);
  }
  std::string tail = SafeComponent(m.name);
  constexpr std::size_t kMaxComponent = 255;
  const std::size_t room = kMaxComponent - std::string(head).size();
  if (tail.size() > room) tail = tail.substr(0, room / 2) + tail.substr(tail.size() - (room - room / 2));
  return platform::TempDir() + head + tail;
}

bool Unpacked(const std::string& path) {
  for (ZyShoeBox* box : {__g_ShoeBox_Data, __g_ShoeBox_Media}) {
    if (box && box->UnpackedPath() == path) return true;
  }
  return false;
}

// Writes the unpacked member into a new temporary file and returns its name, "" on failure.
std::string WriteTemporary(const ArchiveMember& m, const ZyCompression& zc) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string path = TempName(m, attempt);
    int err = 0;
    if (platform::CreateFileExclusive(path.c_str(), zc.Data(), static_cast<std::size_t>(zc.Length()), &err)) {
      return path;
    }
    if (err != EEXIST) return std::string();
    // A file left by an earlier run of ours is replaced; anything else (a link, another
    // user's file, the other archive's current file) is left alone and a new name tried.
    if (!Unpacked(path) && platform::IsOwnRegularFile(path.c_str()) && platform::RemoveFile(path.c_str()) &&
        platform::CreateFileExclusive(path.c_str(), zc.Data(), static_cast<std::size_t>(zc.Length()), &err)) {
      return path;
    }
  }
  return std::string();
}

}  // namespace

std::string ResolveArchivePath(const char* name, ZyShoeBox* box) {
  if (box) box->RemoveUnpacked();
  if (!name || !*name) return std::string();
  std::string disk = FindWindowsPath(name, PathKind::ExistingFile);
  if (!disk.empty() || !box || box->Name().empty()) return disk;

  std::string archivePath = FindWindowsPath(box->Name().c_str(), PathKind::ExistingFile);
  if (archivePath.empty()) return std::string();
  ZyFileSystem file(std::fopen(archivePath.c_str(), "rb"));
  if (!file.hFile) return std::string();
  FileByteSource source(file.hFile);
  ArchiveMember member;
  if (!FindArchiveMember(source, name, &member)) return std::string();
  // No block larger than the worst case of the largest member UnPack accepts is read in.
  constexpr std::int64_t kMaxBlock = std::int64_t{ZyCompression::kMaxUnpacked} * 17 / 16 + 64 + 3 + 4;
  if (member.size > kMaxBlock) return std::string();
  std::vector<unsigned char> block(static_cast<std::size_t>(member.size));
  if (!source.ReadAt(member.position, block.data(), block.size())) return std::string();
  file.Close();

  ZyCompression zc;
  zc.UnPack(block.data(), member.size);
  if (!zc.Ok()) return std::string();
  std::string temp = WriteTemporary(member, zc);
  if (!temp.empty()) box->SetUnpacked(temp);
  return temp;
}

std::string ResolveDataPath(const char* name) { return ResolveArchivePath(name, __g_ShoeBox_Data); }
std::string ResolveMediaPath(const char* name) { return ResolveArchivePath(name, __g_ShoeBox_Media); }

}  // namespace TAVELOR
