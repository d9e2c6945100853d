// Archive resolution from a real file, as every loading command does it: the member lookup,
// unpacking, and the temporary file's naming and writing. What it resolves must be a file
// directly in the temporary directory holding exactly the unpacked member, and gone after
// the next lookup.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/files.h"
#include "storage/ResolveArchivePath.h"
#include "storage/ShoeBoxArchive.h"
#include "storage/ZyCompression.h"
#include "storage/ZyShoeBox.h"

using namespace TAVELOR;

namespace {

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* f = platform::OpenRegularFile(path.c_str());
  if (!f) return bytes;
  unsigned char buf[65536];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string archive = fuzz::WriteTempFile("fuzz-archive.box", data, size);
  if (archive.empty()) return 0;
  static ZyShoeBox box;
  box.SetName(archive.c_str());
  const std::string temp = platform::TempDir();
  MemoryByteSource memory(data, size);
  std::string previous;
  for (const char* name : {"hag.ddd", "Data\\MOON.BMP", "a", "fuzz-none.x"}) {
    const std::string path = ResolveArchivePath(name, &box);
    if (!previous.empty() && previous != path && platform::IsReadableFile(previous.c_str())) __builtin_trap();
    previous = path;
    ArchiveMember m;
    ZyCompression zc;
    bool expected = FindArchiveMember(memory, name, &m);
    if (expected) {
      zc.UnPack(data + m.position, m.size);
      expected = zc.Ok();
    }
    if (path.empty() != !expected) __builtin_trap();
    if (path.empty()) continue;
    if (path.compare(0, temp.size(), temp) != 0 || path.find('/', temp.size()) != std::string::npos ||
        path.compare(temp.size(), 4, "~sbx") != 0) {
      __builtin_trap();
    }
    const std::vector<unsigned char> got = ReadAll(path);
    if (!expected || got.size() != static_cast<std::size_t>(zc.Length()) ||
        (zc.Length() > 0 && std::memcmp(got.data(), zc.Data(), got.size()) != 0)) {
      __builtin_trap();
    }
  }
  box.Clear();
  if (!previous.empty() && platform::IsReadableFile(previous.c_str())) __builtin_trap();
  return 0;
}
